// The outcome words and the runs' records for the trail.
#include "queue/trail_record.h"

namespace velmoth {
namespace {

template <typename Row>
RunRecord Record(const char* action, const std::vector<Row>& rows, std::string program,
                 bool (*warns)(const Row&)) {
  RunRecord record;
  record.action = action;
  record.program = std::move(program);
  for (const Row& row : rows) {
    record.rows.push_back({row.name, OutcomeWord(row.outcome)});
    if (warns(row)) record.severity = Severity::kWarning;
  }
  return record;
}

}  // namespace

const char* OutcomeWord(RequeueOutcome outcome) {
  switch (outcome) {
    case RequeueOutcome::kRequeued:
      return "requeued";
    case RequeueOutcome::kRequeuedNotDeleted:
      return "requeued-not-deleted";
    case RequeueOutcome::kNoLongerCandidate:
      return "no-longer-candidate";
    case RequeueOutcome::kOutboundSpooling:
      return "not-candidate";
    case RequeueOutcome::kGone:
      return "gone";
    case RequeueOutcome::kFailed:
      return "failed";
    case RequeueOutcome::kWouldRequeue:
      return "would-requeue";
    case RequeueOutcome::kNotTried:
      break;
  }
  return "not-tried";
}

const char* OutcomeWord(DeletionOutcome outcome) {
  switch (outcome) {
    case DeletionOutcome::kDeleted:
      return "deleted";
    case DeletionOutcome::kWouldDelete:
      return "would-delete";
    case DeletionOutcome::kSpooling:
    case DeletionOutcome::kNotRegular:
      return "not-candidate";
    case DeletionOutcome::kGone:
      return "gone";
    case DeletionOutcome::kFailed:
      return "failed";
    case DeletionOutcome::kNotTried:
      break;
  }
  return "not-tried";
}

RunRecord RequeueRecord(const std::vector<RequeueRow>& rows, std::string program) {
  return Record<RequeueRow>("requeue", rows, std::move(program), [](const RequeueRow& row) {
    return row.error.has_value() || row.outcome == RequeueOutcome::kFailed ||
           row.outcome == RequeueOutcome::kNotTried ||
           row.outcome == RequeueOutcome::kRequeuedNotDeleted;
  });
}

RunRecord DeletionRecord(const std::vector<DeletionRow>& rows, std::string program) {
  return Record<DeletionRow>("delete", rows, std::move(program), [](const DeletionRow& row) {
    return row.error.has_value() || row.outcome == DeletionOutcome::kFailed ||
           row.outcome == DeletionOutcome::kNotTried;
  });
}

}  // namespace velmoth
