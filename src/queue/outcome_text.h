// What the window and velmoth-queue both say of parked messages, for people,
// written once: why a parked file is no requeue candidate, what a requeue did
// with a message it skipped or whose parked files it kept, and why it kept them,
// and the files a scan could not read. Each program puts these into sentences of
// its own, a message box's or a console line's.
#pragma once

#include <cstddef>
#include <string>

#include "queue/bad_mail_scan.h"
#include "queue/parked_deletion.h"
#include "queue/requeue.h"

namespace velmoth {

// A text said of one message and of several, without the verb before it.
struct CountedText {
  const char* one;
  const char* many;

  const char* For(std::size_t count) const { return count == 1 ? one : many; }
};

// Why a parked file is no requeue candidate: "spooling", "non-delivery report",
// "no message file", "link or not a regular file", "unreadable".
const char* LeftOutText(LeftOutReason reason);

// A requeued message whose parked files were kept (kRequeuedNotDeleted): "its
// parked files were kept in the Bad Mail directory".
inline constexpr CountedText kKeptInBadMail = {
    "its parked files were kept in the Bad Mail directory",
    "their parked files were kept in the Bad Mail directory"};

// Why they were kept: "a parked file is read-only", ...
const char* KeptText(KeptReason reason);

// What became of a message the requeue skipped (kNoLongerCandidate,
// kOutboundSpooling, kGone): "no longer in the Bad Mail directory"; null for
// any other outcome.
const CountedText* SkippedText(RequeueOutcome outcome);

// What became of a message a deletion kept (kSpooling, kNotRegular, kGone):
// "being sent by the server"; null for any other outcome.
const CountedText* DeletionSkippedText(DeletionOutcome outcome);

// "1 file in the Bad Mail directory could not be read and is not listed", or
// "3 files ... are not listed".
std::string UnreadableText(std::size_t count);

}  // namespace velmoth
