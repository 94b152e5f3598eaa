// The harness for parked messages of an odd make: one scratch mail server per
// case, a scan, a requeue, and what each left in the two queues.
#include "support/parked_case.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "base/path_text.h"

namespace velmoth::testing {
namespace {

namespace fs = std::filesystem;

constexpr char kPlain[] = "plain message";

// Names that a failure message can show.
std::string NameOf(RequeueOutcome outcome) {
  static constexpr const char* kNames[] = {"requeued", "no longer a candidate", "gone", "failed",
                                           "not tried"};
  return kNames[static_cast<int>(outcome)];
}
std::string NameOf(std::optional<LeftOutReason> reason) {
  static constexpr const char* kNames[] = {"spooling", "report", "no message file",
                                           "not a regular file", "unreadable"};
  return reason ? kNames[static_cast<int>(*reason)] : "not left out";
}

RequeueOptions Options() {
  RequeueOptions options;
  options.clock = [] { return kParkedCaseNow; };
  return options;
}

bool Contains(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

std::vector<std::string> Without(std::vector<std::string> names, const std::string& name) {
  names.erase(std::remove(names.begin(), names.end(), name), names.end());
  return names;
}

void CheckScan(const ParkedCase& c, const BadMailScan& scan) {
  std::vector<std::string> listed;
  for (const BadMailEntry& entry : scan.candidates) {
    listed.push_back(entry.name);
    if (entry.name == c.name) {
      EXPECT_EQ(entry.size, c.message.size());
    }
  }
  EXPECT_TRUE(Contains(listed, kPlain));
  EXPECT_EQ(Contains(listed, c.name), !c.leftOut && !c.passedOver);
  std::optional<LeftOutReason> reason;
  for (const LeftOutFile& file : scan.leftOut) {
    if (file.name == c.name) reason = file.reason;
  }
  EXPECT_EQ(NameOf(reason), NameOf(c.leftOut));
}

// The outbound queue's files age past the point where a requeue clears away
// temporary files it finds there; the next requeue must leave them alone.
void CheckOutboundSurvivesTheNextRequeue(const MailServer& server) {
  const auto old = std::chrono::file_clock::from_sys(
      std::chrono::sys_seconds(std::chrono::seconds(kParkedCaseNow - 3600)));
  const fs::path messages = server.outbound() / "messages";
  const std::vector<std::string> before = EntryNames(messages);
  for (const std::string& name : before) fs::last_write_time(messages / PathFromText(name), old);
  NativeFileSystem files;
  Requeue({"none such"}, Options(), files, server.locations());
  EXPECT_EQ(EntryNames(messages), before);
}

void Arrange(const ParkedCase& c, MailServer& server) {
  WriteFile(OutsideFile(server), "not mail");
  server.Park(kPlain, "Status=Failed\r\n");
  if (c.arrange) return c.arrange(server, c.name);
  server.Park(c.name, c.command, nullptr);
  WriteFile(server.badMail() / "messages" / PathFromText(c.name), c.message);
}

// In the outbound queue byte for byte, gone from Bad Mail.
void ExpectRequeued(const ParkedCase& c, const MailServer& server) {
  const fs::path name = PathFromText(c.name);
  EXPECT_TRUE(ReadFile(server.outbound() / name) == c.outbound)
      << "the requeued command file differs";
  EXPECT_TRUE(ReadFile(server.outbound() / "messages" / name) == c.message)
      << "the requeued message file differs";
  EXPECT_FALSE(Contains(EntryNames(server.badMail()), c.name));
  EXPECT_FALSE(Contains(EntryNames(server.badMail() / "messages"), c.name));
  CheckOutboundSurvivesTheNextRequeue(server);
}

// Bad Mail's names as they were before, beside the plain message; nothing of the
// case in the outbound queue.
void ExpectLeftAlone(const MailServer& server, const std::vector<std::string>& parked,
                     const std::vector<std::string>& parkedMessages) {
  EXPECT_EQ(Without(EntryNames(server.badMail()), kPlain), parked);
  EXPECT_EQ(Without(EntryNames(server.badMail() / "messages"), kPlain), parkedMessages);
  EXPECT_EQ(EntryNames(server.outbound()), (std::vector<std::string>{"messages", kPlain}));
  EXPECT_EQ(EntryNames(server.outbound() / "messages"), std::vector<std::string>{kPlain});
}

}  // namespace

std::filesystem::path OutsideFile(const MailServer& server) { return server.root() / "outside"; }

void CheckParkedCase(const ParkedCase& c) {
  SCOPED_TRACE(c.what);
  MailServer server;
  Arrange(c, server);
  const std::vector<std::string> parked = Without(EntryNames(server.badMail()), kPlain);
  const std::vector<std::string> parkedMessages =
      Without(EntryNames(server.badMail() / "messages"), kPlain);

  NativeFileSystem files;
  CheckScan(c, ScanBadMail(files, server.locations()));
  const std::vector<RequeueRow> rows =
      Requeue({c.name, kPlain}, Options(), files, server.locations());
  ASSERT_EQ(rows.size(), 2u);
  ASSERT_EQ(NameOf(rows[0].outcome), NameOf(c.outcome))
      << (rows[0].error ? rows[0].error->what() : "");
  EXPECT_EQ(NameOf(rows[1].outcome), NameOf(RequeueOutcome::kRequeued));
  if (c.outcome == RequeueOutcome::kRequeued) {
    ExpectRequeued(c, server);
  } else {
    ExpectLeftAlone(server, parked, parkedMessages);
  }
  EXPECT_EQ(ReadFile(OutsideFile(server)), "not mail");
}

}  // namespace velmoth::testing
