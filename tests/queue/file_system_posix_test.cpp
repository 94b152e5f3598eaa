// What a POSIX queue directory can hold that a Windows one cannot: links, FIFOs,
// backslashes in names, and a root user whom permissions do not stop.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <future>

#include "queue/file_system.h"
#include "support/mail_server.h"

namespace velmoth {
namespace {

using testing::MailServer;
using testing::ReadFile;
using testing::WriteFile;

TEST(NativeFileSystemPosix, ListingSkipsLinksFifosAndDirectories) {
  MailServer server;
  NativeFileSystem files;
  WriteFile(server.badMail() / "plain", "A=1");
  fs::create_symlink(server.badMail() / "plain", server.badMail() / "link");
  fs::create_symlink("/etc/passwd", server.badMail() / "outside");
  ASSERT_EQ(::mkfifo((server.badMail() / "fifo").c_str(), 0600), 0);
  const auto listed = files.ListFiles(server.badMail());
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0].name, "plain");
}

TEST(NativeFileSystemPosix, OpeningAFifoFailsInsteadOfHanging) {
  MailServer server;
  const auto fifo = server.badMail() / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  auto opened = std::async(std::launch::async, [&] {
    try {
      LineReader reader(fifo);
      return false;
    } catch (const FileError&) {
      return true;
    }
  });
  ASSERT_EQ(opened.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_TRUE(opened.get());
}

TEST(NativeFileSystemPosix, ReadOnlyFileIsNotDeletedEvenByRoot) {
  MailServer server;
  NativeFileSystem files;
  const auto path = server.badMail() / "kept";
  WriteFile(path, "body");
  fs::permissions(path, fs::perms::owner_read | fs::perms::group_read);
  EXPECT_THROW(files.Delete(path), FileError);
  EXPECT_EQ(ReadFile(path), "body");
}

TEST(NativeFileSystemPosix, UnusualNamesStayInTheirDirectory) {
  MailServer server;
  NativeFileSystem files;
  const std::vector<std::string> names = {"back\\slash", "with \"quotes\" and 'more'",
                                          "caf\xc3\xa9", "raw\xff",
                                          "..\\..\\up",  " lead;trail "};
  for (const auto& name : names) WriteFile(server.badMail() / name, name);
  const auto listed = files.ListFiles(server.badMail());
  ASSERT_EQ(listed.size(), names.size());
  for (const auto& file : listed) {
    EXPECT_EQ(file.path.parent_path(), server.badMail());
    EXPECT_EQ(ReadFile(file.path), file.name);
  }
}

}  // namespace
}  // namespace velmoth
