// The requeue: puts parked messages back into the SMTP connector's outbound queue
// as messages never tried, and optionally removes them from the Bad Mail directory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "config/queue_locations.h"
#include "files/file_system.h"
#include "time/utc_stamp.h"

namespace velmoth {

enum class RequeueOutcome {
  // In the outbound queue, the message whole and the command file rewritten, and
  // its parked files gone when that was asked for.
  kRequeued,
  // In the outbound queue, but its parked files were kept although deletion was
  // asked for, for the reason `kept` gives: it must not be requeued again.
  kRequeuedNotDeleted,
  // Skipped: the server began sending it, it became a non-delivery report, it
  // changed while it was read, or a file of it is no regular file.
  kNoLongerCandidate,
  // Skipped: the server is sending a message of the same name out of the
  // outbound queue, which a requeue would replace.
  kOutboundSpooling,
  kGone,          // skipped: its parked files are no longer there
  kFailed,        // nothing of it is in the outbound queue; `error` says why
  kNotTried,      // after a failure, which stops the requeue
  kWouldRequeue,  // with dryRun: a candidate the requeue would put in the queue
};

// Why a requeued message's parked files were kept.
enum class KeptReason {
  kNotFlushed,    // the outbound queue could not be made durable
  kChanged,       // the server changed or replaced a parked file meanwhile
  kReadOnly,      // a parked file is read-only; neither was deleted
  kDeleteFailed,  // the deletion failed; `error` says why
};

struct RequeueRow {
  std::string name;
  RequeueOutcome outcome = RequeueOutcome::kNotTried;
  std::optional<KeptReason> kept;
  // Why it failed, or what went wrong after it was requeued.
  std::optional<FileError> error;
};

struct RequeueOptions {
  bool deleteParked = true;
  // Only tells what would be done: the queues are opened and each row's files
  // looked at, and nothing is written or deleted.
  bool dryRun = false;
  Clock clock = SystemClock;
  // Rows written before they are flushed together, and the bytes they may hold:
  // a batch ends at either bound, which bounds how long a failure waits to be
  // reported, or when its parked files would take half the files the process
  // may hold open. Each batch costs five flushes.
  std::size_t batchRows = 1024;
  std::uint64_t batchBytes = 64 * 1024 * 1024;
  // Told how many rows are done after every batch.
  std::function<void(std::size_t done, std::size_t total)> progress;
};

// Requeues the named parked messages in order and reports on each, in the same
// order. The queues are opened once; each row's parked files are opened and held
// until the end of its batch; the candidate test runs again on the command file
// as it is rewritten. Per batch: the copies are written under temporary names and
// flushed; each row is checked again, then its message file renamed into place;
// after a flush the command files likewise; only then are the parked files
// deleted, the very files that were copied, and Bad Mail flushed. A failure
// stops the requeue at its row; no failed row leaves a file in the outbound
// queue.
std::vector<RequeueRow> Requeue(const std::vector<std::string>& names,
                                const RequeueOptions& options, FileSystem& files,
                                const QueueLocations& locations);

// Outbound temporary files left by a requeue that was killed, once they are ten
// minutes old (a younger one may be another requeue's, still being written).
inline constexpr std::int64_t kStaleTemporarySeconds = 600;

}  // namespace velmoth
