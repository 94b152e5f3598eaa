// What a POSIX queue directory can hold that a Windows one cannot: links, FIFOs,
// backslashes in names, and a root user whom permissions do not stop.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <future>

#include "files/file_system.h"
#include "support/mail_server.h"

namespace velmoth {
namespace {

using testing::MailServer;
using testing::ReadFile;
using testing::WriteFile;

TEST(NativeFileSystemPosix, ListingTellsLinksAndFifosApartAndSkipsDirectories) {
  MailServer server;
  NativeFileSystem files;
  WriteFile(server.badMail() / "plain", "A=1");
  fs::create_symlink(server.badMail() / "plain", server.badMail() / "link");
  fs::create_symlink(server.badMail() / "messages", server.badMail() / "dirlink");
  ASSERT_EQ(::mkfifo((server.badMail() / "fifo").c_str(), 0600), 0);
  std::map<std::string, FileKind> kinds;
  for (const auto& entry : files.OpenDirectory(server.badMail())->Entries()) {
    kinds[entry.name] = entry.kind;
  }
  EXPECT_EQ(kinds, (std::map<std::string, FileKind>{{"plain", FileKind::kRegular},
                                                    {"link", FileKind::kLink},
                                                    {"dirlink", FileKind::kLink},
                                                    {"fifo", FileKind::kOther}}));
}

TEST(NativeFileSystemPosix, ALinkIsNeverOpenedAndAFifoNeverHangs) {
  MailServer server;
  NativeFileSystem files;
  const fs::path secret = server.root() / "secret";
  WriteFile(secret, "not mail");
  fs::create_symlink(secret, server.badMail() / "link");
  ASSERT_EQ(::mkfifo((server.badMail() / "fifo").c_str(), 0600), 0);
  const auto dir = files.OpenDirectory(server.badMail());
  const struct {
    const char* name;
    int number;
  } cases[] = {{"link", kErrorIsLink}, {"fifo", kErrorNotRegularFile}};
  for (const auto& c : cases) {
    auto opened = std::async(std::launch::async, [&]() -> std::optional<FileError> {
      try {
        dir->Open(c.name);
      } catch (const FileError& error) {
        return error;
      }
      try {
        files.OpenForReading(server.badMail() / c.name);
      } catch (const FileError& error) {
        return error;
      }
      return std::nullopt;
    });
    ASSERT_EQ(opened.wait_for(std::chrono::seconds(5)), std::future_status::ready) << c.name;
    const auto error = opened.get();
    ASSERT_TRUE(error) << c.name;
    EXPECT_EQ(error->number(), c.number) << c.name;
    EXPECT_EQ(error->path(), PathText(server.badMail() / c.name));
  }
  EXPECT_EQ(dir->Status("link")->kind, FileKind::kLink);
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
                                          "..\\..\\up",  " lead;trail ",
                                          "new\nline",   std::string(255, 'n')};
  for (const auto& name : names) WriteFile(server.badMail() / name, name);
  const auto dir = files.OpenDirectory(server.badMail());
  const auto listed = dir->Entries();
  ASSERT_EQ(listed.size(), names.size());
  for (const auto& entry : listed) {
    auto file = dir->Open(entry.name);
    std::string bytes(300, '\0');
    bytes.resize(file->Read(bytes.data(), bytes.size()));
    EXPECT_EQ(bytes, entry.name);
  }
}

}  // namespace
}  // namespace velmoth
