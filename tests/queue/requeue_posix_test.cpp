// The requeue on what only POSIX lets a test arrange: a file-size limit that cuts
// a write short, and links at the names the requeue reads and writes.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include "queue/requeue.h"
#include "support/mail_server.h"

namespace velmoth {
namespace {

using testing::EntryNames;
using testing::MailServer;
using testing::ReadFile;
using testing::WriteFile;

TEST(RequeuePosix, FileSizeLimitLeavesNoPartialFile) {
  MailServer server;
  std::string command = "Status=Failed\r\n";
  while (command.size() < 300000) command += "X-Trace=" + std::string(100, 't') + "\r\n";
  server.Park("big", command, "small message");

  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto previous = ::signal(SIGXFSZ, SIG_IGN);
  rlimit limited = saved;
  limited.rlim_cur = 64 * 1024;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
  NativeFileSystem files;
  const auto rows = Requeue({"big"}, {}, files);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::signal(SIGXFSZ, previous);

  ASSERT_EQ(rows[0].outcome, RequeueOutcome::kFailed);
  EXPECT_EQ(EntryNames(server.outbound()), std::vector<std::string>{"messages"});
  EXPECT_TRUE(EntryNames(server.outbound() / "messages").empty());
  EXPECT_TRUE(fs::exists(server.badMail() / "big"));
  EXPECT_TRUE(fs::exists(server.badMail() / "messages" / "big"));
}

// No file outside the two queues is read or written: a parked file that is a link
// is not requeued, and a link at an outbound name is replaced, not written through.
TEST(RequeuePosix, LinksAreNeverFollowed) {
  MailServer server;
  const fs::path secret = server.root() / "secret";
  WriteFile(secret, "not mail");
  server.Park("linked-message", "Status=Failed", nullptr);
  fs::create_symlink(secret, server.badMail() / "messages" / "linked-message");
  fs::create_symlink(secret, server.badMail() / "linked-command");
  WriteFile(server.badMail() / "messages" / "linked-command", "body");
  server.Park("ready", "Status=Failed", "body");
  fs::create_symlink(secret, server.outbound() / "ready");
  fs::create_symlink(secret, server.outbound() / "messages" / "ready");

  NativeFileSystem files;
  const auto rows = Requeue({"linked-message", "linked-command", "ready"}, {}, files);
  EXPECT_EQ(rows[0].outcome, RequeueOutcome::kNoLongerCandidate);
  EXPECT_EQ(rows[1].outcome, RequeueOutcome::kNoLongerCandidate);
  EXPECT_EQ(rows[2].outcome, RequeueOutcome::kRequeued);
  EXPECT_EQ(ReadFile(secret), "not mail");
  EXPECT_FALSE(fs::is_symlink(server.outbound() / "ready"));
  EXPECT_EQ(ReadFile(server.outbound() / "messages" / "ready"), "body");
  EXPECT_FALSE(fs::exists(server.outbound() / "linked-message"));
  EXPECT_TRUE(fs::is_symlink(server.badMail() / "messages" / "linked-message"));
}

}  // namespace
}  // namespace velmoth
