// The line key, the candidate test and the rewrite of command-file lines.
#include "queue/command_file.h"

#include <gtest/gtest.h>

#include "support/command_file_model.h"
#include "support/memory_files.h"

namespace velmoth {
namespace {

using testing::ModelRewrite;
using testing::StringInputFile;
using testing::StringOutputFile;

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

CommandFileVerdict VerdictOf(const std::string& bytes) {
  StringInputFile file(bytes);
  return ReadCommandFileVerdict(file);
}

TEST(ReadCommandFileVerdict, MarkersAnywhereInAnyCaseExclude) {
  using enum CommandFileVerdict;
  const std::string filler(70000, 'x');  // pushes a marker across a read-block boundary
  const struct {
    const char* name;
    std::string content;
    CommandFileVerdict verdict;
  } cases[] = {
      {"empty", "", kCandidate},
      {"failed", "Status=Failed\r\nCommandType=SMTP\r\n", kCandidate},
      {"spooling", "Status=Spooling\r\n", kSpooling},
      {"spooling-lower", "status=SPOOLING\r\n", kSpooling},
      {"spooling-inside", "X=Status=Spooling\r\n", kSpooling},
      {"ndr", "CommandType=NDR\r\n", kNonDeliveryReport},
      {"ndr2", "commandtype=ndr2", kNonDeliveryReport},
      {"both", "CommandType=NDR\r\nStatus=Spooling\r\nRetries=1\r\n", kSpooling},
      {"split-by-line-end", "Status=\r\nSpooling\r\n", kCandidate},
      {"blank-before-equals", "Status =Spooling\r\n", kCandidate},
      {"long-lines", filler + "\r\n" + filler + "CommandType=NDR", kNonDeliveryReport},
      {"nul-and-high-bytes", std::string("A=\0\xff\r\nStatus=Sent\r\n", 17), kCandidate},
  };
  for (const auto& c : cases) EXPECT_EQ(VerdictOf(c.content), c.verdict) << c.name;
}

TEST(ReadCommandFileVerdict, FindsAMarkerAtAnyOffsetAroundTheReadBlockSize) {
  for (std::size_t offset = 65520; offset <= 65560; ++offset) {
    EXPECT_EQ(VerdictOf(std::string(offset, 'y') + "commandType=Ndr\r\n" + std::string(100, 'z')),
              CommandFileVerdict::kNonDeliveryReport)
        << offset;
  }
}

TEST(RewriteCommandFile, WritesWhatTheLineByLineRewriteWrites) {
  const std::string block(65536, 'b');
  const std::string longLine(200000, 'L');
  const std::string cases[] = {
      "",
      "a",
      "a\n",
      "a\r\nb\r\n",
      "a\r\nb",
      "\n\r\n",
      "a\rb\n",
      "a\r",
      "a\r\r\n",
      "\r",
      std::string("n\0l\xfe\n", 5),
      "ABCDEFGHIJKL\r\nABCDEFGHIJKLM\r\nABCDEFGHIJK=\r\n",  // lines around the longest key
      "Status=Failed\r\nretries=7\r\nServer=mx\r\nNextSendTime=1\r\nTimeAcquired=2\r\n",
      "Retries\r\nRetries =3\r\n Status=x\r\nSubject=Status=Failed\r\n=\r\n",
      "NextSendTime=" + longLine + "\r\nTo=" + longLine,
      longLine + "\r\n" + longLine,
      block.substr(0, 65535) + "\r\nStatus=Failed",    // CR LF across the block boundary
      block.substr(0, 65535) + "\r" + "x\r\n",         // a lone CR at the boundary
      block.substr(0, 65534) + "\nStatus=Failed\r\n",  // a key across the boundary
      block.substr(0, 65530) + "\nRetries=1\r\n",
      block + "\r\n",
  };
  int stamps = 0;
  const StampProducer stamp = [&stamps] { return std::to_string(++stamps); };
  for (const std::string& bytes : cases) {
    stamps = 0;
    const std::string expected = ModelRewrite(bytes, stamp);
    stamps = 0;
    StringInputFile source(bytes);
    StringOutputFile destination;
    RewriteCommandFile(source, destination, stamp);
    EXPECT_EQ(destination.bytes, expected) << ::testing::PrintToString(bytes.substr(0, 40));
  }
}

TEST(RewriteCommandFile, ReportsTheVerdictOfTheBytesItRewrote) {
  StringInputFile source("Status=Spooling\r\nRetries=2\r\n");
  StringOutputFile destination;
  EXPECT_EQ(RewriteCommandFile(source, destination, [] { return std::string("0"); }),
            CommandFileVerdict::kSpooling);
  EXPECT_EQ(destination.bytes, "Status=Unsent\r\nRetries=0\r\n");
}

}  // namespace
}  // namespace velmoth
