// The file layer on either platform: listings, reads, exclusive temporary files,
// renames over existing names, deletion of the very files opened, and failures
// that name the file they are about.
#include "files/file_system.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <set>
#include <thread>

#include "support/mail_server.h"

namespace velmoth {
namespace {

namespace fs = std::filesystem;

using testing::MailServer;
using testing::ReadFile;
using testing::WriteFile;

struct FileSystemTest : ::testing::Test {
  std::unique_ptr<Directory> BadMail() { return files.OpenDirectory(server.badMail()); }
  std::unique_ptr<Directory> Messages() { return BadMail()->OpenDirectory("messages"); }

  MailServer server;
  NativeFileSystem files;
};

TEST_F(FileSystemTest, ADirectoryListsAndOpensOnlyTheFilesDirectlyInside) {
  server.Park("one", "A=1");
  server.Park("two words", "A=22");
  fs::create_directory(server.badMail() / "sub");
  WriteFile(server.badMail() / "sub" / "deeper", "");
  const auto dir = BadMail();
  std::vector<std::string> names;
  for (const auto& entry : dir->Entries()) {
    names.push_back(entry.name);
    EXPECT_EQ(entry.kind, FileKind::kRegular);
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"one", "two words"}));
  EXPECT_EQ(ReadWhole(*dir->Open("two words", Access::kRead)), "A=22");
  EXPECT_EQ(dir->Status("two words")->size, 4u);
  EXPECT_FALSE(dir->Status("missing"));
  EXPECT_EQ(dir->Status("sub")->kind, FileKind::kDirectory);
  EXPECT_EQ(ReadWhole(*dir->OpenDirectory("sub")->Open("deeper", Access::kRead)), "");
}

TEST_F(FileSystemTest, ReadsWholeFilesOfAnySizeAndReadsThemAgainAfterARewind) {
  for (const std::size_t size : {0, 1, 6, 7, 8, 14, 100000}) {
    std::string bytes(size, 'x');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7);
    WriteFile(server.badMail() / "f", bytes);
    const auto file = BadMail()->Open("f", Access::kRead);
    EXPECT_EQ(ReadWhole(*file), bytes) << size;
    file->Rewind();
    EXPECT_EQ(ReadWhole(*file), bytes) << size;
    EXPECT_EQ(file->Status().size, size);
  }
}

TEST_F(FileSystemTest, TemporaryFilesGetNamesNoOtherFileHas) {
  const auto dir = files.OpenDirectory(server.outbound() / "messages");
  std::set<std::string> names;
  for (int i = 0; i < 50; ++i) {
    auto file = dir->CreateTemporary();
    file->Write("x", 1);
    file->Close();
    EXPECT_TRUE(IsTemporaryName(file->name())) << file->name();
    EXPECT_TRUE(names.insert(file->name()).second) << file->name();
  }
  const struct {
    const char* name;
    bool temporary;
  } cases[] = {{".velmoth-0123456789abcdef.tmp", true},
               {".velmoth-.tmp", false},
               {"velmoth-0123.tmp", false},
               {".velmoth-0123.tmpx", false},
               {"m", false}};
  for (const auto& c : cases) EXPECT_EQ(IsTemporaryName(c.name), c.temporary) << c.name;
}

TEST_F(FileSystemTest, RenameReplacesAnExistingFileInAnotherDirectoryInOneStep) {
  WriteFile(server.outbound() / "m", "older and longer");
  const auto outbound = files.OpenDirectory(server.outbound());
  const auto messages = outbound->OpenDirectory("messages");
  std::vector<std::string> written;
  for (int i = 0; i < 10; ++i) {
    auto file = messages->CreateTemporary();
    file->Write("new", 3);
    file->Close();
    written.push_back(file->name());
  }
  // One by one for a few, the whole volume for many.
  messages->FlushFiles({written.front()});
  messages->FlushFiles(written);
  EXPECT_THROW(messages->Rename(written.front(), *outbound, "m", ExistingName::kKeep), FileError);
  messages->Rename(written.front(), *outbound, "m", ExistingName::kReplace);
  outbound->FlushNames();
  EXPECT_EQ(ReadFile(server.outbound() / "m"), "new");
  EXPECT_FALSE(messages->Status(written.front()));
}

