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

namespace fs = std::filesystem;

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
    ErrorKind kind;
  } cases[] = {{"link", ErrorKind::kLink}, {"fifo", ErrorKind::kNotRegular}};
  for (const auto& c : cases) {
    auto opened = std::async(std::launch::async, [&]() -> std::optional<FileError> {
      try {
        dir->Open(c.name, Access::kRead);
      } catch (const FileError& error) {
        return error;
      }
      return std::nullopt;
    });
    ASSERT_EQ(opened.wait_for(std::chrono::seconds(5)), std::future_status::ready) << c.name;
    const auto error = opened.get();
    ASSERT_TRUE(error) << c.name;
    EXPECT_EQ(error->kind(), c.kind) << c.name;
    EXPECT_EQ(error->path(), PathText(server.badMail() / c.name));
  }
  EXPECT_EQ(dir->Status("link")->kind, FileKind::kLink);
}

// Below a queue directory no link is followed, a directory's neither.
TEST(NativeFileSystemPosix, ALinkedDirectoryBelowAQueueIsRefused) {
  MailServer server;
  NativeFileSystem files;
  const fs::path elsewhere = server.root() / "elsewhere";
  fs::create_directory(elsewhere);
  fs::remove(server.badMail() / "messages");
  fs::create_directory_symlink(elsewhere, server.badMail() / "messages");
  try {
    files.OpenDirectory(server.badMail())->OpenDirectory("messages");
    ADD_FAILURE() << "a linked directory was opened";
  } catch (const FileError& error) {
    EXPECT_EQ(error.kind(), ErrorKind::kLink);
    EXPECT_EQ(error.path(), PathText(server.badMail() / "messages"));
  }
  // A link on the way to a queue, its last name's included, is followed.
  fs::create_directory_symlink(server.badMail(), server.root() / "queue link");
  EXPECT_NO_THROW(files.OpenDirectory(server.root() / "queue link"));
}

// A copy lets no more people read it than may read the parked original.
TEST(NativeFileSystemPosix, ACopySharesNoMoreThanItsOriginal) {
  MailServer server;
  NativeFileSystem files;
  const auto parked = files.OpenDirectory(server.badMail());
  const auto outbound = files.OpenDirectory(server.outbound() / "messages");
  // As the original, but that the server may always delete it.
  for (const auto& [mode, copied] : {std::pair<mode_t, mode_t>{0600, 0600},
                                     {0640, 0640},
                                     {0644, 0644},
                                     {0400, 0600},
                                     {0004, 0204}}) {
    server.Park("m", "Status=Failed");
    ASSERT_EQ(::chmod((server.badMail() / "m").c_str(), mode), 0);
    const auto original = parked->Open("m", Access::kRead);
    auto copy = outbound->CreateTemporary();
    struct stat st {};
    ASSERT_EQ(::stat(copy->path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << "while it is written";
    copy->ShareLike(*original);
    copy->Close();
    ASSERT_EQ(::stat(copy->path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, copied) << std::oct << mode;
    fs::remove(server.badMail() / "m");
  }
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
    auto file = dir->Open(entry.name, Access::kRead);
    std::string bytes(300, '\0');
    bytes.resize(file->Read(bytes.data(), bytes.size()));
    EXPECT_EQ(bytes, entry.name);
  }
}

}  // namespace
}  // namespace velmoth
