// What a Windows queue directory holds that a POSIX one does not: wide names,
// read-only and hidden attributes, links and junctions, files the server holds
// open, and the system's own error texts; and how the file layer reaches them:
// relative to a directory handle, through a table of calls that the tests below
// replace to make a file look like a link (Wine shows its links as their
// targets) or to make any call fail.
#include <gtest/gtest.h>
#include <windows.h>
#include <winternl.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <set>

#include "files/file_system.h"
#include "files/system_calls.h"
#include "support/mail_server.h"

namespace velmoth {
namespace {

namespace fs = std::filesystem;
using testing::MailServer;
using testing::ReadFile;
using testing::WriteFile;

const std::string kWideName = "M\xc3\xa4rz \xe2\x82\xac \xe4\xb8\xad.eml";  // "März € 中.eml"

constexpr NTSTATUS kAccessDenied = static_cast<NTSTATUS>(0xC0000022);
constexpr NTSTATUS kCannotDelete = static_cast<NTSTATUS>(0xC0000121);
constexpr NTSTATUS kNotImplemented = static_cast<NTSTATUS>(0xC0000002);
constexpr NTSTATUS kNotSupported = static_cast<NTSTATUS>(0xC00000BB);
constexpr auto kDispositionEx = static_cast<FILE_INFORMATION_CLASS>(64);
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

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

// Writes at the end of a file as the server does: sharing it with our reader,
// which may delete it.
void Append(const fs::path& path, const std::string& bytes) {
  const HANDLE file =
      CreateFileW(path.c_str(), FILE_APPEND_DATA, kShareAll, nullptr, OPEN_EXISTING, 0, nullptr);
  DWORD put = 0;
  EXPECT_TRUE(::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr));
  CloseHandle(file);
}

// A symbolic link; Windows without developer mode lets only administrators make one.
void Link(const fs::path& link, const fs::path& target, DWORD flags) {
  if (!CreateSymbolicLinkW(link.c_str(), target.c_str(), flags)) {
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PRIVILEGE_NOT_HELD)) << PathText(link);
  }
}

// What the doubles below act on: the file opened by one name, through the handles
// NtCreateFile gave for it; and how many files were marked for deletion.
struct Doubles {
  std::wstring name;
  std::set<HANDLE> handles;
  int marks = 0;
};
Doubles doubles;

std::wstring NameIn(const OBJECT_ATTRIBUTES* attributes) {
  const UNICODE_STRING* name = attributes->ObjectName;
  if (name == nullptr || name->Buffer == nullptr) return {};
  return std::wstring(name->Buffer, name->Length / sizeof(wchar_t));
}

// Keeps track of the handles opened by `name`.
void Track(const std::string& name) {
  doubles = {PathFromText(name).native(), {}, 0};
  Calls().NtCreateFile = [](PHANDLE file, ACCESS_MASK access, POBJECT_ATTRIBUTES attributes,
                            PIO_STATUS_BLOCK io, PLARGE_INTEGER allocation, ULONG fileAttributes,
                            ULONG share, ULONG disposition, ULONG options, PVOID ea,
                            ULONG eaSize) -> NTSTATUS {
    const NTSTATUS status =
        PlatformCalls().NtCreateFile(file, access, attributes, io, allocation, fileAttributes,
                                     share, disposition, options, ea, eaSize);
    if (NT_SUCCESS(status) && NameIn(attributes) == doubles.name) doubles.handles.insert(*file);
    return status;
  };
  Calls().CloseHandle = [](HANDLE handle) -> BOOL {
    doubles.handles.erase(handle);
    return PlatformCalls().CloseHandle(handle);
  };
}

// Makes the file `name` look like a reparse point to the calls on its handles.
void PretendReparsePoint(const std::string& name) {
  Track(name);
  Calls().NtQueryInformationFile = [](HANDLE file, PIO_STATUS_BLOCK io, PVOID info, ULONG size,
                                      FILE_INFORMATION_CLASS kind) -> NTSTATUS {
    const NTSTATUS status = PlatformCalls().NtQueryInformationFile(file, io, info, size, kind);
    if (!NT_SUCCESS(status) || doubles.handles.count(file) == 0) return status;
    if (kind == FileAttributeTagInformation) {
      static_cast<FILE_ATTRIBUTE_TAG_INFORMATION*>(info)->FileAttributes |=
          FILE_ATTRIBUTE_REPARSE_POINT;
    } else if (kind == FileBasicInformation) {
      static_cast<FILE_BASIC_INFORMATION*>(info)->FileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    }
    return status;
  };
}

