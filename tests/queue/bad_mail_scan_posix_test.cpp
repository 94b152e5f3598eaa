// The scan on what only a POSIX file system puts into the Bad Mail directory:
// links, FIFOs and sockets are never candidates, and a link is never read.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <map>

#include "queue/bad_mail_scan.h"
#include "support/mail_server.h"
#include "support/permissions.h"

namespace velmoth {
namespace {

namespace fs = std::filesystem;

using testing::MailServer;
using testing::WriteFile;

void MakeSocket(const fs::path& path) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  path.native().copy(address.sun_path, sizeof address.sun_path - 1);
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ::close(fd);
}

TEST(ScanBadMailPosix, LinksFifosAndSocketsAreNoCandidatesAndOddNamesAre) {
  MailServer server;
  server.Park("back\\slash", "Status=Failed");
  server.Park("quote\" and blank", "Status=Failed");
  server.Park("target", "Status=Failed");
  fs::create_symlink(server.badMail() / "target", server.badMail() / "link");
  fs::create_symlink(server.badMail() / "messages" / "target",
                     server.badMail() / "messages" / "link");
  // A real command file whose message file leads outside the queues.
  server.Park("leads-out", "Status=Failed", nullptr);
  const fs::path secret = server.root() / "secret";
  WriteFile(secret, "not mail");
  fs::create_symlink(secret, server.badMail() / "messages" / "leads-out");
  ASSERT_EQ(::mkfifo((server.badMail() / "fifo").c_str(), 0600), 0);
  WriteFile(server.badMail() / "messages" / "fifo", "");
  MakeSocket(server.root() / "s");
  fs::rename(server.root() / "s", server.badMail() / "socket");

  NativeFileSystem files;
  const BadMailScan scan = ScanBadMail(files, server.locations());
  std::vector<std::string> names;
  for (const auto& entry : scan.candidates) names.push_back(entry.name);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"back\\slash", "quote\" and blank", "target"}));
  std::map<std::string, LeftOutReason> reasons;
  for (const auto& file : scan.leftOut) reasons[file.name] = file.reason;
  for (const char* name : {"link", "leads-out", "fifo", "socket"}) {
    EXPECT_EQ(reasons[name], LeftOutReason::kNotRegularFile) << name;
  }
}

// A message file nobody may read is left out as unreadable, as a command file
// is, so that a requeue of every candidate never stops at it.
TEST(ScanBadMailPosix, AMessageFileThatMayNotBeReadIsLeftOut) {
  MailServer server;
  server.Park("closed", "Status=Failed");
  server.Park("open", "Status=Failed");
  fs::permissions(server.badMail() / "messages" / "closed", fs::perms::none);
  NativeFileSystem files;
  const testing::PermissionsEnforced enforced;
  const BadMailScan scan = ScanBadMail(files, server.locations());
  ASSERT_EQ(scan.candidates.size(), 1u);
  EXPECT_EQ(scan.candidates.front().name, "open");
  ASSERT_EQ(scan.leftOut.size(), 1u);
  EXPECT_EQ(scan.leftOut.front().reason, LeftOutReason::kUnreadable);
  EXPECT_EQ(scan.leftOut.front().error->path(), PathText(server.badMail() / "messages" / "closed"));
}

// Nothing below the Bad Mail directory is followed through a link.
TEST(ScanBadMailPosix, ALinkedMessagesDirectoryIsRefused) {
  MailServer server;
  server.Park("m", "Status=Failed");
  fs::rename(server.badMail() / "messages", server.root() / "elsewhere");
  fs::create_directory_symlink(server.root() / "elsewhere", server.badMail() / "messages");
  NativeFileSystem files;
  try {
    ScanBadMail(files, server.locations());
    ADD_FAILURE() << "a linked messages directory was read";
  } catch (const FileError& error) {
    EXPECT_EQ(error.kind(), ErrorKind::kLink);
  }
}

}  // namespace
}  // namespace velmoth
