// The outbound queue's delivery states: the values as the command file writes
// them, however long its lines, and a requeued message as the server finds it.
#include "queue/outbound_scan.h"

#include <gtest/gtest.h>

#include "queue/requeue.h"
#include "support/mail_server.h"
#include "support/memory_files.h"

namespace velmoth {
namespace {

using testing::MailServer;
using testing::StringInputFile;

TEST(ReadDeliveryState, TakesTheFirstValueOfEachKeyAsWritten) {
  const std::string longValue(100000, 'x');
  const struct {
    std::string command;
    DeliveryState state;
  } cases[] = {
      {"Status=Retry\r\nRetries=3\r\nNextSendTime=1039243145\r\n",
       {"Retry", "3", "1039243145", 1039243145}},
      {"status=unsent\nRETRIES=0\nnextsendtime=\nStatus=Later\nX=Retries=9",
       {"unsent", "0", "", std::nullopt}},
      {"CommandType=SMTP\r\nNextSendTime=soon\r\n",
       {std::nullopt, std::nullopt, "soon", std::nullopt}},
      {"Status=" + longValue + "\r\nRetries=1",
       {longValue.substr(0, kStateValueLimit), "1", {}, {}}},
      {"", {}},
  };
  for (const auto& c : cases) {
    StringInputFile file(c.command);
    const DeliveryState state = ReadDeliveryState(file);
    EXPECT_EQ(state.status, c.state.status) << c.command.substr(0, 40);
    EXPECT_EQ(state.retries, c.state.retries) << c.command.substr(0, 40);
    EXPECT_EQ(state.nextSendTime, c.state.nextSendTime) << c.command.substr(0, 40);
    EXPECT_EQ(state.nextSendSeconds, c.state.nextSendSeconds) << c.command.substr(0, 40);
  }
}

TEST(ScanOutbound, ShowsARequeuedMessageAsUnsentAndChangesNothing) {
  MailServer server;
  server.Park("m", "Status=Failed\r\nRetries=5\r\nNextSendTime=1\r\n", "twelve bytes");
  NativeFileSystem files;
  RequeueOptions options;
  options.clock = [] { return std::int64_t{1039243145}; };
  ASSERT_EQ(Requeue({"m"}, options, files, server.locations())[0].outcome,
            RequeueOutcome::kRequeued);
  const auto entries = ScanOutbound(files, server.locations());
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, "m");
  EXPECT_EQ(entries[0].size, 12u);
  EXPECT_EQ(entries[0].state.status, "Unsent");
  EXPECT_EQ(entries[0].state.retries, "0");
  EXPECT_EQ(entries[0].state.nextSendSeconds, 1039243145);
  EXPECT_EQ(testing::ReadFile(server.outbound() / "m"),
            "Status=Unsent\r\nRetries=0\r\nNextSendTime=1039243145\r\n");
}

}  // namespace
}  // namespace velmoth
