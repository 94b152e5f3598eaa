// Command files and names no well-behaved server writes, through the scan and the
// requeue: each is listed or left out as it should be, and a requeued one arrives
// with every line kept, CR LF after each and its delivery state reset.
#include <gtest/gtest.h>

#include "support/parked_case.h"

namespace velmoth {
namespace {

using testing::CheckParkedCase;
using testing::kParkedCaseStamp;
using testing::ParkedCase;

// A literal's bytes, NULs and all.
template <std::size_t size>
std::string Bytes(const char (&literal)[size]) {
  return std::string(literal, size - 1);
}

// Every byte value but LF, so that it is one line.
std::string EveryByteButLineFeed() {
  std::string bytes;
  for (int c = 0; c < 256; ++c) {
    if (c != '\n') bytes += static_cast<char>(c);
  }
  return bytes;
}

// "Status=Failed", then `count` - 2 recipient lines, then `last`; LF ends all.
std::string ManyLines(int count, const std::string& last) {
  std::string text = "Status=Failed\r\n";
  for (int i = 2; i < count; ++i) text += "Rcpt=<user" + std::to_string(i) + "@example.net>\r\n";
  return text + last + "\r\n";
}

TEST(HostileInput, OddCommandFilesAndNames) {
  const std::string bytes = EveryByteButLineFeed();
  const std::string stamp = kParkedCaseStamp;
  // The marker starts 7 bytes before the end of the first 64 KiB block.
  const std::string straddling = "X-Pad=" + std::string(65536 - 13, 'p') + "Status=Spooling\r\n";
  const std::string longValue(100000, 'x');
  const ParkedCase cases[] = {
      {.what = "empty", .name = "empty", .command = "", .outbound = ""},
      {.what = "binary, every byte value",
       .name = "binary",
       .command = bytes + "\n" + bytes,
       .outbound = bytes + "\r\n" + bytes + "\r\n"},
      {.what = "NUL bytes within lines and after the last",
       .name = "with nuls",
       .command = Bytes("Status=Failed\0\0\r\nRetries=\0 3\r\nX-Data=a\0b\r\n\0\0"),
       .outbound = Bytes("Status=Unsent\r\nRetries=0\r\nX-Data=a\0b\r\n\0\0\r\n")},
      {.what = "a marker behind NUL bytes",
       .name = "marker behind nuls",
       .command = Bytes("X-Data=\0\0\r\nX-Note=\0Status=Spooling\r\n"),
       .leftOut = LeftOutReason::kSpooling,
       .outcome = RequeueOutcome::kNoLongerCandidate},
      {.what = "markers cut by a NUL byte are none",
       .name = "cut markers",
       .command = Bytes("Status=Spoo\0ling\r\nCommandType=N\0DR\r\n"),
       .outbound = Bytes("Status=Unsent\r\nCommandType=N\0DR\r\n")},
      {.what = "CR alone ends no line",
       .name = "cr only",
       .command = "CommandType=SMTP\rStatus=Failed\rRetries=4\r",
       .outbound = "CommandType=SMTP\rStatus=Failed\rRetries=4\r\r\n"},
      {.what = "CR alone, a marker after it",
       .name = "cr marker",
       .command = "X-Id=1\rstatus=spooling\r",
       .leftOut = LeftOutReason::kSpooling,
       .outcome = RequeueOutcome::kNoLongerCandidate},
      {.what = "no line end after the last line",
       .name = "unended",
       .command = "Status=Failed\r\nRetries=2",
       .outbound = "Status=Unsent\r\nRetries=0\r\n"},
      {.what = "LF alone ends lines",
       .name = "lf only",
       .command = "Status=Failed\nServer=mx\nX=1\n",
       .outbound = "Status=Unsent\r\nServer=\r\nX=1\r\n"},
      {.what = "100,000 lines",
       .name = "long list",
       .command = ManyLines(100000, "Retries=9"),
       .outbound = "Status=Unsent" + ManyLines(100000, "Retries=0").substr(13)},
      {.what = "100,000 lines, the marker on the last",
       .name = "late marker",
       .command = ManyLines(100000, "Status=Spooling"),
       .leftOut = LeftOutReason::kSpooling,
       .outcome = RequeueOutcome::kNoLongerCandidate},
      {.what = "a marker in odd case in the middle of a line",
       .name = "odd case",
       .command = "X-Note: was sTaTuS=sPoOlInG once\r\n",
       .leftOut = LeftOutReason::kSpooling,
       .outcome = RequeueOutcome::kNoLongerCandidate},
      {.what = "a report marker within an address",
       .name = "in address",
       .command = "To=<commandtype=ndr@example.net>\r\n",
       .leftOut = LeftOutReason::kNonDeliveryReport,
       .outcome = RequeueOutcome::kNoLongerCandidate},
      {.what = "a marker across the end of a 64 KiB block",
       .name = "straddling",
       .command = straddling,
       .leftOut = LeftOutReason::kSpooling,
       .outcome = RequeueOutcome::kNoLongerCandidate},
      {.what = "blanks around \"=\" make no marker",
       .name = "blank markers",
       .command = "Status = Spooling\r\nCommandType= NDR\r\n",
       .outbound = "Status = Spooling\r\nCommandType= NDR\r\n"},
      {.what = "keys with blanks are other keys",
       .name = "blank keys",
       .command = " Status=Failed\r\nRetries =7\r\nServer\t=mx\r\nNextSendTime= 5\r\n",
       .outbound = " Status=Failed\r\nRetries =7\r\nServer\t=mx\r\nNextSendTime=" + stamp + "\r\n"},
      {.what = "the five keys in any case, with values of any length",
       .name = "any case",
       .command = "status=failed\r\nRETRIES=99\r\nserver=" + longValue +
                  "\r\nTimeAcquired=\r\nnextsendtime=1\r\n",
       .outbound = "Status=Unsent\r\nRetries=0\r\nServer=\r\nTimeAcquired=" + stamp +
                   "\r\nNextSendTime=" + stamp + "\r\n"},
      {.what = "a letter that folds to S outside ASCII makes no marker",
       .name = "long s",
       .command = "\xC5\xBFtatus=spooling",
       .outbound = "\xC5\xBFtatus=spooling\r\n"},
      {.what = "blanks in the name",
       .name = "two  blanks inside",
       .command = "Status=Failed",
       .outbound = "Status=Unsent\r\n"},
      {.what = "shell characters in the name",
       .name = "a;b $HOME $(id) `x` &!",
       .command = "Status=Failed",
       .outbound = "Status=Unsent\r\n"},
      {.what = "dots in the name",
       .name = "..x..y",
       .command = "Status=Failed",
       .outbound = "Status=Unsent\r\n"},
      {.what = "a name like the requeue's own temporary files",
       .name = ".velmoth-0123456789abcdef.tmp",
       .command = "Status=Failed",
       .outbound = "Status=Unsent\r\n"},
  };
  for (const ParkedCase& c : cases) CheckParkedCase(c);
}

}  // namespace
}  // namespace velmoth