BOOL WINAPI FailingFlush(HANDLE) {
  SetLastError(ERROR_IO_DEVICE);
  return FALSE;
}

// A mail server, and its queues as the file layer opens them; the platform's
// calls back in the table after each test, whatever it replaced.
class NativeFileSystemWin32 : public ::testing::Test {
 protected:
  void TearDown() override { Calls() = PlatformCalls(); }

  MailServer server;
  NativeFileSystem files;
};

// The FileError that `act` throws; nothing when it throws none.
std::optional<FileError> FailureOf(const std::function<void()>& act) {
  try {
    act();
  } catch (const FileError& error) {
    return error;
  }
  return std::nullopt;
}

void ExpectFailure(const std::function<void()>& act, ErrorKind kind, const fs::path& path,
                   const std::string& what) {
  const auto error = FailureOf(act);
  ASSERT_TRUE(error) << what << ": nothing failed";
  EXPECT_EQ(error->kind(), kind) << what << ": " << error->what();
  EXPECT_EQ(error->path(), PathText(path)) << what;
}

TEST_F(NativeFileSystemWin32, ListsPlainAndHiddenFilesByTheirUtf8NamesAndDates) {
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
  EXPECT_EQ(dir->QuickStatus(kWideName)->modified, when);
  EXPECT_EQ(ReadWhole(*dir->Open(kWideName, Access::kRead)), "A=1");
  if (fs::exists(server.badMail() / "link")) {
    EXPECT_THROW(dir->Open("link", Access::kRead), FileError);
    EXPECT_EQ(dir->Status("link")->kind, FileKind::kLink);
  }
}

TEST_F(NativeFileSystemWin32, AReadOnlyFileIsNotDeleted) {
  server.Park("m", "A=1");
  const fs::path parked = server.badMail() / "messages" / "m";
  ASSERT_TRUE(SetFileAttributesW(parked.c_str(), FILE_ATTRIBUTE_READONLY));
  const auto commands = files.OpenDirectory(server.badMail());
  const auto messages = commands->OpenDirectory("messages");
  const auto command = commands->Open("m", Access::kReadAndDelete);
  const auto message = messages->Open("m", Access::kReadAndDelete);
  EXPECT_EQ(files.DeleteOpened({{*messages, "m", *message}, {*commands, "m", *command}}),
            DeleteOutcome::kReadOnly);
  EXPECT_TRUE(fs::exists(parked));
  EXPECT_TRUE(fs::exists(server.badMail() / "m"));
}

TEST_F(NativeFileSystemWin32, FilesTheServerHoldsOpenCanStillBeReadAndMeasured) {
  const fs::path path = server.badMail() / "held";
  WriteFile(path, "Status=Failed\r\n");
  const struct {
    const char* how;
    DWORD access;
    DWORD share;
    bool readable;
    bool deletable;
  } cases[] = {
      // Our reader lets writers and deleters in, or it could not open these.
      {"writing, sharing reads", GENERIC_WRITE, FILE_SHARE_READ, true, false},
      {"writing, sharing reads and deletion", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
       true, true},
      {"about to delete it", DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE, true, false},
      {"exclusively", GENERIC_READ, 0, false, false},
  };
  const auto dir = files.OpenDirectory(server.badMail());
  for (const auto& c : cases) {
    Held held(path, c.access, c.share);
    ASSERT_TRUE(held.ok()) << c.how;
    EXPECT_EQ(dir->Status("held")->size, 15u) << c.how;
    EXPECT_EQ(dir->QuickStatus("held")->size, 15u) << c.how;
    if (c.readable) {
      char bytes[32];
      EXPECT_EQ(dir->Open("held", Access::kRead)->Read(bytes, sizeof bytes), 15u) << c.how;
    } else {
      ExpectFailure([&] { dir->Open("held", Access::kRead); }, ErrorKind::kBusy, path, c.how);
    }
    if (c.deletable) {
      EXPECT_NO_THROW(dir->Open("held", Access::kReadAndDelete)) << c.how;
    } else {
      ExpectFailure([&] { dir->Open("held", Access::kReadAndDelete); }, ErrorKind::kBusy, path,
                    c.how);
    }
  }
}

