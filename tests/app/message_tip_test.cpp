// The tooltip text of a row, over message files parked in a scratch Bad Mail
// directory: the fields shown and how, and the one line that stands in for a
// file that vanished or cannot be read.
#include "app/message_tip.h"

#include <gtest/gtest.h>

#include "support/mail_server.h"
#include "support/recording_file_system.h"

namespace velmoth {
namespace {

namespace fs = std::filesystem;

using testing::MailServer;
using testing::RecordingFileSystem;
using testing::WriteFile;

const std::string kLongSubject(150, 'x');

TEST(MessageTip, ShowsTheFieldsOfTheMessageFileOrWhyItCannot) {
  const struct {
    std::string what;
    std::optional<std::string> message;  // none: the file is not there
    std::optional<FileError> fault;
    std::string tip;
  } cases[] = {
      {"every field",
       "From: Ann <ann@example.org>\r\nTo: bob@example.net\r\nCc: cy@example.net\r\n"
       "Subject: Rates\r\nDate: Mon, 7 Dec 2026 08:00:00 +0100\r\n\r\nbody",
       std::nullopt,
       "From: Ann <ann@example.org>\nTo: bob@example.net\nCc: cy@example.net\nSubject: Rates\n"
       "Date: Mon, 7 Dec 2026 08:00:00 +0100"},
      {"no Cc, no Date",
       "subject: Rates\nTO: bob@example.net\nFrom: ann@example.org\n\nCc: not a header\n",
       std::nullopt, "From: ann@example.org\nTo: bob@example.net\nSubject: Rates\nDate: (none)"},
      {"no header at all", "just a body", std::nullopt,
       "From: (none)\nTo: (none)\nSubject: (none)\nDate: (none)"},
      {"encoded words",
       "From: =?ISO-8859-1?Q?J=F6rg_M=FCller?= <jm@example.de>\n"
       "To: =?UTF-8?B?0JDQvdC90LA=?= <anna@example.ru>\nSubject: =?UTF-8?Q?=CE=A3=CF=8D=CE=BD?=\n",
       std::nullopt,
       "From: Jörg Müller <jm@example.de>\nTo: Анна <anna@example.ru>\nSubject: Σύν\n"
       "Date: (none)"},
      {"a long field", "To: a@example.net\nSubject: " + kLongSubject + "\n", std::nullopt,
       "From: (none)\nTo: a@example.net\nSubject: " + kLongSubject.substr(0, kTipFieldWidth - 1) +
           "…\nDate: (none)"},
      {"vanished", std::nullopt, std::nullopt, "The message file is no longer there"},
      {"unreadable", "From: a",
       FileError(ErrorKind::kAccessDenied, kErrorAccessDenied, "Access is denied", "here"),
       "The message file cannot be read: Access is denied"},
  };
  for (const auto& c : cases) {
    MailServer server;
    RecordingFileSystem files(server.mail());
    if (c.message) WriteFile(server.badMail() / "messages" / "parked.eml", *c.message);
    files.fault = [&c](const std::string& step, const fs::path&) {
      return step == "open" ? c.fault : std::nullopt;
    };
    EXPECT_EQ(MessageTip(files, server.locations(), "parked.eml"), c.tip) << c.what;
  }
}

}  // namespace
}  // namespace velmoth
