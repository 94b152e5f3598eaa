// The header reader against messages Python's email package wrote, in the
// charsets mail comes in, and against broken and hostile header blocks.
#include "queue/message_header.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "support/memory_files.h"

namespace velmoth {
namespace {

namespace fs = std::filesystem;

using testing::StringInputFile;

// The fields one line each, as the fixtures' .expected files hold them.
std::string Lines(const MessageHeader& header) {
  return "From: " + header.from + "\nTo: " + header.to + "\nCc: " + header.cc +
         "\nSubject: " + header.subject + "\nDate: " + header.date + "\n";
}

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(ReadMessageHeader, ReadsWhatPythonsEmailPackageWroteInEveryCharset) {
  // Made by message_headers/make_fixtures.py; the same on Linux and under Wine.
  const char* const names[] = {
      "utf-8-b",      "utf-8-q",      "us-ascii-q",   "iso-8859-1",   "iso-8859-2",
      "iso-8859-3",   "iso-8859-4",   "iso-8859-5",   "iso-8859-6",   "iso-8859-7",
      "iso-8859-8",   "iso-8859-9",   "iso-8859-10",  "iso-8859-11",  "iso-8859-13",
      "iso-8859-14",  "iso-8859-15",  "windows-1250", "windows-1251", "windows-1252",
      "windows-1253", "windows-1254", "windows-1255", "windows-1256", "windows-1257",
      "windows-1258", "koi8-r",       "iso-2022-jp",  "gb2312",       "gbk",
      "big5",         "shift_jis",    "euc-kr",       "euc-jp",       "mixed",
      "long-subject", "raw-utf-8"};
  const fs::path dir = fs::absolute(fs::path(__FILE__).parent_path() / "message_headers");
  NativeFileSystem files;
  const auto opened = files.OpenDirectory(dir);
  for (const std::string name : names) {
    const std::string expected = ReadText(dir / (name + ".expected"));
    EXPECT_EQ(Lines(ReadMessageHeader(*opened, name + ".eml")), expected) << name;
  }
}

MessageHeader HeaderOf(std::string bytes) {
  StringInputFile file(std::move(bytes));
  return ReadMessageHeader(file);
}

TEST(ReadMessageHeader, TakesTheFieldsOfTheHeaderBlockOnly) {
  const std::string mbox = "From x@y Tue Jul  1 10:52:37 2003\r\n";
  const struct {
    std::string bytes;
    const char* lines;
  } cases[] = {
      {"", "From: \nTo: \nCc: \nSubject: \nDate: \n"},
      {"Subject: a\r\nTo: b@x", "From: \nTo: b@x\nCc: \nSubject: a\nDate: \n"},
      {"Subject: a\n\nTo: b@x\n", "From: \nTo: \nCc: \nSubject: a\nDate: \n"},
      {"Subject: a\r\n\r\nTo: b@x\r\n", "From: \nTo: \nCc: \nSubject: a\nDate: \n"},
      {"\r\nSubject: a\r\n", "From: \nTo: \nCc: \nSubject: \nDate: \n"},
      {"SUBJECT: one\r\nsubject: two\r\nto: a@x\r\nTO: b@y\r\nCc: c@z\r\ncC:\r\n d@w\r\n",
       "From: \nTo: a@x, b@y\nCc: c@z, d@w\nSubject: one\nDate: \n"},
      {mbox + " x\r\nFrom: real@x\r\nDate: Tue, 1 Jul\r\n 2003\r\n",
       "From: real@x\nTo: \nCc: \nSubject: \nDate: Tue, 1 Jul 2003\n"},
      {"Subject: a\r\ngarbage\r\n b\r\nSubject : c\r\nX-Cc: d\r\nCc : e\r\n",
       "From: \nTo: \nCc: e\nSubject: a\nDate: \n"},
      {"Subject: =?utf-8?q?caf?=\r\n =?utf-8?q?=C3=A9?=\r\nFrom: =?utf-8?b?w6k=?= <e@x>\r\n",
       "From: é <e@x>\nTo: \nCc: \nSubject: café\nDate: \n"},
      {std::string("Subject: a\0b\r\nTo: c\r\n", 21),
       "From: \nTo: c\nCc: \nSubject: a\uFFFDb\nDate: \n"},
  };
  for (const auto& c : cases) EXPECT_EQ(Lines(HeaderOf(c.bytes)), c.lines) << c.bytes;
}

TEST(ReadMessageHeader, FindsTheEmptyLineAtAnyOffsetAroundAReadBoundary) {
  for (std::size_t offset = 16370; offset <= 16400; ++offset) {
    const std::string filler = "X: " + std::string(offset - 5, 'x') + "\r\n";
    EXPECT_EQ(HeaderOf(filler + "\r\nSubject: body\r\n").subject, "") << offset;
    EXPECT_EQ(HeaderOf(filler + "Subject: s\n\nTo: body\n").to, "") << offset;
  }
}

// A message file that counts the bytes read from it.
class CountingInputFile final : public InputFile {
 public:
  explicit CountingInputFile(std::string bytes) : file_(std::move(bytes)) {}
  std::size_t Read(char* buffer, std::size_t size) override {
    const std::size_t got = file_.Read(buffer, size);
    read += got;
    return got;
  }
  void Rewind() override { file_.Rewind(); }
  FileStatus Status() override { return file_.Status(); }
  FileStatus CurrentStatus() override { return file_.Status(); }
  const fs::path& path() const override { return file_.path(); }
  std::size_t read = 0;

 private:
  StringInputFile file_;
};

TEST(ReadMessageHeader, ReadsNoMoreThanTheLimitOfAHugeHeader) {
  std::string fields = "Subject: first\r\n";
  while (fields.size() < 1024 * 1024) fields += "Received: from relay.example.net\r\n";
  const std::string oneField = "Subject: " + std::string(1024 * 1024, 'a');
  CountingInputFile many(fields + "To: late@x\r\n\r\n");
  CountingInputFile one(oneField);
  const MessageHeader manyHeader = ReadMessageHeader(many);
  EXPECT_EQ(manyHeader.subject, "first");
  EXPECT_EQ(manyHeader.to, "");
  EXPECT_EQ(ReadMessageHeader(one).subject, std::string(kMessageHeaderLimit - 9, 'a'));
  EXPECT_EQ(many.read, kMessageHeaderLimit);
  EXPECT_EQ(one.read, kMessageHeaderLimit);
  CountingInputFile small("Subject: s\r\n\r\n" + oneField);
  ReadMessageHeader(small);
  EXPECT_LE(small.read, 16u * 1024);
}

}  // namespace
}  // namespace velmoth
