// The scan of the Bad Mail directory: which parked files are candidates, which
// are left out and why, and what stops a scan and what does not.
#include "queue/bad_mail_scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "support/mail_server.h"
#include "support/recording_file_system.h"

namespace velmoth {
namespace {

namespace fs = std::filesystem;

using testing::MailServer;
using testing::RecordingFileSystem;
using testing::WriteFile;

std::vector<std::string> CandidateNames(const BadMailScan& scan) {
  std::vector<std::string> names;
  for (const auto& entry : scan.candidates) names.push_back(entry.name);
  std::sort(names.begin(), names.end());
  return names;
}

std::map<std::string, LeftOutReason> Reasons(const BadMailScan& scan) {
  std::map<std::string, LeftOutReason> reasons;
  for (const auto& file : scan.leftOut) reasons[file.name] = file.reason;
  return reasons;
}

TEST(ScanBadMail, ListsCandidatesWithTheirMessageFileAndSaysWhyOthersAreLeftOut) {
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

  NativeFileSystem files;
  const BadMailScan scan = ScanBadMail(files, server.locations());

  EXPECT_EQ(CandidateNames(scan), (std::vector<std::string>{"ready", "two words"}));
  for (const auto& entry : scan.candidates) {
    if (entry.name != "ready") continue;
    EXPECT_EQ(entry.size, 12u);
    const auto expected = std::chrono::file_clock::to_sys(modified);
    EXPECT_EQ(entry.date, std::chrono::floor<std::chrono::seconds>(expected));
  }
  EXPECT_EQ(Reasons(scan), (std::map<std::string, LeftOutReason>{
                               {"spooling", LeftOutReason::kSpooling},
                               {"report", LeftOutReason::kNonDeliveryReport},
                               {"no message", LeftOutReason::kNoMessageFile},
                           }));
}

TEST(ScanBadMail, EmptyDirectoryOrNoMessagesDirectoryGivesNoCandidates) {
  MailServer server;
  NativeFileSystem files;
  EXPECT_TRUE(ScanBadMail(files, server.locations()).candidates.empty());
  server.Park("m", "Status=Failed");
  fs::remove_all(server.badMail() / "messages");
  const BadMailScan scan = ScanBadMail(files, server.locations());
  EXPECT_TRUE(scan.candidates.empty());
  EXPECT_EQ(Reasons(scan),
            (std::map<std::string, LeftOutReason>{{"m", LeftOutReason::kNoMessageFile}}));
}

TEST(ScanBadMail, DirectoryStoredWithTrailingBackslashWorks) {
  MailServer server;
  server.Configure(MailServer::BadMailValue() + "\\", MailServer::OutboundValue());
  server.Park("ready", "Status=Failed");
  NativeFileSystem files;
  EXPECT_EQ(CandidateNames(ScanBadMail(files, RegistryQueueLocations())),
            std::vector<std::string>{"ready"});
}

TEST(ScanBadMail, BadConfigurationIsAClearError) {
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
    NativeFileSystem files;
    try {
      ScanBadMail(files, RegistryQueueLocations());
      ADD_FAILURE() << c.what << ": no error";
    } catch (const FileError& error) {
      EXPECT_NE(error.path().find(c.mentioned), std::string::npos)
          << c.what << ": " << error.what();
    }
  }
}

// A command file that cannot be read is left out with its error and the scan goes
// on; one that the server took away meanwhile is not reported at all.
TEST(ScanBadMail, UnreadableFilesAreCountedAndTheScanGoesOn) {
  MailServer server;
  for (const char* name : {"a-locked", "b-ready", "c-locked", "d-gone", "e-ready"}) {
    server.Park(name, "Status=Failed");
  }
  RecordingFileSystem files(server.mail());
  files.fault = [](const std::string& step, const fs::path& path) -> std::optional<FileError> {
    const std::string name = PathText(path.filename());
    if (step != "open") return std::nullopt;
    if (name.ends_with("locked"))
      return FileError(ErrorKind::kAccessDenied, kErrorAccessDenied, "Access denied",
                       PathText(path));
    if (name == "d-gone")
      return FileError(ErrorKind::kNotFound, kErrorNotFound, "No such file", PathText(path));
    return std::nullopt;
  };
  const BadMailScan scan = ScanBadMail(files, server.locations());
  EXPECT_EQ(CandidateNames(scan), (std::vector<std::string>{"b-ready", "e-ready"}));
  EXPECT_EQ(Reasons(scan),
            (std::map<std::string, LeftOutReason>{{"a-locked", LeftOutReason::kUnreadable},
                                                  {"c-locked", LeftOutReason::kUnreadable}}));
  const UnreadableFiles unreadable = CountUnreadable(scan);
  EXPECT_EQ(unreadable.count, 2u);
  ASSERT_TRUE(unreadable.first);
  EXPECT_EQ(unreadable.first->kind(), ErrorKind::kAccessDenied);
  EXPECT_EQ(unreadable.first->path(), scan.leftOut.front().error->path());
}

}  // namespace
}  // namespace velmoth
