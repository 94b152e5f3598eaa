// A parked message's details: every field read, each byte shown safely, and the
// file that cannot be read said so while the other is still shown.
#include "queue/message_details.h"

#include <gtest/gtest.h>

#include "support/mail_server.h"

namespace velmoth {
namespace {

namespace fs = std::filesystem;

using testing::MailServer;

TEST(ShowSafely, KeepsLinesAndTextAndShowsEveryOtherByteAsASign) {
  const struct {
    std::string bytes, shown;
  } cases[] = {
      {"Status=Failed\r\nRetries=2\n", "Status=Failed\nRetries=2\n"},
      {"tab\there, no end", "tab\there, no end\n"},
      {std::string("nul\0bell\x07"
                   "esc\x1b[2J del\x7f",
                   21),
       "nul\xe2\x90\x80"
       "bell\xe2\x90\x87"
       "esc\xe2\x90\x9b[2J del\xe2\x90\xa1\n"},
      {"lone\rCR caf\xc3\xa9 raw\xff",
       "lone\xe2\x90\x8d"
       "CR caf\xc3\xa9 raw\\xFF\n"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(ShowSafely(c.bytes), c.shown) << c.bytes;
}

TEST(ReadMessageDetails, ReadsBothFilesAndSaysWhyOneCannotBe) {
  MailServer server;
  server.Park("m", "Status=Failed\r\nX=\x1b[31m\r\n",
              "From: =?UTF-8?Q?J=C3=B6rg?= <j@example.org>\r\nTo: a@example.net\r\n"
              "Cc: b@example.net\r\nSubject: Hi\r\nDate: Mon, 7 Dec 2026 08:00:00 +0100\r\n"
              "Message-ID: <42@example.org>\r\n\r\nbody");
  server.Park("no message", std::string(kCommandShownLimit + 10, 'x'), nullptr);
  NativeFileSystem files;
  const MessageDetails m = ReadMessageDetails(files, server.locations(), "m");
  ASSERT_TRUE(m.header);
  EXPECT_EQ(m.header->from, "Jörg <j@example.org>");
  EXPECT_EQ(m.header->cc, "b@example.net");
  EXPECT_EQ(m.header->messageId, "<42@example.org>");
  EXPECT_EQ(m.commandLines, "Status=Failed\nX=\xe2\x90\x9b[31m\n");
  EXPECT_TRUE(m.headerBlock.starts_with("From: =?UTF-8?Q?J=C3=B6rg?= <j@example.org>\nTo: "));
  EXPECT_TRUE(m.size && m.messageDate && m.commandDate);
  EXPECT_EQ(m.commandProblem + m.messageProblem, "");

  const MessageDetails alone = ReadMessageDetails(files, server.locations(), "no message");
  EXPECT_EQ(alone.messageProblem, "The file is no longer there.");
  EXPECT_FALSE(alone.header);
  EXPECT_TRUE(alone.commandLines.ends_with("\n… (10 more bytes not shown)\n"));
  const MessageDetails gone = ReadMessageDetails(files, server.locations(), "gone");
  EXPECT_EQ(gone.commandProblem, "The file is no longer there.");
}

}  // namespace
}  // namespace velmoth
