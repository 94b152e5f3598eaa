// The trail's records through a log held in memory: the run's summary, its rows
// split by count and bytes and read back whole, halves for a log that finds a
// record too large, and the stop at the first record a log does not take.
#include "log/trail.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/trail_reader.h"

namespace velmoth {
namespace {

using testing::ReadRowsRecord;

struct MemoryLog : SystemLog {
  struct Record {
    Severity severity;
    RecordKind kind;
    std::string text;
  };
  std::optional<FileError> Write(Severity severity, RecordKind kind,
                                 std::string_view text) override {
    if (text.size() > tooLargeAbove) return FileError(kErrorRecordTooLarge, "too large", "memory");
    if (records.size() == failAt) return FileError(kErrorAccessDenied, "refused", "memory");
    records.push_back({severity, kind, std::string(text)});
    return std::nullopt;
  }
  std::size_t tooLargeAbove = SIZE_MAX;
  std::size_t failAt = SIZE_MAX;
  std::vector<Record> records;
};

RunRecord Requeue(std::vector<TrailRow> rows, RunUser user = {"alice", ""}) {
  return {"requeue",          "velmoth-queue", std::move(rows),
          Severity::kWarning, std::move(user), "0badc0de"};
}

// Rows whose names hold every hostile byte: control characters, quotes, '%',
// backslashes, stray bytes, separators of the record itself.
std::vector<TrailRow> HostileRows(std::size_t count, std::size_t nameLength) {
  const std::string bytes = "\n\r\t\"%%1\\x41, \" \x7F\xFF\xC3\xA9\x01-";
  std::vector<TrailRow> rows;
  for (std::size_t i = 0; i < count; ++i) {
    std::string name = std::to_string(i);
    while (name.size() < nameLength) name += bytes[(name.size() + i) % bytes.size()];
    rows.push_back({name, i % 3 == 0 ? "failed" : "requeued"});
  }
  return rows;
}

// Reads every record back: the run's first, then rows records numbered in turn,
// within the bounds, holding the run's rows in their order.
void ExpectTrailOf(const RunRecord& run, const MemoryLog& log, std::size_t byteBound) {
  ASSERT_FALSE(log.records.empty());
  EXPECT_EQ(log.records[0].kind, RecordKind::kRun);
  std::vector<TrailRow> read;
  for (std::size_t i = 1; i < log.records.size(); ++i) {
    const MemoryLog::Record& record = log.records[i];
    testing::ExpectOneSafeLine(record.text);
    EXPECT_EQ(record.kind, RecordKind::kRows);
    EXPECT_EQ(record.severity, run.severity);
    const testing::RowsRecord rows = ReadRowsRecord(record.text);
    EXPECT_EQ(rows.run, run.id);
    EXPECT_EQ(rows.first, read.size() + 1);
    EXPECT_EQ(rows.total, run.rows.size());
    EXPECT_LE(rows.rows.size(), kRowsPerRecord);
    EXPECT_TRUE(record.text.size() <= byteBound || rows.rows.size() == 1) << record.text.size();
    read.insert(read.end(), rows.rows.begin(), rows.rows.end());
    EXPECT_EQ(rows.last, read.size());
  }
  ASSERT_EQ(read.size(), run.rows.size());
  for (std::size_t i = 0; i < read.size(); ++i) {
    EXPECT_EQ(read[i].name, run.rows[i].name) << i;
    EXPECT_EQ(read[i].outcome, run.rows[i].outcome) << i;
  }
}

TEST(Trail, TheRunRecordCountsOutcomesAndNamesWhoRanIt) {
  const struct {
    std::vector<const char*> outcomes;
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
    std::vector<TrailRow> rows;
    for (const char* outcome : c.outcomes) rows.push_back({"a.msg", outcome});
    MemoryLog log;
    EXPECT_EQ(LogRun(log, Requeue(rows, c.user)), std::nullopt);
    ASSERT_EQ(log.records.size(), rows.empty() ? 1u : 2u);
    EXPECT_EQ(log.records[0].text, c.text);
    EXPECT_EQ(log.records[0].severity, Severity::kWarning);
  }
  const std::string id = NewRunId();
  EXPECT_TRUE(std::regex_match(id, std::regex("[0-9a-f]{8}"))) << id;
  EXPECT_NE(id, NewRunId());
}

TEST(Trail, RowsComeInNumberedRecordsBoundedInRowsAndBytesThatReadBackWhole) {
  const struct {
    std::size_t rows, nameLength, tooLargeAbove, records;
    bool rowTooLarge = false;
  } cases[] = {
      {120, 12, SIZE_MAX, 1 + 3},  // 50 + 50 + 20
      {50, 12, SIZE_MAX, 1 + 1},  {51, 12, SIZE_MAX, 1 + 2},
      {30, 255, SIZE_MAX, 0},  // 255 hostile bytes escape to some 600: three a record
      {200, 40, 700, 0},       // the log takes less than the bound: halves until it takes them
      {5, 255, 400, 0, true},  // one row alone is too large, and the log says so
  };
  for (const auto& c : cases) {
    const RunRecord run = Requeue(HostileRows(c.rows, c.nameLength));
    MemoryLog log;
    log.tooLargeAbove = c.tooLargeAbove;
    const auto failure = LogRun(log, run);
    if (c.rowTooLarge) {
      ASSERT_TRUE(failure.has_value());
      EXPECT_EQ(failure->number(), kErrorRecordTooLarge);
      EXPECT_EQ(log.records.size(), 1u);
      continue;
    }
    EXPECT_EQ(failure, std::nullopt);
    ExpectTrailOf(run, log, std::min(kRecordTextLimit, c.tooLargeAbove));
    if (c.records != 0) {
      EXPECT_EQ(log.records.size(), c.records);
    }
  }
}

TEST(Trail, TheFirstRecordTheLogDoesNotTakeEndsTheRunAndComesBack) {
  for (const std::size_t failAt : {0, 2}) {
    MemoryLog log;
    log.failAt = failAt;
    const auto failure = LogRun(log, Requeue(HostileRows(500, 10)));
    ASSERT_TRUE(failure.has_value());
    EXPECT_EQ(failure->number(), kErrorAccessDenied);
    EXPECT_EQ(failure->path(), "memory");
    EXPECT_EQ(log.records.size(), failAt);
  }
}

}  // namespace
}  // namespace velmoth
