// A parked message of an odd make and what the scan and the requeue must make of
// it, and the harness that checks one such case against a scratch mail server.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "queue/bad_mail_scan.h"
#include "queue/requeue.h"
#include "support/mail_server.h"

namespace velmoth::testing {

// The requeue's clock in these cases; a reset time key gets this stamp.
inline constexpr std::int64_t kParkedCaseNow = 1039243145;
inline constexpr char kParkedCaseStamp[] = "1039243145";

struct ParkedCase {
  std::string what = {};
  std::string name = {};
  std::string command = {};      // the command file's bytes
  std::string message = "body";  // the message file's bytes
  // Puts the files in place instead of parking the two above, for files that are
  // not plain ones. OutsideFile(server) lies beyond both queues, to lead out to.
  std::function<void(MailServer& server, const std::string& name)> arrange = {};
  // What the scan makes of it: listed when neither is set.
  std::optional<LeftOutReason> leftOut = {};
  bool passedOver = false;  // not even left out, as a directory is not
  RequeueOutcome outcome = RequeueOutcome::kRequeued;
  std::string outbound = {};  // the requeued command file, byte for byte
};

// A file beyond both queues, holding "not mail", that no case may change.
std::filesystem::path OutsideFile(const MailServer& server);

// Parks the case beside a plain message, scans, and requeues both with deletion:
// the case's row must come out as the case says and the plain one must be listed
// and requeued all the same. A message requeued must be in the outbound queue
// byte for byte and gone from Bad Mail, and stay there through a later requeue;
// one that is not must leave Bad Mail as it was and put nothing in the outbound
// queue. The file outside stays as it was.
void CheckParkedCase(const ParkedCase& c);

}  // namespace velmoth::testing
