// The line key, the candidate test and the rewrite of command-file lines.
#include "queue/command_file.h"

#include <gtest/gtest.h>

#include "queue/file_system.h"
#include "support/mail_server.h"

namespace velmoth {
namespace {

using testing::MailServer;
using testing::WriteFile;

TEST(GetLineKey, KeyIsTextUpToFirstEqualsInUpperCase) {
  const struct {
    const char* line;
    const char* key;
  } cases[] = {
      {"Status=Failed", "STATUS="},
      {"status=x=y", "STATUS="},
      {" Status=Unsent", " STATUS="},
      {"Retries =3", "RETRIES ="},
      {"Retries", ""},
      {"", ""},
      {"=value", "="},
      {"nextSendTime=", "NEXTSENDTIME="},
      {"\xe4x=1", "\xe4X="},  // bytes above 127 are never folded
  };
  for (const auto& c : cases) EXPECT_EQ(GetLineKey(c.line), c.key) << c.line;
}

TEST(RewriteLine, ResetsDeliveryStateAndKeepsEverythingElse) {
  const struct {
    const char* line;
    const char* written;
  } cases[] = {
      {"Status=Failed", "Status=Unsent"},
      {"STATUS=spooling", "Status=Unsent"},
      {"retries=7", "Retries=0"},
      {"Retries", "Retries"},
      {"Retries =7", "Retries =7"},
      {" Retries=7", " Retries=7"},
      {"Server=mx1.example.net", "Server="},
      {"NextSendTime=", "NextSendTime=1039243145"},
      {"TimeAcquired=1000", "TimeAcquired=1039243145"},
      {"CommandType=SMTP", "CommandType=SMTP"},
      {"To=<a@example.net>", "To=<a@example.net>"},
      {"", ""},
      {"Subject=Status=Failed", "Subject=Status=Failed"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RewriteLine(c.line, [] { return std::string("1039243145"); }), c.written) << c.line;
  }
}

TEST(RewriteLine, ProducesAFreshStampForEachTimeLineOnly) {
  int calls = 0;
  const StampProducer stamp = [&calls] { return std::to_string(++calls); };
  EXPECT_EQ(RewriteLine("Status=Failed", stamp), "Status=Unsent");
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(RewriteLine("NextSendTime=5", stamp), "NextSendTime=1");
  EXPECT_EQ(RewriteLine("TimeAcquired=5", stamp), "TimeAcquired=2");
}

TEST(IsRequeueCandidate, MarkersAnywhereInAnyCaseExclude) {
  MailServer server;
  const std::string filler(70000, 'x');  // pushes a marker across a read-block boundary
  const struct {
    const char* name;
    std::string content;
    bool candidate;
  } cases[] = {
      {"empty", "", true},
      {"failed", "Status=Failed\r\nCommandType=SMTP\r\n", true},
      {"spooling", "Status=Spooling\r\n", false},
      {"spooling-lower", "status=SPOOLING\r\n", false},
      {"spooling-inside", "X=Status=Spooling\r\n", false},
      {"ndr", "CommandType=NDR\r\n", false},
      {"ndr2", "commandtype=ndr2", false},
      {"both", "CommandType=NDR\r\nStatus=Spooling\r\nRetries=1\r\n", false},
      {"split-by-line-end", "Status=\r\nSpooling\r\n", true},
      {"blank-before-equals", "Status =Spooling\r\n", true},
      {"long-lines", filler + "\r\n" + filler + "CommandType=NDR", false},
      {"nul-and-high-bytes", std::string("A=\0\xff\r\nStatus=Sent\r\n", 17), true},
  };
  for (const auto& c : cases) {
    WriteFile(server.badMail() / c.name, c.content);
    EXPECT_EQ(IsRequeueCandidate(server.badMail() / c.name), c.candidate) << c.name;
  }
}

TEST(IsRequeueCandidate, FindsAMarkerAtAnyOffsetAroundTheReadBlockSize) {
  MailServer server;
  const auto file = server.badMail() / "long";
  for (std::size_t offset = 65520; offset <= 65560; ++offset) {
    WriteFile(file, std::string(offset, 'y') + "commandType=Ndr\r\n" + std::string(100, 'z'));
    EXPECT_FALSE(IsRequeueCandidate(file)) << offset;
  }
}

TEST(IsRequeueCandidate, MissingFileFailsWithItsPath) {
  MailServer server;
  const auto missing = server.badMail() / "gone";
  try {
    IsRequeueCandidate(missing);
    FAIL() << "no error";
  } catch (const FileError& error) {
    EXPECT_TRUE(IsFileNotFound(error));
    EXPECT_EQ(error.path(), PathText(missing));
  }
}

}  // namespace
}  // namespace velmoth
