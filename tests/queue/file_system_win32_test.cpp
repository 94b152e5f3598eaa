// What a Windows queue directory holds that a POSIX one does not: wide names,
// read-only and hidden attributes, links and junctions, files the server holds
// open, and the system's own error texts.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <chrono>

#include "queue/file_system.h"
#include "support/mail_server.h"

namespace velmoth {
namespace {

using testing::MailServer;
using testing::ReadFile;
using testing::WriteFile;

const std::string kWideName = "M\xc3\xa4rz \xe2\x82\xac \xe4\xb8\xad.eml";  // "März € 中.eml"

// A handle the test holds as the server would, closed at the end of the scope.
class Held {
 public:
  Held(const fs::path& path, DWORD access, DWORD share)
      : handle_(CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING, 0, nullptr)) {}
  ~Held() { CloseHandle(handle_); }
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;
  bool ok() const { return handle_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE handle_;
};

// A symbolic link; Windows without developer mode lets only administrators make one.
void Link(const fs::path& link, const fs::path& target, DWORD flags) {
  if (!CreateSymbolicLinkW(link.c_str(), target.c_str(), flags)) {
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PRIVILEGE_NOT_HELD)) << PathText(link);
  }
}

TEST(NativeFileSystemWin32, ListsPlainAndHiddenFilesByTheirUtf8NamesAndDates) {
  MailServer server;
  NativeFileSystem files;
  const fs::path wide = server.badMail() / PathFromText(kWideName);
  WriteFile(wide, "A=1");
  WriteFile(server.badMail() / "hidden", "A=2");
  SetFileAttributesW((server.badMail() / "hidden").c_str(), FILE_ATTRIBUTE_HIDDEN);
  WriteFile(server.badMail() / "target", "A=3");
  // A link or junction is no parked message, whatever it points at.
  Link(server.badMail() / "link", server.badMail() / "target", 0);
  Link(server.badMail() / "junction", server.outbound(), SYMBOLIC_LINK_FLAG_DIRECTORY);
  const std::chrono::sys_seconds when{std::chrono::sys_days(std::chrono::year(2003) / 2 / 1) +
                                      std::chrono::seconds(45296)};
  fs::last_write_time(wide, std::chrono::file_clock::from_sys(when));

  std::vector<std::string> names;
  for (const auto& file : files.ListFiles(server.badMail())) {
    names.push_back(file.name);
    EXPECT_EQ(file.path, server.badMail() / PathFromText(file.name));
    if (file.name == kWideName) {
      EXPECT_EQ(file.modified, when);
    }
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{kWideName, "hidden", "target"}));
  EXPECT_EQ(PathText(wide), PathText(server.badMail()) + "\\" + kWideName);
  EXPECT_TRUE(files.Exists(wide));
  EXPECT_EQ(files.Size(wide), 3u);
}

TEST(NativeFileSystemWin32, AReadOnlyFileIsNotDeletedButItsCopyIsNotReadOnly) {
  MailServer server;
  NativeFileSystem files;
  const fs::path parked = server.badMail() / "m";
  const fs::path copy = server.outbound() / "m";
  WriteFile(parked, "body");
  ASSERT_TRUE(SetFileAttributesW(parked.c_str(), FILE_ATTRIBUTE_READONLY));
  try {
    files.Delete(parked);
    ADD_FAILURE() << "deleted";
  } catch (const FileError& error) {
    EXPECT_EQ(error.number(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(error.path(), PathText(parked));
  }
  EXPECT_TRUE(files.Exists(parked));
  files.Copy(parked, copy);
  files.SyncFile(copy);
  EXPECT_EQ(GetFileAttributesW(copy.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
  files.Delete(copy);
  EXPECT_FALSE(files.Exists(copy));
}

TEST(NativeFileSystemWin32, FilesTheServerHoldsOpenCanStillBeReadAndMeasured) {
  MailServer server;
  NativeFileSystem files;
  const fs::path path = server.badMail() / "held";
  WriteFile(path, "Status=Failed\r\n");
  const struct {
    const char* how;
    DWORD access;
    DWORD share;
    bool readable;
  } cases[] = {
      // Our reader lets writers and deleters in, or it could not open these.
      {"writing, sharing reads", GENERIC_WRITE, FILE_SHARE_READ, true},
      {"about to delete it", DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE, true},
      {"exclusively", GENERIC_READ, 0, false},
  };
  for (const auto& c : cases) {
    Held held(path, c.access, c.share);
    ASSERT_TRUE(held.ok()) << c.how;
    EXPECT_EQ(files.Size(path), 15u) << c.how;
    if (c.readable) {
      LineReader reader(path);
      EXPECT_EQ(reader.ReadLine(), "Status=Failed") << c.how;
    } else {
      EXPECT_THROW(LineReader{path}, FileError) << c.how;
    }
  }
}

TEST(NativeFileSystemWin32, ErrorsCarryTheSystemNumberAndItsTextWithoutLineEnd) {
  MailServer server;
  NativeFileSystem files;
  const struct {
    const char* what;
    fs::path path;
    DWORD number;
  } cases[] = {
      {"missing file", server.badMail() / "missing", ERROR_FILE_NOT_FOUND},
      {"missing directory", server.badMail() / "missing" / "m", ERROR_PATH_NOT_FOUND},
  };
  for (const auto& c : cases) {
    try {
      files.Size(c.path);
      ADD_FAILURE() << c.what;
    } catch (const FileError& error) {
      EXPECT_EQ(error.number(), static_cast<int>(c.number)) << c.what;
      EXPECT_TRUE(IsFileNotFound(error)) << c.what;
      ASSERT_FALSE(error.description().empty()) << c.what;
      EXPECT_NE(error.description().back(), '\n') << c.what;
      EXPECT_NE(error.description().back(), '\r') << c.what;
    }
  }
  EXPECT_THROW(files.ListFiles(fs::path()), FileError);
  EXPECT_THROW(files.ListFiles(server.badMail() / "missing"), FileError);
}

TEST(NativeFileSystemWin32, RenameReplacesTheDestinationInOneStep) {
  MailServer server;
  NativeFileSystem files;
  WriteFile(server.outbound() / "new", "fresh");
  WriteFile(server.outbound() / "m", "stale");
  files.Rename(server.outbound() / "new", server.outbound() / "m");
  EXPECT_EQ(ReadFile(server.outbound() / "m"), "fresh");
  EXPECT_FALSE(files.Exists(server.outbound() / "new"));
  files.SyncDirectory(server.outbound());  // nothing to do, and nothing fails
}

}  // namespace
}  // namespace velmoth
