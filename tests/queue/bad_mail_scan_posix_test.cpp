// The scan on what only a POSIX file system can put into the Bad Mail directory.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>

#include "support/memory_mail_list.h"
#include "queue/bad_mail_scan.h"
#include "support/mail_server.h"

namespace velmoth {
namespace {

using testing::MailServer;

TEST(RefreshMailListPosix, SkipsFifosAndLinksAndKeepsOddNames) {
  MailServer server;
  server.Park("back\\slash", "Status=Failed");
  server.Park("quote\" and blank", "Status=Failed");
  server.Park("target", "Status=Failed");
  fs::create_symlink(server.badMail() / "target", server.badMail() / "link");
  fs::create_symlink(server.badMail() / "messages" / "target",
                     server.badMail() / "messages" / "link");
  ASSERT_EQ(::mkfifo((server.badMail() / "fifo").c_str(), 0600), 0);
  testing::WriteFile(server.badMail() / "messages" / "fifo", "");

  MemoryMailList list;
  NativeFileSystem files;
  RefreshMailList(list, files);
  auto texts = list.Texts();
  std::sort(texts.begin(), texts.end());
  EXPECT_EQ(texts, (std::vector<std::string>{"back\\slash", "quote\" and blank", "target"}));
}

}  // namespace
}  // namespace velmoth