// Deletion takes both files or neither, and only the very files opened.
TEST_F(FileSystemTest, DeleteOpenedTakesTheOpenedFilesTogetherOrNone) {
  // Windows lets no one write a file, or put another at its name, while it is
  // open to be deleted; the cases that do so are POSIX's alone.
  const struct {
    const char* what;
    std::function<void(MailServer&)> meanwhile;  // between the open and the delete
    DeleteOutcome outcome;
    std::vector<std::string> left;  // "command" and "message" still there, with their bytes
  } cases[] = {
      {"untouched", [](MailServer&) {}, DeleteOutcome::kDeleted, {}},
      {"message gone",
       [](MailServer& s) { fs::remove(s.badMail() / "messages" / "m"); },
       DeleteOutcome::kDeleted,
       {}},
      {"command moved away and another in its place",
       [](MailServer& s) {
         fs::rename(s.badMail() / "m", s.badMail() / "moved");
         WriteFile(s.badMail() / "m", "Status=Failed, a new one");
       },
       DeleteOutcome::kChanged,
       {"command:Status=Failed, a new one", "message:body"}},
#ifndef _WIN32
      {"both gone",
       [](MailServer& s) {
         fs::remove(s.badMail() / "messages" / "m");
         fs::remove(s.badMail() / "m");
       },
       DeleteOutcome::kGone,
       {}},
      // The opened command file is gone; the new one under its name is not ours.
      {"command replaced",
       [](MailServer& s) {
         fs::remove(s.badMail() / "m");
         WriteFile(s.badMail() / "m", "Status=Failed, a new one");
       },
       DeleteOutcome::kDeleted,
       {"command:Status=Failed, a new one"}},
      {"message rewritten in place",
       [](MailServer& s) {
         std::this_thread::sleep_for(std::chrono::milliseconds(20));
         WriteFile(s.badMail() / "messages" / "m", "new body");
       },
       DeleteOutcome::kChanged,
       {"command:Status=Failed", "message:new body"}},
#endif
      {"command read-only",
       [](MailServer& s) {
         fs::permissions(s.badMail() / "m",
                         fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                         fs::perm_options::remove);
       },
       DeleteOutcome::kReadOnly,
       {"command:Status=Failed", "message:body"}},
  };
  for (const auto& c : cases) {
    server.Park("m", "Status=Failed", "body");
    {
      const auto commands = BadMail();
      const auto messages = commands->OpenDirectory("messages");
      const auto command = commands->Open("m", Access::kReadAndDelete);
      const auto message = messages->Open("m", Access::kReadAndDelete);
      c.meanwhile(server);
      EXPECT_EQ(files.DeleteOpened({{*messages, "m", *message}, {*commands, "m", *command}}),
                c.outcome)
          << c.what;
    }
    std::vector<std::string> left;
    if (fs::exists(server.badMail() / "m"))
      left.push_back("command:" + ReadFile(server.badMail() / "m"));
    if (fs::exists(server.badMail() / "messages" / "m")) {
      left.push_back("message:" + ReadFile(server.badMail() / "messages" / "m"));
    }
    EXPECT_EQ(left, c.left) << c.what;
    // Nothing is left under another name.
    const std::size_t moved = fs::exists(server.badMail() / "moved");
    EXPECT_EQ(testing::EntryNames(server.badMail()).size() +
                  testing::EntryNames(server.badMail() / "messages").size(),
              1 + c.left.size() + moved)
        << c.what;
    for (const fs::path& path : {server.badMail() / "m", server.badMail() / "messages" / "m",
                                 server.badMail() / "moved"}) {
      std::error_code ignored;
      fs::permissions(path, fs::perms::owner_write, fs::perm_options::add, ignored);
      fs::remove(path, ignored);
    }
  }
}

TEST_F(FileSystemTest, FailuresNameTheFileTheyAreAbout) {
  const fs::path missing = server.badMail() / "missing";
  const auto dir = BadMail();
  const struct {
    const char* what;
    std::function<void()> call;
    fs::path path;
  } cases[] = {
      {"open directory", [&] { files.OpenDirectory(missing); }, missing},
      {"open subdirectory", [&] { dir->OpenDirectory("missing"); }, missing},
      {"read", [&] { files.OpenForReading(missing); }, missing},
      {"read in directory", [&] { dir->Open("missing", Access::kRead); }, missing},
      {"flush", [&] { dir->FlushFiles({"missing"}); }, missing},
      {"rename", [&] { dir->Rename("missing", *dir, "elsewhere", ExistingName::kReplace); },
       missing},
      {"a path for a name", [&] { dir->Open("../Queue", Access::kRead); }, server.badMail()},
  };
  for (const auto& c : cases) {
    try {
      c.call();
      ADD_FAILURE() << c.what << ": no error";
    } catch (const FileError& error) {
      EXPECT_TRUE(IsFileNotFound(error)) << c.what << ": " << error.what();
      EXPECT_TRUE(error.path().starts_with(PathText(c.path))) << c.what << ": " << error.path();
      EXPECT_FALSE(error.description().empty()) << c.what;
    }
  }
}

}  // namespace
}  // namespace velmoth