TEST_F(NativeFileSystemWin32, ErrorsCarryTheSystemNumberAndItsTextWithoutLineEnd) {
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
  const auto dir = files.OpenDirectory(server.badMail());
  EXPECT_FALSE(dir->Status("missing"));
  EXPECT_FALSE(dir->QuickStatus("missing"));
  ExpectFailure([&] { dir->Open("messages", Access::kRead); }, ErrorKind::kNotRegular,
                server.badMail() / "messages", "a directory opened as a file");
}

TEST_F(NativeFileSystemWin32, RenameReplacesTheDestinationAndALinkThere) {
  const auto outbound = files.OpenDirectory(server.outbound());
  const auto messages = outbound->OpenDirectory("messages");
  WriteFile(server.outbound() / "new", "fresh");
  WriteFile(server.outbound() / "m", "stale");
  outbound->Rename("new", *outbound, "m", ExistingName::kReplace);
  EXPECT_EQ(ReadFile(server.outbound() / "m"), "fresh");
  EXPECT_FALSE(fs::exists(server.outbound() / "new"));
  // From one directory into another, under a wide name.
  WriteFile(server.outbound() / "messages" / "copy", "command");
  WriteFile(server.outbound() / PathFromText(kWideName), "older");
  messages->Rename("copy", *outbound, kWideName, ExistingName::kReplace);
  EXPECT_EQ(ReadFile(server.outbound() / PathFromText(kWideName)), "command");
  EXPECT_FALSE(fs::exists(server.outbound() / "messages" / "copy"));
  outbound->FlushNames();
  messages->FlushNames();

  const fs::path secret = server.root() / "secret";
  WriteFile(secret, "not mail");
  Link(server.outbound() / "linked", secret, 0);
  if (!fs::is_symlink(server.outbound() / "linked")) return;
  WriteFile(server.outbound() / "new", "fresh");
  outbound->Rename("new", *outbound, "linked", ExistingName::kReplace);
  EXPECT_EQ(ReadFile(secret), "not mail");
  EXPECT_FALSE(fs::is_symlink(server.outbound() / "linked"));
}

TEST_F(NativeFileSystemWin32, NamesAreReachedThroughTheDirectoryHandleWhereverItsPathLeadsNow) {
  server.Park("m", "A=1", "parked body");
  const auto badMail = files.OpenDirectory(server.badMail());
  const auto messages = badMail->OpenDirectory("messages");
  // The server moves its Bad Mail aside and starts a new one under the old path.
  // (Wine renames and deletes by the path a directory was opened under: only
  // opens, statuses and listings follow the handle there.)
  fs::rename(server.badMail(), server.mail() / "Bad Mail.old");
  fs::create_directories(server.badMail() / "messages");
  server.Park("n", "A=2");
  WriteFile(server.badMail() / "messages" / "m", "another body");

  EXPECT_EQ(ReadWhole(*messages->Open("m", Access::kRead)), "parked body");
  EXPECT_EQ(messages->Status("m")->size, 11u);
  const auto entries = badMail->Entries();
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, "m");
}

TEST_F(NativeFileSystemWin32, StatusOfANameAgreesWithTheFileOpenedByItUntilItChanges) {
  server.Park("m", "A=1");
  const auto dir = files.OpenDirectory(server.badMail());
  auto file = dir->Open("m", Access::kRead);
  const FileStatus opened = file->Status();
  EXPECT_EQ(dir->Status("m")->identity, opened.identity);
  EXPECT_EQ(dir->Status("m")->changed, opened.changed);
  EXPECT_NE(opened.identity.file, 0u);
  EXPECT_EQ(dir->QuickStatus("m")->identity, FileIdentity{});

  WriteFile(server.badMail() / "m", "A=1, rewritten");
  EXPECT_NE(file->CurrentStatus().changed, opened.changed);
  EXPECT_NE(dir->Status("m")->changed, opened.changed);
  // Windows renames over no open file.
  file.reset();
  WriteFile(server.badMail() / "other", "A=2");
  dir->Rename("other", *dir, "m", ExistingName::kReplace);
  EXPECT_NE(dir->Status("m")->identity, opened.identity);
  // The directories up to the drive's root, each a file of its own.
  std::set<std::uint64_t> lineage{dir->Identity().file};
  std::unique_ptr<Directory> top;
  for (auto parent = dir->OpenParent(); parent; parent = top->OpenParent()) {
    EXPECT_TRUE(lineage.insert(parent->Identity().file).second) << PathText(parent->path());
    top = std::move(parent);
  }
  ASSERT_TRUE(top);
  EXPECT_EQ(top->path(), top->path().root_path());
}

