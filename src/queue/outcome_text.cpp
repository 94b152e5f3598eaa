// The texts both programs say of parked messages, each in one place.
#include "queue/outcome_text.h"

namespace velmoth {

const char* LeftOutText(LeftOutReason reason) {
  switch (reason) {
    case LeftOutReason::kSpooling:
      return "spooling";
    case LeftOutReason::kNonDeliveryReport:
      return "non-delivery report";
    case LeftOutReason::kNoMessageFile:
      return "no message file";
    case LeftOutReason::kNotRegularFile:
      return "link or not a regular file";
    case LeftOutReason::kUnreadable:
      break;
  }
  return "unreadable";
}

const char* KeptText(KeptReason reason) {
  switch (reason) {
    case KeptReason::kNotFlushed:
      return "the outbound queue could not be flushed";
    case KeptReason::kChanged:
      return "the server changed them meanwhile";
    case KeptReason::kReadOnly:
      return "a parked file is read-only";
    case KeptReason::kDeleteFailed:
      break;
  }
  return "they could not be deleted";
}

const CountedText* SkippedText(RequeueOutcome outcome) {
  static constexpr CountedText kNoLongerCandidate = {"no longer a requeue candidate",
                                                     "no longer requeue candidates"};
  static constexpr CountedText kOutboundSpooling = {
      "not a requeue candidate (the server is sending a message of this name from the outbound "
      "queue)",
      "not requeue candidates (the server is sending messages of these names from the outbound "
      "queue)"};
  static constexpr CountedText kGone = {"no longer in the Bad Mail directory",
                                        "no longer in the Bad Mail directory"};
  switch (outcome) {
    case RequeueOutcome::kNoLongerCandidate:
      return &kNoLongerCandidate;
    case RequeueOutcome::kOutboundSpooling:
      return &kOutboundSpooling;
    case RequeueOutcome::kGone:
      return &kGone;
    default:
      return nullptr;
  }
}

const CountedText* DeletionSkippedText(DeletionOutcome outcome) {
  static constexpr CountedText kSpooling = {"being sent by the server", "being sent by the server"};
  static constexpr CountedText kNotRegular = {"a link or not a regular file",
                                              "links or not regular files"};
  switch (outcome) {
    case DeletionOutcome::kSpooling:
      return &kSpooling;
    case DeletionOutcome::kNotRegular:
      return &kNotRegular;
    case DeletionOutcome::kGone:
      return SkippedText(RequeueOutcome::kGone);
    default:
      return nullptr;
  }
}

std::string UnreadableText(std::size_t count) {
  if (count == 1) return "1 file in the Bad Mail directory could not be read and is not listed";
  return std::to_string(count) +
         " files in the Bad Mail directory could not be read and are not listed";
}

}  // namespace velmoth
