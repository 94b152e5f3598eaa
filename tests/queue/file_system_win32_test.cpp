// What a Windows queue directory holds that a POSIX one does not: wide names,
// read-only and hidden attributes, links and junctions, files the server holds
// open, and the system's own error texts.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <map>

#include "files/file_system.h"
#include "support/mail_server.h"

namespace velmoth {
namespace {

namespace fs = std::filesystem;

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

  const auto dir = files.OpenDirectory(server.badMail());
  std::map<std::string, FileKind> kinds;
  for (const auto& entry : dir->Entries()) {
    kinds[entry.name] = entry.kind;
    if (entry.name == kWideName) {
      EXPECT_EQ(entry.modified, when);
    }
  }
  // Where the links could be made, they are listed as links.
  for (const char* link : {"link", "junction"}) {
    if (kinds.count(link)) {
      EXPECT_EQ(kinds[link], FileKind::kLink) << link;
    }
    kinds.erase(link);
  }
  EXPECT_EQ(kinds, (std::map<std::string, FileKind>{{kWideName, FileKind::kRegular},
                                                    {"hidden", FileKind::kRegular},
                                                    {"target", FileKind::kRegular}}));
  EXPECT_EQ(PathText(wide), PathText(server.badMail()) + "\\" + kWideName);
  EXPECT_EQ(dir->Status(kWideName)->size, 3u);
  if (fs::exists(server.badMail() / "link")) {
    EXPECT_THROW(dir->Open("link"), FileError);
    EXPECT_EQ(dir->Status("link")->kind, FileKind::kLink);
  }
}

TEST(NativeFileSystemWin32, AReadOnlyFileIsNotDeleted) {
  MailServer server;
  NativeFileSystem files;
  const fs::path parked = server.badMail() / "m";
  WriteFile(parked, "body");
  ASSERT_TRUE(SetFileAttributesW(parked.c_str(), FILE_ATTRIBUTE_READONLY));
  try {
    files.Delete(parked);
    ADD_FAILURE() << "deleted";
  } catch (const FileError& error) {
    EXPECT_EQ(error.number(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(error.path(), PathText(parked));
  }
  EXPECT_TRUE(fs::exists(parked));
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
  const auto dir = files.OpenDirectory(server.badMail());
  for (const auto& c : cases) {
    Held held(path, c.access, c.share);
    ASSERT_TRUE(held.ok()) << c.how;
    EXPECT_EQ(dir->Status("held")->size, 15u) << c.how;
    if (c.readable) {
      char bytes[32];
      EXPECT_EQ(dir->Open("held")->Read(bytes, sizeof bytes), 15u) << c.how;
    } else {
      EXPECT_THROW(dir->Open("held"), FileError) << c.how;
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
      files.OpenForReading(c.path);
      ADD_FAILURE() << c.what;
    } catch (const FileError& error) {
      EXPECT_EQ(error.number(), static_cast<int>(c.number)) << c.what;
      EXPECT_TRUE(IsFileNotFound(error)) << c.what;
      ASSERT_FALSE(error.description().empty()) << c.what;
      EXPECT_NE(error.description().back(), '\n') << c.what;
      EXPECT_NE(error.description().back(), '\r') << c.what;
    }
  }
  EXPECT_THROW(files.OpenDirectory(fs::path()), FileError);
  EXPECT_THROW(files.OpenDirectory(server.badMail() / "missing"), FileError);
}

TEST(NativeFileSystemWin32, RenameReplacesTheDestinationAndALinkThere) {
  MailServer server;
  NativeFileSystem files;
  WriteFile(server.outbound() / "new", "fresh");
  WriteFile(server.outbound() / "m", "stale");
  files.Rename(server.outbound() / "new", server.outbound() / "m");
  EXPECT_EQ(ReadFile(server.outbound() / "m"), "fresh");
  EXPECT_FALSE(fs::exists(server.outbound() / "new"));
  files.Flush({}, {server.outbound()});  // nothing to do, and nothing fails

  const fs::path secret = server.root() / "secret";
  WriteFile(secret, "not mail");
  Link(server.outbound() / "linked", secret, 0);
  if (!fs::is_symlink(server.outbound() / "linked")) return;
  WriteFile(server.outbound() / "new", "fresh");
  files.Rename(server.outbound() / "new", server.outbound() / "linked");
  EXPECT_EQ(ReadFile(secret), "not mail");
  EXPECT_FALSE(fs::is_symlink(server.outbound() / "linked"));
}

}  // namespace
}  // namespace velmoth
