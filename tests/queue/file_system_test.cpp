// The file layer on either platform: listings, reads, exclusive temporary files,
// renames over existing names, and failures that name the file they are about.
#include "files/file_system.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>

#include "support/mail_server.h"

namespace velmoth {
namespace {

using testing::MailServer;
using testing::ReadFile;
using testing::WriteFile;

std::string ReadAll(InputFile& file) {
  std::string bytes;
  char buffer[7];
  ReadBlocks(file, buffer, sizeof buffer,
             [&](const char* data, std::size_t size) { bytes.append(data, size); });
  return bytes;
}

TEST(NativeFileSystem, ADirectoryListsAndOpensOnlyTheFilesDirectlyInside) {
  MailServer server;
  NativeFileSystem files;
  server.Park("one", "A=1");
  server.Park("two words", "A=22");
  fs::create_directory(server.badMail() / "sub");
  WriteFile(server.badMail() / "sub" / "deeper", "");
  const auto dir = files.OpenDirectory(server.badMail());
  std::vector<std::string> names;
  for (const auto& entry : dir->Entries()) {
    names.push_back(entry.name);
    EXPECT_EQ(entry.kind, FileKind::kRegular);
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"one", "two words"}));
  EXPECT_EQ(ReadAll(*dir->Open("two words")), "A=22");
  EXPECT_EQ(dir->Status("two words")->size, 4u);
  EXPECT_FALSE(dir->Status("missing"));
  EXPECT_EQ(dir->Status("sub")->kind, FileKind::kOther);
}

TEST(NativeFileSystem, ReadsWholeFilesOfAnySizeBlockByBlock) {
  MailServer server;
  NativeFileSystem files;
  for (const std::size_t size : {0, 1, 6, 7, 8, 14, 100000}) {
    std::string bytes(size, 'x');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7);
    WriteFile(server.badMail() / "f", bytes);
    const auto file = files.OpenForReading(server.badMail() / "f");
    EXPECT_EQ(ReadAll(*file), bytes) << size;
    EXPECT_EQ(file->Status().size, size);
  }
}

TEST(NativeFileSystem, TemporaryFilesGetNamesNoOtherFileHas) {
  MailServer server;
  NativeFileSystem files;
  std::set<std::string> names;
  for (int i = 0; i < 50; ++i) {
    auto file = files.CreateTemporary(server.outbound() / "messages");
    file->Write("x", 1);
    file->Close();
    const std::string name = PathText(file->path().filename());
    EXPECT_TRUE(IsTemporaryName(name)) << name;
    EXPECT_TRUE(names.insert(name).second) << name;
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

TEST(NativeFileSystem, RenameReplacesAnExistingFileInOneStep) {
  MailServer server;
  NativeFileSystem files;
  WriteFile(server.outbound() / "m", "older and longer");
  auto file = files.CreateTemporary(server.outbound() / "messages");
  file->Write("new", 3);
  file->Close();
  files.Flush({file->path()}, {server.outbound() / "messages"});
  files.Rename(file->path(), server.outbound() / "m");
  files.Flush({}, {server.outbound()});
  EXPECT_EQ(ReadFile(server.outbound() / "m"), "new");
  EXPECT_FALSE(fs::exists(file->path()));
}

TEST(NativeFileSystem, FlushingManyFilesAtOnceWorks) {
  MailServer server;
  NativeFileSystem files;
  std::vector<fs::path> written;
  for (int i = 0; i < 10; ++i) {
    auto file = files.CreateTemporary(server.outbound() / "messages");
    file->Close();
    written.push_back(file->path());
  }
  EXPECT_NO_THROW(files.Flush(written, {server.outbound(), server.outbound() / "messages"}));
}

TEST(NativeFileSystem, FailuresNameTheFileTheyAreAbout) {
  MailServer server;
  NativeFileSystem files;
  const fs::path missing = server.badMail() / "missing";
  const fs::path elsewhere = server.outbound() / "copy";
  const struct {
    const char* what;
    std::function<void()> call;
    fs::path path;
  } cases[] = {
      {"open directory", [&] { files.OpenDirectory(missing); }, missing},
      {"read", [&] { files.OpenForReading(missing); }, missing},
      {"read in directory", [&] { files.OpenDirectory(server.badMail())->Open("missing"); },
       missing},
      {"create", [&] { files.CreateTemporary(missing); }, missing},
      {"flush", [&] { files.Flush({missing}, {}); }, missing},
      {"delete", [&] { files.Delete(missing); }, missing},
      {"rename", [&] { files.Rename(missing, elsewhere); }, elsewhere},
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