TEST_F(NativeFileSystemWin32, ATemporaryFileNeverTakesANameThatIsThere) {
  const fs::path taken = server.outbound() / "messages" / "taken";
  WriteFile(taken, "the server's");
  const auto messages = files.OpenDirectory(server.outbound() / "messages");
  // The next temporary names drawn are all "taken", as if by chance.
  static int draws;
  static int forced;
  Calls().NtCreateFile = [](PHANDLE file, ACCESS_MASK access, POBJECT_ATTRIBUTES attributes,
                            PIO_STATUS_BLOCK io, PLARGE_INTEGER allocation, ULONG fileAttributes,
                            ULONG share, ULONG disposition, ULONG options, PVOID ea,
                            ULONG eaSize) -> NTSTATUS {
    wchar_t name[] = L"taken";
    UNICODE_STRING text{10, 10, name};
    OBJECT_ATTRIBUTES instead = *attributes;
    if (disposition == FILE_CREATE && ++draws <= forced) instead.ObjectName = &text;
    return PlatformCalls().NtCreateFile(file, access, &instead, io, allocation, fileAttributes,
                                        share, disposition, options, ea, eaSize);
  };
  draws = 0;
  forced = 3;
  auto copy = messages->CreateTemporary();
  copy->Write("ours", 4);
  copy->Close();
  EXPECT_EQ(draws, 4);
  EXPECT_TRUE(IsTemporaryName(copy->name()));
  EXPECT_EQ(ReadFile(copy->path()), "ours");
  EXPECT_EQ(ReadFile(taken), "the server's");
  forced = draws + 1000;
  const auto error = FailureOf([&] { messages->CreateTemporary(); });
  ASSERT_TRUE(error);
  EXPECT_EQ(error->kind(), ErrorKind::kExists);
  EXPECT_EQ(ReadFile(taken), "the server's");
}

TEST_F(NativeFileSystemWin32, DeletesTheOpenedFilesTogetherOrNone) {
  const fs::path command = server.badMail() / "m";
  const fs::path message = server.badMail() / "messages" / "m";
  const fs::path elsewhere = server.mail() / "elsewhere";
  const auto moveAway = [&](const fs::path& path) {
    fs::rename(path, elsewhere / path.parent_path().filename());
  };
  const struct {
    const char* what;
    // What the server does after the files were opened.
    std::function<void()> meanwhile;
    DeleteOutcome outcome;
    bool commandGoes;
    bool messageGoes;
  } cases[] = {
      {"nothing", [] {}, DeleteOutcome::kDeleted, true, true},
      {"deletes the command file", [&] { ASSERT_TRUE(DeleteFileW(command.c_str())); },
       DeleteOutcome::kDeleted, true, true},
      {"makes the message read-only",
       [&] { SetFileAttributesW(message.c_str(), FILE_ATTRIBUTE_READONLY); },
       DeleteOutcome::kReadOnly, false, false},
      {"appends to the message", [&] { Append(message, "more"); }, DeleteOutcome::kChanged, false,
       false},
      // A file moved away is the server's again: its name is gone, the file stays.
      {"moves the command file away", [&] { moveAway(command); }, DeleteOutcome::kDeleted, true,
       true},
      {"moves both away",
       [&] {
         moveAway(command);
         moveAway(message);
       },
       DeleteOutcome::kGone, true, true},
      {"puts another command file in its place",
       [&] {
         moveAway(command);
         WriteFile(command, "Status=Queued\r\n");
       },
       DeleteOutcome::kChanged, false, false},
  };
  for (const auto& c : cases) {
    server.Park("m", "A=1");
    fs::remove_all(elsewhere);
    fs::create_directory(elsewhere);
    {
      const auto commands = files.OpenDirectory(server.badMail());
      const auto messages = commands->OpenDirectory("messages");
      const auto commandFile = commands->Open("m", Access::kReadAndDelete);
      const auto messageFile = messages->Open("m", Access::kReadAndDelete);
      c.meanwhile();
      EXPECT_EQ(
          files.DeleteOpened({{*messages, "m", *messageFile}, {*commands, "m", *commandFile}}),
          c.outcome)
          << c.what;
    }
    EXPECT_EQ(fs::exists(command), !c.commandGoes) << c.what;
    EXPECT_EQ(fs::exists(message), !c.messageGoes) << c.what;
    // What was moved away is never deleted there.
    for (const auto& moved : fs::directory_iterator(elsewhere)) {
      EXPECT_EQ(ReadFile(moved.path()), moved.path().filename() == "messages" ? "body" : "A=1")
          << c.what;
    }
    SetFileAttributesW(message.c_str(), FILE_ATTRIBUTE_NORMAL);
  }
}

