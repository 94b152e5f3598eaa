// The trail read back as an operator's script would read it, checking each
// record on the way: one line of valid UTF-8 without a control character, the
// rows records numbered in turn, within their bounds.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

#include "base/name_escape.h"
#include "base/utf8_text.h"
#include "log/trail.h"

namespace velmoth::testing {

// The rows of `records`, the run's record first, their names unescaped; a
// record longer than `byteBound` must hold one row alone.
inline std::vector<TrailRow> ReadTrail(const std::vector<std::string>& records,
                                       std::size_t byteBound = kRecordTextLimit) {
  static const std::regex kRows(R"(^\w+ run [0-9a-f]{8} rows (\d+)-(\d+) of \d+: )");
  static const std::regex kRow(R"row(([\w-]+) "([^"]*)"(, |$))row");
  std::vector<TrailRow> rows;
  for (std::size_t i = 0; i < records.size(); ++i) {
    const std::string& text = records[i];
    EXPECT_TRUE(IsUtf8(text)) << text;
    EXPECT_TRUE(std::none_of(text.begin(), text.end(), [](char c) {
      return (c >= 0 && c < 0x20) || c == 0x7F;
    })) << text;
    std::smatch match;
    const bool isRows = std::regex_search(text, match, kRows);
    EXPECT_EQ(isRows, i > 0) << text;
    if (!isRows) continue;
    EXPECT_EQ(std::stoul(match[1]), rows.size() + 1) << text;
    std::size_t count = 0;
    for (std::sregex_iterator
             row(match[0].second, text.end(), kRow, std::regex_constants::match_continuous),
         end;
         row != end; ++row) {
      rows.push_back({UnescapeName((*row)[2].str()), (*row)[1]});
      ++count;
    }
    EXPECT_EQ(std::stoul(match[2]), rows.size()) << text;
    EXPECT_TRUE(count <= kRowsPerRecord && (text.size() <= byteBound || count == 1)) << text;
  }
  return rows;
}

}  // namespace velmoth::testing
