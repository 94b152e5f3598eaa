// The trail of every requeue and delete in the system log: one record for the
// run, what it did and who did it, then its rows in records of up to 50 rows each
// and up to kRecordTextLimit bytes, so that a run of 100,000 rows neither floods
// the log nor sends a record a syslog relay would cut short.
//
//   requeue run 5c1e07a2 by velmoth-queue, user "root" through sudo by "alice":
//       rows 120, requeued 100, failed 15, not-found 5
//   requeue run 5c1e07a2 rows 1-50 of 120: requeued "a.msg", failed "b\x0A.msg", ...
//
// (each record one line). Names, users and words are written in the name escape,
// with '"' and '%' as \x22 and \x25 besides, so that no byte of a name ends a
// record, starts a line or an Event Viewer insertion, or closes its quotes:
// UnescapeName gives the name back.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "base/file_error.h"
#include "log/run_user.h"
#include "log/system_log.h"

namespace velmoth {

inline constexpr std::size_t kRowsPerRecord = 50;
// A record's text; with the syslog header it stays within the 2048 bytes every
// syslog receiver should take.
inline constexpr std::size_t kRecordTextLimit = 2000;

struct TrailRow {
  std::string name;     // the parked file's name: bytes on POSIX, UTF-8 on Windows
  std::string outcome;  // one word: requeued, requeued-not-deleted, deleted, failed...
  bool operator==(const TrailRow&) const = default;
};

// Eight hex digits that tell one run's records from another's.
std::string NewRunId();

struct RunRecord {
  std::string action;   // "requeue" or "delete"
  std::string program;  // "velmoth" or "velmoth-queue"
  std::vector<TrailRow> rows;
  Severity severity = Severity::kInfo;  // of every record of the run: kWarning when a row failed
  RunUser user = CurrentUser();
  std::string id = NewRunId();
};

// Writes the run's record, then its rows' records; a record the log finds too
// large goes again as two of half its rows. Stops at the first record the log
// does not take and gives that failure back, for the caller to report once while
// its work goes on; a log that is not there at all is no failure.
std::optional<FileError> LogRun(SystemLog& log, const RunRecord& run);

}  // namespace velmoth
