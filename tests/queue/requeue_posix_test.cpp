// The requeue on what only POSIX lets a test arrange: a file-size limit that cuts
// a write short, and links at the names the requeue reads and writes.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <chrono>
#include <functional>

#include "queue/requeue.h"
#include "support/mail_server.h"

namespace velmoth {
namespace {

namespace fs = std::filesystem;

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
  const auto rows = Requeue({"big"}, {}, files, server.locations());
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
  const auto rows =
      Requeue({"linked-message", "linked-command", "ready"}, {}, files, server.locations());
  EXPECT_EQ(rows[0].outcome, RequeueOutcome::kNoLongerCandidate);
  EXPECT_EQ(rows[1].outcome, RequeueOutcome::kNoLongerCandidate);
  EXPECT_EQ(rows[2].outcome, RequeueOutcome::kRequeued);
  EXPECT_EQ(ReadFile(secret), "not mail");
  EXPECT_FALSE(fs::is_symlink(server.outbound() / "ready"));
  EXPECT_EQ(ReadFile(server.outbound() / "messages" / "ready"), "body");
  EXPECT_FALSE(fs::exists(server.outbound() / "linked-message"));
  EXPECT_TRUE(fs::is_symlink(server.badMail() / "messages" / "linked-message"));
}

// Links on the way to a queue directory, its last name's included, are followed;
// below it none is: a linked "messages" directory stops the requeue before any
// file is touched, and a queue reached through a link works to the end.
TEST(RequeuePosix, LinkedDirectoriesBelowAQueueAreRefused) {
  const struct {
    const char* what;
    std::function<void(MailServer&, const fs::path& elsewhere)> link;
    bool refused;
  } cases[] = {
      {"Bad Mail's messages linked to a private directory",
       [](MailServer& s, const fs::path& elsewhere) {
         fs::rename(s.badMail() / "messages", elsewhere);
         fs::create_directory_symlink(elsewhere, s.badMail() / "messages");
       },
       true},
      {"the outbound messages linked elsewhere",
       [](MailServer& s, const fs::path& elsewhere) {
         fs::remove(s.outbound() / "messages");
         fs::create_directory(elsewhere);
         WriteFile(elsewhere / "m", "not mail");
         WriteFile(elsewhere / ".velmoth-0123456789abcdef.tmp", "not mail either");
         fs::last_write_time(elsewhere / ".velmoth-0123456789abcdef.tmp",
                             fs::file_time_type::clock::now() - std::chrono::hours(2));
         fs::create_directory_symlink(elsewhere, s.outbound() / "messages");
       },
       true},
      {"Bad Mail's messages linked to the outbound one",
       [](MailServer& s, const fs::path&) {
         for (const auto& entry : fs::directory_iterator(s.badMail() / "messages")) {
           fs::rename(entry.path(), s.outbound() / "messages" / entry.path().filename());
         }
         fs::remove(s.badMail() / "messages");
         fs::create_directory_symlink(s.outbound() / "messages", s.badMail() / "messages");
       },
       true},
      {"the outbound queue itself a link, as a queue moved to another disk",
       [](MailServer& s, const fs::path& elsewhere) {
         fs::rename(s.outbound(), elsewhere);
         fs::create_directory_symlink(elsewhere, s.outbound());
       },
       false},
  };
  for (const auto& c : cases) {
    MailServer server;
    server.Park("m", "Status=Failed", "body");
    const fs::path elsewhere = server.root() / "elsewhere";
    c.link(server, elsewhere);
    const std::vector<std::string> before =
        fs::exists(elsewhere) ? EntryNames(elsewhere) : std::vector<std::string>{};
    NativeFileSystem files;
    const auto rows = Requeue({"m"}, {}, files, server.locations());
    if (!c.refused) {
      EXPECT_EQ(rows[0].outcome, RequeueOutcome::kRequeued) << c.what;
      EXPECT_FALSE(rows[0].error) << c.what << ": " << rows[0].error->what();
      EXPECT_EQ(ReadFile(elsewhere / "messages" / "m"), "body") << c.what;
      continue;
    }
    ASSERT_EQ(rows[0].outcome, RequeueOutcome::kFailed) << c.what;
    EXPECT_EQ(rows[0].error->kind(), ErrorKind::kLink) << c.what;
    if (fs::exists(elsewhere)) {
      EXPECT_EQ(EntryNames(elsewhere), before) << c.what;
    }
    for (const fs::path& file : {elsewhere / "m", server.badMail() / "m"}) {
      if (fs::exists(file)) {
        EXPECT_NE(ReadFile(file), "") << c.what;
      }
    }
    EXPECT_FALSE(fs::exists(server.outbound() / "m")) << c.what;
  }
}

}  // namespace
}  // namespace velmoth
