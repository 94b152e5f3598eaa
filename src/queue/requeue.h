// The requeue: puts parked messages back into the SMTP connector's outbound
// queue as messages that were never tried, and optionally removes them from
// the Bad Mail directory.
#pragma once

#include <string>

#include "app/mail_list.h"
#include "queue/file_system.h"
#include "time/utc_stamp.h"

namespace velmoth {

// Requeues the ticked rows in list order. A failure stops at that step and is
// thrown; what was done for earlier rows stays done. The caller rebuilds the
// list afterwards either way.
void RequeueChecked(MailList& list, bool deleteParked, FileSystem& files,
                    const Clock& clock = SystemClock);

// One message: the message file is copied first, then the command file is
// rewritten and appears in the outbound queue in one step, complete. With
// `deleteParked` both are forced to disk before the parked files are deleted,
// message file first, so that a crash never leaves the message nowhere.
void RequeueEntry(const std::string& name, bool deleteParked, FileSystem& files,
                  const Clock& clock = SystemClock);

// Writes the rewritten lines of `source` under `temporary`, then renames that over
// `destination`. On failure the temporary file is removed and nothing is at
// `destination` that was not there before.
void RewriteCommandFile(const fs::path& source, const fs::path& temporary,
                        const fs::path& destination, bool sync, FileSystem& files,
                        const Clock& clock = SystemClock);

}  // namespace velmoth