TEST_F(NativeFileSystemWin32, AFileTheServerHoldsOpenIsDeletedWhenItLetsGo) {
  server.Park("m", "A=1");
  const fs::path message = server.badMail() / "messages" / "m";
  const auto commands = files.OpenDirectory(server.badMail());
  const auto messages = commands->OpenDirectory("messages");
  {
    Held held(message, GENERIC_READ, kShareAll);
    const auto command = commands->Open("m", Access::kReadAndDelete);
    const auto file = messages->Open("m", Access::kReadAndDelete);
    ASSERT_EQ(files.DeleteOpened({{*messages, "m", *file}, {*commands, "m", *command}}),
              DeleteOutcome::kDeleted);
    EXPECT_FALSE(fs::exists(server.badMail() / "m"));
  }
  EXPECT_FALSE(fs::exists(message));
}

TEST_F(NativeFileSystemWin32, ALinkBelowAQueueDirectoryIsRefusedNeverFollowed) {
  server.Park("m", "A=1");
  fs::create_directory(server.badMail() / "sub");
  const auto dir = files.OpenDirectory(server.badMail());
  PretendReparsePoint("m");
  for (const Access access : {Access::kRead, Access::kReadAndDelete}) {
    ExpectFailure([&] { dir->Open("m", access); }, ErrorKind::kLink, server.badMail() / "m",
                  "open");
  }
  EXPECT_EQ(dir->Status("m")->kind, FileKind::kLink);
  PretendReparsePoint("sub");
  ExpectFailure([&] { dir->OpenDirectory("sub"); }, ErrorKind::kLink, server.badMail() / "sub",
                "directory");
  EXPECT_EQ(dir->Status("sub")->kind, FileKind::kLink);
}

