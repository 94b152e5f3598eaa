// The scan of the Bad Mail directory into the list.
#include "queue/bad_mail_scan.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "support/memory_mail_list.h"
#include "support/mail_server.h"

namespace velmoth {
namespace {

using testing::MailServer;
using testing::WriteFile;

std::vector<std::string> SortedTexts(const MemoryMailList& list) {
  auto texts = list.Texts();
  std::sort(texts.begin(), texts.end());
  return texts;
}

TEST(RefreshMailList, ListsCandidatesThatHaveTheirMessageFile) {
  MailServer server;
  server.Park("ready", "Status=Failed\r\nCommandType=SMTP\r\n", "twelve bytes");
  server.Park("two words", "Status=Retry\r\n", "");
  server.Park("spooling", "Retries=2\r\nstatus=SPOOLING\r\n");
  server.Park("report", "commandtype=Ndr\r\n");
  server.Park("no message", "Status=Failed\r\n", nullptr);
  WriteFile(server.badMail() / "messages" / "orphan", "message without command file");
  fs::create_directory(server.badMail() / "subdir");
  WriteFile(server.badMail() / "subdir" / "nested", "Status=Failed");
  const auto modified = fs::file_time_type::clock::now() - std::chrono::hours(50);
  fs::last_write_time(server.badMail() / "ready", modified);

  MemoryMailList list;
  NativeFileSystem files;
  RefreshMailList(list, files);

  EXPECT_EQ(SortedTexts(list), (std::vector<std::string>{"ready", "two words"}));
  for (const auto& row : list.rows) {
    EXPECT_EQ(row.key, row.text);
    EXPECT_FALSE(row.ticked);
    if (row.text == "ready") {
      EXPECT_EQ(row.size, 12u);
      const auto expected = std::chrono::file_clock::to_sys(modified);
      EXPECT_EQ(row.date, std::chrono::floor<std::chrono::seconds>(expected));
    }
  }
  EXPECT_EQ(list.pointerLog, (std::vector<bool>{true, false}));
}

TEST(RefreshMailList, StartsFromAnEmptyListEveryTime) {
  MailServer server;
  MemoryMailList list;
  list.AddRow("stale", "stale");
  list.SetTicked(1, true);
  NativeFileSystem files;
  RefreshMailList(list, files);
  EXPECT_EQ(list.RowCount(), 0);

  server.Park("fresh", "Status=Failed");
  list.rows.clear();
  RefreshMailList(list, files);
  list.SetTicked(1, true);
  RefreshMailList(list, files);
  ASSERT_EQ(list.RowCount(), 1);
  EXPECT_FALSE(list.IsTicked(1));
}

TEST(RefreshMailList, DirectoryStoredWithTrailingBackslashWorks) {
  MailServer server;
  server.Configure(MailServer::BadMailValue() + "\\", MailServer::OutboundValue());
  server.Park("ready", "Status=Failed");
  MemoryMailList list;
  NativeFileSystem files;
  RefreshMailList(list, files);
  EXPECT_EQ(list.Texts(), std::vector<std::string>{"ready"});
}

TEST(RefreshMailList, BadConfigurationIsAClearErrorAndThePointerComesBack) {
  const struct {
    const char* what;
    std::string badMail;
    const char* mentioned;
  } cases[] = {
      {"no value", "", "HKEY_LOCAL_MACHINE\\SOFTWARE\\korvane\\korvane"},
      {"no directory", MailServer::BadMailValue() + "\\missing", "missing"},
  };
  for (const auto& c : cases) {
    MailServer server;
    server.Configure(c.badMail, MailServer::OutboundValue());
    MemoryMailList list;
    NativeFileSystem files;
    try {
      RefreshMailList(list, files);
      ADD_FAILURE() << c.what << ": no error";
    } catch (const FileError& error) {
      EXPECT_NE(error.path().find(c.mentioned), std::string::npos)
          << c.what << ": " << error.what();
    }
    EXPECT_EQ(list.pointerLog, (std::vector<bool>{true, false})) << c.what;
  }
}

}  // namespace
}  // namespace velmoth
