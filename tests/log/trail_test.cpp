// The trail's records through a log held in memory: the run's summary, its rows
// split by count and bytes and read back whole, halves for a log that finds a
// record too large, and the stop at the first record a log does not take.
#include "log/trail.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/trail_reader.h"

namespace velmoth {
namespace {

struct MemoryLog : SystemLog {
  std::optional<FileError> Write(Severity severity, RecordKind kind,
                                 std::string_view text) override {
    if (text.size() > tooLargeAbove)
      return FileError(ErrorKind::kOther, kErrorRecordTooLarge, "too large", "memory");
    if (texts.size() == failAt)
      return FileError(ErrorKind::kAccessDenied, kErrorAccessDenied, "refused", "memory");
    EXPECT_EQ(severity, Severity::kWarning);
    EXPECT_EQ(kind, texts.empty() ? RecordKind::kRun : RecordKind::kRows);
    texts.emplace_back(text);
    return std::nullopt;
  }
  std::size_t tooLargeAbove = SIZE_MAX, failAt = SIZE_MAX;
  std::vector<std::string> texts;
};

// A requeue by alice of `count` rows whose names hold control characters, quotes,
// '%', backslashes, stray bytes and the record's own separators.
RunRecord HostileRun(std::size_t count, std::size_t nameLength) {
  const std::string bytes = "\n\r\t\"%%1\\x41, \" \x7F\xFF\xC3\xA9\x01-";
  RunRecord run{"requeue", "velmoth-queue", {}, Severity::kWarning, {"alice", ""}, "0badc0de"};
  for (std::size_t i = 0; i < count; ++i) {
    std::string name = std::to_string(i);
    while (name.size() < nameLength) name += bytes[(name.size() + i) % bytes.size()];
    run.rows.push_back({name, i % 3 == 0 ? "failed" : "requeued"});
  }
  return run;
}

TEST(Trail, TheRunRecordCountsOutcomesAndNamesWhoRanIt) {
  const struct {
    std::vector<std::string> outcomes;
    RunUser user;
    std::string text;
  } cases[] = {
      {{"requeued", "failed", "requeued", "not-found", "requeued"},
       {"root", "alice"},
       "requeue run 0badc0de by velmoth-queue, user \"root\" through sudo by \"alice\": rows 5, "
       "requeued 3, failed 1, not-found 1"},
      {{},
       {"J. \"Q\" 100%\n", ""},
       "requeue run 0badc0de by velmoth-queue, user \"J. \\x22Q\\x22 100\\x25\\x0A\": rows 0"},
      {{"gone"}, {}, "requeue run 0badc0de by velmoth-queue, user unknown: rows 1, gone 1"},
  };
  for (const auto& c : cases) {
    RunRecord run = HostileRun(0, 0);
    run.user = c.user;
    for (const std::string& outcome : c.outcomes) run.rows.push_back({"a.msg", outcome});
    MemoryLog log;
    EXPECT_EQ(LogRun(log, run), std::nullopt);
    EXPECT_EQ(log.texts.at(0), c.text);
  }
  const std::string id = NewRunId();
  EXPECT_TRUE(std::regex_match(id, std::regex("[0-9a-f]{8}"))) << id;
  EXPECT_NE(id, NewRunId());
}

TEST(Trail, RowsComeInNumberedRecordsBoundedInRowsAndBytesThatReadBackWhole) {
  const struct {
    std::size_t rows, nameLength, tooLargeAbove, records;  // records 0: as the bytes allow
  } cases[] = {
      {120, 12, SIZE_MAX, 1 + 3},  // rows 1-50, 51-100, 101-120
      {50, 12, SIZE_MAX, 1 + 1},  {51, 12, SIZE_MAX, 1 + 2},
      {30, 255, SIZE_MAX, 0},  // names that escape to some 600 bytes: three a record
      {200, 40, 700, 0},       // a log that takes less than the bound: halves until it does
      {5, 255, 400, 1},        // a row alone too large for the log: the failure comes back
  };
  for (const auto& c : cases) {
    const RunRecord run = HostileRun(c.rows, c.nameLength);
    MemoryLog log;
    log.tooLargeAbove = c.tooLargeAbove;
    const auto failure = LogRun(log, run);
    if (c.records != 0) {
      EXPECT_EQ(log.texts.size(), c.records) << c.rows;
    }
    if (c.records == 1) {
      EXPECT_EQ(failure->number(), kErrorRecordTooLarge);
      continue;
    }
    EXPECT_EQ(failure, std::nullopt);
    EXPECT_EQ(testing::ReadTrail(log.texts, std::min(kRecordTextLimit, c.tooLargeAbove)), run.rows);
  }
}

TEST(Trail, TheFirstRecordTheLogDoesNotTakeEndsTheRunAndComesBack) {
  for (const std::size_t failAt : {0, 2}) {
    MemoryLog log;
    log.failAt = failAt;
    const auto failure = LogRun(log, HostileRun(500, 10));
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->number(), kErrorAccessDenied);
    EXPECT_EQ(log.texts.size(), failAt);
  }
}

}  // namespace
}  // namespace velmoth
