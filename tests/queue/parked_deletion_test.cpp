// Deleting parked messages for good: which rows go, which stay and why, and what
// a deletion leaves of a row it does not finish.
#include "queue/parked_deletion.h"

#include <gtest/gtest.h>

#include <functional>
#include <utility>

#include "support/mail_server.h"

namespace velmoth {
namespace {

namespace fs = std::filesystem;

using testing::MailServer;
using testing::WriteFile;

TEST(DeleteParked, EachRowGoesWholeOrStaysWhole) {
  const struct {
    const char* what;
    std::function<void(MailServer&)> park;  // the row "m"
    DeletionOutcome outcome;
    bool stays;
  } cases[] = {
      {"a candidate", [](MailServer& s) { s.Park("m", "Status=Failed\r\n"); },
       DeletionOutcome::kDeleted, false},
      {"a non-delivery report", [](MailServer& s) { s.Park("m", "CommandType=NDR\r\n"); },
       DeletionOutcome::kDeleted, false},
      {"a command file alone", [](MailServer& s) { s.Park("m", "Status=Failed\r\n", nullptr); },
       DeletionOutcome::kDeleted, false},
      {"one the server is sending", [](MailServer& s) { s.Park("m", "Status=Spooling\r\n"); },
       DeletionOutcome::kSpooling, true},
      {"a message file alone",
       [](MailServer& s) { WriteFile(s.badMail() / "messages" / "m", "x"); },
       DeletionOutcome::kGone, true},
#ifndef _WIN32
      {"a linked message file",
       [](MailServer& s) {
         s.Park("m", "Status=Failed\r\n", nullptr);
         WriteFile(s.root() / "outside", "not mail");
         fs::create_symlink(s.root() / "outside", s.badMail() / "messages" / "m");
       },
       DeletionOutcome::kNotRegular, true},
#endif
      {"a read-only command file",
       [](MailServer& s) {
         s.Park("m", "Status=Failed\r\n");
         fs::permissions(s.badMail() / "m", fs::perms::owner_read);
       },
       DeletionOutcome::kFailed, true},
  };
  for (const auto& c : cases) {
    for (const bool dryRun : {false, true}) {
      MailServer server;
      c.park(server);
      // What Bad Mail holds of "m": its names in both directories.
      const auto held = [&server] {
        return std::pair(fs::exists(fs::symlink_status(server.badMail() / "m")),
                         fs::exists(fs::symlink_status(server.badMail() / "messages" / "m")));
      };
      const auto before = held();
      server.Park("after", "Status=Failed\r\n");
      NativeFileSystem files;
      DeletionOptions options;
      options.dryRun = dryRun;
      const auto rows = DeleteParked({"m", "after"}, options, files, server.locations());
      const std::string what = std::string(c.what) + (dryRun ? ", dry run" : "");
      const bool goes = c.outcome == DeletionOutcome::kDeleted;
      EXPECT_EQ(rows[0].outcome, goes && dryRun ? DeletionOutcome::kWouldDelete : c.outcome)
          << what;
      EXPECT_EQ(rows[1].outcome, dryRun ? DeletionOutcome::kWouldDelete : DeletionOutcome::kDeleted)
          << what;
      EXPECT_EQ(held(), c.stays || dryRun ? before : std::pair(false, false)) << what;
      if (fs::exists(server.root() / "outside")) {
        EXPECT_EQ(testing::ReadFile(server.root() / "outside"), "not mail") << what;
      }
    }
  }
}

}  // namespace
}  // namespace velmoth
