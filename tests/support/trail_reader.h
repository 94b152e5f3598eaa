// The trail read back as an operator's script would read it: the rows of a rows
// record, their names unescaped, and the checks every record must pass.
#pragma once

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <string_view>
#include <vector>

#include "base/name_escape.h"
#include "base/utf8_text.h"
#include "log/trail.h"

namespace velmoth::testing {

struct RowsRecord {
  std::string run;
  std::size_t first = 0, last = 0, total = 0;
  std::vector<TrailRow> rows;
};

// One line of valid UTF-8 with no control character: nothing a name could forge.
inline void ExpectOneSafeLine(std::string_view text) {
  EXPECT_TRUE(IsUtf8(text)) << text;
  for (const char c : text) {
    ASSERT_FALSE(static_cast<unsigned char>(c) < 0x20 || c == 0x7F) << text;
  }
}

// The record "<action> run <id> rows A-B of N: <outcome> "<name>", ...", or a
// failure of the test.
inline RowsRecord ReadRowsRecord(const std::string& text) {
  static const std::regex kPrefix(R"(^\w+ run ([0-9a-f]{8}) rows (\d+)-(\d+) of (\d+): )");
  std::smatch match;
  RowsRecord record;
  if (!std::regex_search(text, match, kPrefix)) {
    ADD_FAILURE() << "no rows record: " << text;
    return record;
  }
  record = {match[1], std::stoul(match[2]), std::stoul(match[3]), std::stoul(match[4]), {}};
  std::string_view rest = std::string_view(text).substr(match.length(0));
  while (!rest.empty()) {
    const std::size_t open = rest.find(" \"");
    const std::size_t close = rest.find('"', open + 2);
    if (open == std::string_view::npos || close == std::string_view::npos) break;
    record.rows.push_back(
        {UnescapeName(rest.substr(open + 2, close - open - 2)), std::string(rest.substr(0, open))});
    rest.remove_prefix(close + 1);
    if (rest.starts_with(", ")) rest.remove_prefix(2);
  }
  EXPECT_TRUE(rest.empty()) << text;
  return record;
}

}  // namespace velmoth::testing
