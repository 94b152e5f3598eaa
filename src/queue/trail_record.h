// A requeue's or a deletion's rows as the trail in the system log records them,
// in the words the console writes each outcome in.
#pragma once

#include <string>
#include <vector>

#include "log/trail.h"
#include "queue/parked_deletion.h"
#include "queue/requeue.h"

namespace velmoth {

// "requeued", "requeued-not-deleted", "no-longer-candidate", "not-candidate" (the
// server sends the name out of the outbound queue), "gone", "failed",
// "not-tried", "would-requeue".
const char* OutcomeWord(RequeueOutcome outcome);
// "deleted", "would-delete", "not-candidate" (the server is sending it, or a file
// of it is no regular file), "gone", "failed", "not-tried".
const char* OutcomeWord(DeletionOutcome outcome);

// The run's record for `program` ("velmoth", "velmoth-queue"): a warning when a
// row failed, was not tried, or was requeued but kept.
RunRecord RequeueRecord(const std::vector<RequeueRow>& rows, std::string program);
RunRecord DeletionRecord(const std::vector<DeletionRow>& rows, std::string program);

}  // namespace velmoth
