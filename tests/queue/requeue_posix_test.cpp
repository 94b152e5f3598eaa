// A requeue cut short by the file-size limit: the outbound queue must never hold
// a partial command file.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include "support/memory_mail_list.h"
#include "queue/requeue.h"
#include "support/mail_server.h"

namespace velmoth {
namespace {

using testing::EntryNames;
using testing::MailServer;

TEST(RequeuePosix, FileSizeLimitLeavesNoPartialCommandFile) {
  MailServer server;
  std::string command = "Status=Failed\r\n";
  while (command.size() < 300000) command += "X-Trace=" + std::string(100, 't') + "\r\n";
  server.Park("big", command, "small message");
  MemoryMailList list;
  list.AddRow("big", "big");
  list.SetTicked(1, true);

  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto previous = ::signal(SIGXFSZ, SIG_IGN);
  rlimit limited = saved;
  limited.rlim_cur = 64 * 1024;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limited), 0);
  NativeFileSystem files;
  EXPECT_THROW(RequeueChecked(list, true, files), FileError);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::signal(SIGXFSZ, previous);

  EXPECT_EQ(EntryNames(server.outbound()), std::vector<std::string>{"messages"});
  EXPECT_EQ(EntryNames(server.outbound() / "messages"), std::vector<std::string>{"big"});
  EXPECT_TRUE(fs::exists(server.badMail() / "big"));
  EXPECT_TRUE(fs::exists(server.badMail() / "messages" / "big"));
}

}  // namespace
}  // namespace velmoth
