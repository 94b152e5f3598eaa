// The requeue: puts parked messages back into the SMTP connector's outbound queue
// as messages never tried, and optionally removes them from the Bad Mail directory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "queue/file_system.h"
#include "time/utc_stamp.h"

namespace velmoth {

enum class RequeueOutcome {
  kRequeued,           // in the outbound queue, and gone from Bad Mail when asked
  kNoLongerCandidate,  // skipped: the server began sending it, it became a
                       // non-delivery report, or a file of it is no regular file
  kGone,               // skipped: its parked files are no longer there
  kFailed,             // the requeue stopped here; `error` says why
  kNotTried,           // after a failure
};

struct RequeueRow {
  std::string name;
  RequeueOutcome outcome = RequeueOutcome::kNotTried;
  std::optional<FileError> error;
};

struct RequeueOptions {
  bool deleteParked = true;
  Clock clock = SystemClock;
  // Rows written before they are flushed together, and the bytes they may hold:
  // a batch ends at either bound, which bounds how long a failure waits to be
  // reported. Each batch costs three flushes.
  std::size_t batchRows = 1024;
  std::uint64_t batchBytes = 64 * 1024 * 1024;
  // Told how many rows are done after every batch.
  std::function<void(std::size_t done, std::size_t total)> progress;
};

// Requeues the named parked messages in order and reports on each, in the same
// order. Per message: the candidate test runs again on its command file; the
// message file and the rewritten command file are written under temporary names
// and flushed; the message file is renamed into place and its directory flushed,
// then the command file likewise; only then are the parked files deleted,
// message file first. A failure stops the requeue at its row: the rows before it
// are done completely, nothing of it is left half-written in the outbound queue,
// and its parked files stay.
std::vector<RequeueRow> Requeue(const std::vector<std::string>& names,
                                const RequeueOptions& options, FileSystem& files);

// Outbound temporary files left by a requeue that was killed, once they are ten
// minutes old (a younger one may be another requeue's, still being written).
inline constexpr std::int64_t kStaleTemporarySeconds = 600;

}  // namespace velmoth
