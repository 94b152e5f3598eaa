// Deleting parked messages from the Bad Mail directory for good: junk that must
// never be sent again. Each row's files are opened, checked and deleted exactly
// as they were opened, never through a link and never outside Bad Mail.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "config/queue_locations.h"
#include "files/file_system.h"

namespace velmoth {

enum class DeletionOutcome {
  kDeleted,      // both files gone, or the command file of a row that had no message file
  kWouldDelete,  // with dryRun: it would go
  kSpooling,     // kept: the server is sending it
  kNotRegular,   // kept: a file of it is a link, FIFO, socket or device
  kGone,         // no longer parked
  kFailed,       // kept; `error` says why
  kNotTried,     // after a failure, which stops the deletion
};

struct DeletionRow {
  std::string name;
  DeletionOutcome outcome = DeletionOutcome::kNotTried;
  std::optional<FileError> error;
};

struct DeletionOptions {
  bool dryRun = false;
  // Rows deleted before Bad Mail's two directories are flushed, so that no
  // deleted file comes back after a power loss.
  std::size_t batchRows = 1024;
  // Told how many rows are done after every batch.
  std::function<void(std::size_t done, std::size_t total)> progress;
};

// Deletes the named parked messages in order, message file first, and reports on
// each in the same order. A message the server is sending is never deleted; a
// name with a command file but no message file is deleted all the same. A file
// that changed while it was looked at, or is read-only, fails its row and the
// others go on; a failure of Bad Mail itself stops the deletion there.
std::vector<DeletionRow> DeleteParked(const std::vector<std::string>& names,
                                      const DeletionOptions& options, FileSystem& files,
                                      const QueueLocations& locations);

}  // namespace velmoth
