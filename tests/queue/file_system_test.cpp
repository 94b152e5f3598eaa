// Line reading and writing, and the failures of the file operations: each one
// must carry the path it is about.
#include "queue/file_system.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "support/mail_server.h"

namespace velmoth {
namespace {

using testing::MailServer;
using testing::ReadFile;
using testing::WriteFile;

std::vector<std::string> ReadLines(const fs::path& path) {
  LineReader reader(path);
  std::vector<std::string> lines;
  while (!reader.AtEnd()) lines.push_back(reader.ReadLine());
  return lines;
}

TEST(LineReader, SplitsAtLineFeedAndPassesOtherBytesThrough) {
  MailServer server;
  const std::string longLine(200000, 'L');
  const std::string nearBlock(65535, 'a');
  const struct {
    std::string bytes;
    std::vector<std::string> lines;
  } cases[] = {
      {"", {}},
      {"a", {"a"}},
      {"a\n", {"a"}},
      {"a\r\nb\r\n", {"a", "b"}},
      {"a\r\nb", {"a", "b"}},
      {"\n\r\n", {"", ""}},
      {"a\rb\n", {"a\rb"}},
      {"a\r", {"a\r"}},
      {"a\r\r\n", {"a\r"}},
      {std::string("n\0l\xfe\n", 5), {std::string("n\0l\xfe", 4)}},
      {longLine + "\r\n" + longLine, {longLine, longLine}},
      {nearBlock + "\r\nb", {nearBlock, "b"}},
  };
  for (const auto& c : cases) {
    WriteFile(server.badMail() / "f", c.bytes);
    EXPECT_EQ(ReadLines(server.badMail() / "f"), c.lines) << c.bytes.substr(0, 20);
  }
}

TEST(LineWriter, EndsEveryLineWithCrLf) {
  MailServer server;
  const auto path = server.outbound() / "f";
  WriteFile(path, "old content that is longer than the new one");
  LineWriter writer(path);
  for (const char* line : {"Status=Unsent", "", "a\rb"}) writer.WriteLine(line);
  writer.Close();
  EXPECT_EQ(ReadFile(path), "Status=Unsent\r\n\r\na\rb\r\n");
}

TEST(NativeFileSystem, CopyOverwritesAnExistingFile) {
  MailServer server;
  NativeFileSystem files;
  WriteFile(server.badMail() / "m", "new");
  WriteFile(server.outbound() / "m", "older and longer");
  files.Copy(server.badMail() / "m", server.outbound() / "m");
  EXPECT_EQ(ReadFile(server.outbound() / "m"), "new");
  EXPECT_EQ(files.Size(server.outbound() / "m"), 3u);
}

TEST(NativeFileSystem, ExistsIsFalseForMissingFilesAndDirectories) {
  MailServer server;
  NativeFileSystem files;
  EXPECT_FALSE(files.Exists(server.badMail() / "missing"));
  EXPECT_FALSE(files.Exists(server.badMail() / "missing" / "deeper"));
  EXPECT_FALSE(files.Exists(server.badMail() / "messages"));
  WriteFile(server.badMail() / "present", "");
  EXPECT_TRUE(files.Exists(server.badMail() / "present"));
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
      {"size", [&] { files.Size(missing); }, missing},
      {"copy", [&] { files.Copy(missing, elsewhere); }, missing},
      {"delete", [&] { files.Delete(missing); }, missing},
      {"list", [&] { files.ListFiles(missing); }, missing},
      {"read", [&] { LineReader reader(missing); }, missing},
      {"write", [&] { LineWriter writer(missing / "x"); }, missing / "x"},
      {"rename", [&] { files.Rename(missing, elsewhere); }, elsewhere},
  };
  for (const auto& c : cases) {
    try {
      c.call();
      ADD_FAILURE() << c.what << ": no error";
    } catch (const FileError& error) {
      EXPECT_TRUE(IsFileNotFound(error)) << c.what << ": " << error.what();
      EXPECT_EQ(error.path(), PathText(c.path)) << c.what;
      EXPECT_FALSE(error.description().empty()) << c.what;
    }
  }
  EXPECT_FALSE(files.Exists(elsewhere));
}

TEST(NativeFileSystem, ListsOnlyTheFilesDirectlyInside) {
  MailServer server;
  NativeFileSystem files;
  server.Park("one", "A=1");
  server.Park("two words", "A=2");
  fs::create_directory(server.badMail() / "sub");
  WriteFile(server.badMail() / "sub" / "deeper", "");
  std::vector<std::string> names;
  for (const auto& file : files.ListFiles(server.badMail())) {
    names.push_back(file.name);
    EXPECT_EQ(file.path, server.badMail() / PathFromText(file.name));
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"one", "two words"}));
}

}  // namespace
}  // namespace velmoth