TEST_F(NativeFileSystemWin32, EveryFailingCallNamesItsFile) {
  server.Park("m", "A=1");
  const auto commands = files.OpenDirectory(server.badMail());
  const auto messages = commands->OpenDirectory("messages");
  const auto outbound = files.OpenDirectory(server.outbound());
  const fs::path command = server.badMail() / "m";
  const fs::path message = server.badMail() / "messages" / "m";
  std::unique_ptr<OutputFile> copy;
  const auto delete_both = [&] {
    const auto first = messages->Open("m", Access::kReadAndDelete);
    const auto second = commands->Open("m", Access::kReadAndDelete);
    files.DeleteOpened({{*messages, "m", *first}, {*commands, "m", *second}});
  };
  const struct {
    const char* what;
    std::function<void()> fail;
    std::function<void()> act;
    ErrorKind kind;
    fs::path path;
  } cases[] = {
      {"open",
       [] {
         Calls().NtCreateFile = [](PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK,
                                   PLARGE_INTEGER, ULONG, ULONG, ULONG, ULONG, PVOID,
                                   ULONG) { return kAccessDenied; };
       },
       [&] { commands->Open("m", Access::kRead); }, ErrorKind::kAccessDenied, command},
      {"read",
       [] {
         Calls().ReadFile = [](HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED) -> BOOL {
           SetLastError(ERROR_READ_FAULT);
           return FALSE;
         };
       },
       [&] { ReadWhole(*messages->Open("m", Access::kRead)); }, ErrorKind::kOther, message},
      {"write",
       [] {
         Calls().WriteFile = [](HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED) -> BOOL {
           SetLastError(ERROR_DISK_FULL);
           return FALSE;
         };
       },
       [&] {
         copy = outbound->CreateTemporary();
         copy->Write("x", 1);
       },
       ErrorKind::kNoSpace,
       {}},
      {"flush", [] { Calls().FlushFileBuffers = FailingFlush; },
       [&] { messages->FlushFiles({"m"}); }, ErrorKind::kOther, message},
      {"flush of the names", [] { Calls().FlushFileBuffers = FailingFlush; },
       [&] { messages->FlushNames(); }, ErrorKind::kOther, server.badMail() / "messages"},
      {"rename",
       [] {
         Calls().NtSetInformationFile = [](HANDLE file, PIO_STATUS_BLOCK io, PVOID info, ULONG size,
                                           FILE_INFORMATION_CLASS kind) -> NTSTATUS {
           if (kind == FileRenameInformation) return kAccessDenied;
           return PlatformCalls().NtSetInformationFile(file, io, info, size, kind);
         };
       },
       [&] { messages->Rename("m", *outbound, "m", ExistingName::kReplace); },
       ErrorKind::kAccessDenied, server.outbound() / "m"},
      {"status",
       [] {
         Calls().NtQueryInformationFile = [](HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG,
                                             FILE_INFORMATION_CLASS) { return kAccessDenied; };
       },
       [&] { messages->Status("m"); }, ErrorKind::kAccessDenied, message},
      // The second file cannot be marked: the first is unmarked, and both stay.
      {"delete",
       [] {
         doubles.marks = 0;
         Calls().NtSetInformationFile = [](HANDLE file, PIO_STATUS_BLOCK io, PVOID info, ULONG size,
                                           FILE_INFORMATION_CLASS kind) -> NTSTATUS {
           const bool marks = (kind == FileDispositionInformation &&
                               static_cast<FILE_DISPOSITION_INFORMATION*>(info)->DoDeleteFile) ||
                              (kind == kDispositionEx && (*static_cast<ULONG*>(info) & 1) != 0);
           const NTSTATUS status =
               marks && doubles.marks == 1
                   ? kCannotDelete
                   : PlatformCalls().NtSetInformationFile(file, io, info, size, kind);
           if (marks && status != kNotImplemented && status != kNotSupported) ++doubles.marks;
           return status;
         };
       },
       delete_both, ErrorKind::kAccessDenied, command},
  };
  for (const auto& c : cases) {
    c.fail();
    const auto error = FailureOf(c.act);
    Calls() = PlatformCalls();
    ASSERT_TRUE(error) << c.what << ": nothing failed";
    EXPECT_EQ(error->kind(), c.kind) << c.what << ": " << error->what();
    // The write's file is the temporary the row made.
    EXPECT_EQ(error->path(), PathText(c.path.empty() ? copy->path() : c.path)) << c.what;
    copy.reset();
    EXPECT_EQ(ReadFile(command), "A=1") << c.what;
    EXPECT_EQ(ReadFile(message), "body") << c.what;
  }
}

TEST_F(NativeFileSystemWin32, AShortReadIsReadOnToTheEnd) {
  server.Park("m", "A=1", "a body longer than a read");
  const auto messages = files.OpenDirectory(server.badMail() / "messages");
  Calls().ReadFile = [](HANDLE file, LPVOID buffer, DWORD size, LPDWORD got,
                        LPOVERLAPPED overlapped) -> BOOL {
    return PlatformCalls().ReadFile(file, buffer, std::min<DWORD>(size, 3), got, overlapped);
  };
  const auto file = messages->Open("m", Access::kRead);
  char bytes[16];
  EXPECT_EQ(file->Read(bytes, sizeof bytes), 3u);
  file->Rewind();
  EXPECT_EQ(ReadWhole(*file), "a body longer than a read");
}

}  // namespace
}  // namespace velmoth
