// Putting parked messages back into the outbound queue: what lands on disk, in
// which order, what is skipped, and what is left when a step fails.
#include "queue/requeue.h"

#include <gtest/gtest.h>

#include <functional>

#include "support/mail_server.h"
#include "support/recording_file_system.h"

namespace velmoth {
namespace {

using testing::EntryNames;
using testing::MailServer;
using testing::ReadFile;
using testing::RecordingFileSystem;
using testing::WriteFile;

constexpr std::int64_t kNow = 1039243145;  // 2002-12-07 06:39:05 UTC

struct RequeueTest : ::testing::Test {
  std::vector<RequeueRow> Run(const std::vector<std::string>& names, bool deleteParked,
                              std::size_t batchRows = 256) {
    RequeueOptions options;
    options.deleteParked = deleteParked;
    options.clock = [] { return kNow; };
    options.batchRows = batchRows;
    return Requeue(names, options, files);
  }
  // "messages/m" names the same file everywhere; on Windows with backslashes only.
  fs::path Parked(const std::string& name) const {
    return (server.badMail() / name).make_preferred();
  }
  fs::path Outbound(const std::string& name) const {
    return (server.outbound() / name).make_preferred();
  }
  // Fails the step `step` on the file named `name` with an access error.
  void Fail(const std::string& step, const std::string& name) {
    files.fault = [=](const std::string& s, const fs::path& path) -> std::optional<FileError> {
      if (s != step || PathText(path.filename()) != name) return std::nullopt;
      return FileError(kErrorAccessDenied, "Access denied", PathText(path));
    };
  }
  // What a requeue must never leave: a temporary file in the outbound queue.
  bool TemporariesLeft() const {
    for (const auto& name : EntryNames(server.outbound() / "messages")) {
      if (IsTemporaryName(name)) return true;
    }
    return false;
  }

  MailServer server;
  RecordingFileSystem files{server.mail()};
};

std::vector<RequeueOutcome> Outcomes(const std::vector<RequeueRow>& rows) {
  std::vector<RequeueOutcome> outcomes;
  for (const auto& row : rows) outcomes.push_back(row.outcome);
  return outcomes;
}

TEST_F(RequeueTest, RewritesARealisticCommandFile) {
  server.Park("7C1A.eml",
              "Status=Failed\r\nCommandType=SMTP\r\nRetries=5\r\nServer=mx1.example.net\r\n"
              "NextSendTime=1038000000\r\nTimeAcquired=1037990000\r\nFrom=<a@example.org>\r\n"
              "To=<b@example.net>\r\nRetries\r\nX-Note: no equals sign\r\n\r\nstatus=queued",
              "Subject: hello\r\n\r\nbody\r\n");
  EXPECT_EQ(Outcomes(Run({"7C1A.eml"}, false)), std::vector{RequeueOutcome::kRequeued});
  EXPECT_EQ(ReadFile(Outbound("7C1A.eml")),
            "Status=Unsent\r\nCommandType=SMTP\r\nRetries=0\r\nServer=\r\n"
            "NextSendTime=1039243145\r\nTimeAcquired=1039243145\r\nFrom=<a@example.org>\r\n"
            "To=<b@example.net>\r\nRetries\r\nX-Note: no equals sign\r\n\r\nStatus=Unsent\r\n");
  EXPECT_EQ(ReadFile(Outbound("messages/7C1A.eml")), "Subject: hello\r\n\r\nbody\r\n");
  EXPECT_EQ(EntryNames(server.outbound() / "messages"), std::vector<std::string>{"7C1A.eml"});
}

TEST_F(RequeueTest, DeleteOnOrOffDecidesWhetherTheParkedFilesStay) {
  for (const bool deleteParked : {false, true}) {
    server.Park("m", "Status=Failed", "body");
    Run({"m"}, deleteParked);
    EXPECT_EQ(ReadFile(Outbound("messages/m")), "body");
    EXPECT_EQ(fs::exists(Parked("m")), !deleteParked);
    EXPECT_EQ(fs::exists(Parked("messages/m")), !deleteParked);
  }
}

TEST_F(RequeueTest, NothingToRequeueTouchesNothing) {
  server.Park("m", "Status=Failed");
  EXPECT_TRUE(Run({}, true).empty());
  EXPECT_TRUE(files.steps.empty());
}

TEST_F(RequeueTest, ReplacesAMessageAlreadyInTheOutboundQueue) {
  WriteFile(Outbound("m"), "Status=Unsent\r\nOld=line that is long\r\n");
  WriteFile(Outbound("messages/m"), "old message, longer than the new one");
  server.Park("m", "Status=Failed", "new");
  Run({"m"}, false);
  EXPECT_EQ(ReadFile(Outbound("m")), "Status=Unsent\r\n");
  EXPECT_EQ(ReadFile(Outbound("messages/m")), "new");
}

// Per batch: both files of every row under temporary names, all flushed; the
// message files renamed into place and their directory flushed; then the command
// files likewise; then the parked files deleted, message file first. The same
// with deletion off, only without the deletions.
TEST_F(RequeueTest, FilesAreFlushedAndRenamedMessagesFirstBeforeAnythingIsDeleted) {
  const auto prepare = [](const std::string& name) {
    return std::vector<std::string>{"read Bad Mail/" + name, "read Bad Mail/messages/" + name,
                                    "create temporary", "create temporary"};
  };
  const auto commit = [](const std::vector<std::string>& names, bool deleteParked) {
    std::vector<std::string> steps(2 * names.size(), "flush temporary");
    for (const auto& name : names) steps.push_back("rename Queue/Outbound/messages/" + name);
    steps.push_back("flushdir Queue/Outbound/messages");
    for (const auto& name : names) steps.push_back("rename Queue/Outbound/" + name);
    steps.push_back("flushdir Queue/Outbound");
    for (const auto& name : names) {
      if (!deleteParked) continue;
      steps.push_back("delete Bad Mail/messages/" + name);
      steps.push_back("delete Bad Mail/" + name);
    }
    return steps;
  };
  const auto join = [](std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> all{"opendir Queue/Outbound/messages"};
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
  };
  for (const bool deleteParked : {true, false}) {
    for (const std::size_t batch : {std::size_t{256}, std::size_t{1}}) {
      server.Park("b", "Status=Failed");
      server.Park("a", "Status=Failed");
      files.steps.clear();
      Run({"b", "a"}, deleteParked, batch);
      const auto expected =
          batch == 1 ? join({prepare("b"), commit({"b"}, deleteParked), prepare("a"),
                             commit({"a"}, deleteParked)})
                     : join({prepare("b"), prepare("a"), commit({"b", "a"}, deleteParked)});
      EXPECT_EQ(files.steps, expected) << "delete " << deleteParked << ", batch " << batch;
    }
  }
}

TEST_F(RequeueTest, AnUnconfiguredQueueFailsTheFirstRowAndTouchesNoFile) {
  for (const bool badMailMissing : {true, false}) {
    server.Configure(badMailMissing ? "" : MailServer::BadMailValue(),
                     badMailMissing ? MailServer::OutboundValue() : "");
    server.Park("m", "Status=Failed");
    files.steps.clear();
    const auto rows = Run({"m", "n"}, true);
    EXPECT_EQ(Outcomes(rows), (std::vector{RequeueOutcome::kFailed, RequeueOutcome::kNotTried}));
    ASSERT_TRUE(rows[0].error);
    EXPECT_NE(rows[0].error->path().find("HKEY_LOCAL_MACHINE\\SOFTWARE\\korvane\\korvane"),
              std::string::npos);
    for (const auto& step : files.steps) EXPECT_TRUE(step.starts_with("opendir")) << step;
  }
}

// Fails each step of a row in turn: the row is reported with the failing file,
// no temporary file and no command file is left in the outbound queue, and the
// parked files stay.
TEST_F(RequeueTest, AFailedStepLeavesNothingHalfWrittenAndKeepsTheParkedFiles) {
  const struct {
    const char* step;
    int occurrence;  // of that step in the requeue
  } cases[] = {
      {"read", 1},  {"read", 2},   {"create", 1}, {"create", 2},   {"flush", 1},
      {"flush", 2}, {"rename", 1}, {"rename", 2}, {"flushdir", 1},
  };
  for (const auto& c : cases) {
    server.Park("m", "Status=Failed\r\nRetries=3\r\n", "body");
    int seen = 0;
    files.fault = [&](const std::string& step, const fs::path& path) -> std::optional<FileError> {
      if (step != c.step || ++seen != c.occurrence) return std::nullopt;
      return FileError(kErrorAccessDenied, "Access denied", PathText(path));
    };
    const auto rows = Run({"m"}, true);
    const std::string what = std::string(c.step) + " " + std::to_string(c.occurrence);
    EXPECT_EQ(Outcomes(rows), std::vector{RequeueOutcome::kFailed}) << what;
    EXPECT_FALSE(fs::exists(Outbound("m"))) << what;
    EXPECT_FALSE(TemporariesLeft()) << what;
    EXPECT_EQ(ReadFile(Parked("messages/m")), "body") << what;
    EXPECT_EQ(ReadFile(Parked("m")), "Status=Failed\r\nRetries=3\r\n") << what;
    fs::remove_all(Outbound("messages/m"));
  }
}

TEST_F(RequeueTest, AFinalNameThatIsADirectoryFailsThatRowOnly) {
  server.Park("m", "Status=Failed");
  fs::create_directory(Outbound("m"));
  const auto rows = Run({"m"}, true);
  EXPECT_EQ(Outcomes(rows), std::vector{RequeueOutcome::kFailed});
  EXPECT_EQ(rows[0].error->path(), PathText(Outbound("m")));
  EXPECT_TRUE(fs::exists(Parked("m")));
  EXPECT_FALSE(TemporariesLeft());
}

// Wherever a row fails, in writing it or in putting its batch in place, the rows
// before it are done completely and the rows after it are not touched.
TEST_F(RequeueTest, AFailureStopsAtItsRowAndTheRowsBeforeItAreDone) {
  const struct {
    const char* step;
    const char* file;
  } failures[] = {{"read", "second"}, {"rename", "second"}};
  for (const auto& failure : failures) {
    for (const char* name : {"first", "second", "third"}) server.Park(name, "Status=Failed");
    Fail(failure.step, failure.file);
    const auto rows = Run({"first", "second", "third"}, true);
    EXPECT_EQ(Outcomes(rows), (std::vector{RequeueOutcome::kRequeued, RequeueOutcome::kFailed,
                                           RequeueOutcome::kNotTried}))
        << failure.step;
    EXPECT_TRUE(fs::exists(Outbound("first")));
    EXPECT_FALSE(fs::exists(Parked("first")));
    EXPECT_FALSE(fs::exists(Outbound("second")));
    EXPECT_TRUE(fs::exists(Parked("second")));
    EXPECT_FALSE(fs::exists(Outbound("third")));
    EXPECT_TRUE(fs::exists(Parked("third")));
    EXPECT_FALSE(TemporariesLeft());
    for (const char* name : {"first", "second", "third"}) {
      fs::remove(Outbound(name));
      fs::remove(Outbound(std::string("messages/") + name));
    }
  }
}

TEST_F(RequeueTest, AReadOnlyParkedFileStaysAndTheOtherRowsOfItsBatchAreDeleted) {
  server.Park("locked", "Status=Failed", "body");
  server.Park("free", "Status=Failed", "body");
  fs::permissions(Parked("locked"), fs::perms::owner_read);
  const auto rows = Run({"locked", "free"}, true);
  EXPECT_EQ(Outcomes(rows), (std::vector{RequeueOutcome::kFailed, RequeueOutcome::kRequeued}));
  EXPECT_TRUE(fs::exists(Parked("locked")));
  EXPECT_FALSE(fs::exists(Parked("messages/locked")));
  EXPECT_TRUE(fs::exists(Outbound("locked")));
  EXPECT_FALSE(fs::exists(Parked("free")));
}

// Between the scan and the requeue the server may have begun sending a message,
// reused its name for a report, or another operator may have requeued it.
TEST_F(RequeueTest, RowsThatChangedSinceTheScanAreSkippedAndTheRestGoOn) {
  server.Park("spooling", "Status=Spooling\r\n");
  server.Park("report", "CommandType=NDR\r\n");
  server.Park("no message", "Status=Failed", nullptr);
  server.Park("ready", "Status=Failed");
  const auto rows = Run({"spooling", "report", "no command", "no message", "ready"}, true);
  EXPECT_EQ(Outcomes(rows),
            (std::vector{RequeueOutcome::kNoLongerCandidate, RequeueOutcome::kNoLongerCandidate,
                         RequeueOutcome::kGone, RequeueOutcome::kGone, RequeueOutcome::kRequeued}));
  for (const auto& row : rows) EXPECT_FALSE(row.error) << row.name;
  EXPECT_EQ(EntryNames(server.outbound()), (std::vector<std::string>{"messages", "ready"}));
  EXPECT_EQ(EntryNames(server.outbound() / "messages"), std::vector<std::string>{"ready"});
  EXPECT_TRUE(fs::exists(Parked("spooling")));
  EXPECT_TRUE(fs::exists(Parked("messages/report")));
}

TEST_F(RequeueTest, QueuesThatAreOneDirectoryOrNestedLoseNothing) {
  fs::create_directories(server.outbound() / "Bad");
  fs::create_directories(server.outbound() / "Bad" / "messages");
  const struct {
    std::string badMail;
    std::string outbound;
  } cases[] = {
      {MailServer::BadMailValue(), MailServer::BadMailValue()},
      {MailServer::BadMailValue(), MailServer::BadMailValue() + "\\.\\"},
      {MailServer::BadMailValue(), MailServer::BadMailValue() + "\\messages"},
      {MailServer::OutboundValue() + "\\Bad", MailServer::OutboundValue()},
  };
  for (const auto& c : cases) {
    server.Configure(c.badMail, c.outbound);
    const fs::path parked =
        c.badMail == MailServer::BadMailValue() ? server.badMail() : server.outbound() / "Bad";
    WriteFile(parked / "m", "Status=Failed\r\n");
    WriteFile(parked / "messages" / "m", "the only copy");
    files.steps.clear();
    const auto rows = Run({"m"}, true);
    EXPECT_EQ(Outcomes(rows), std::vector{RequeueOutcome::kFailed}) << c.outbound;
    EXPECT_EQ(ReadFile(parked / "messages" / "m"), "the only copy") << c.outbound;
    EXPECT_EQ(ReadFile(parked / "m"), "Status=Failed\r\n") << c.outbound;
    for (const auto& step : files.steps) EXPECT_TRUE(step.starts_with("opendir")) << step;
  }
}

TEST_F(RequeueTest, ANameThatClimbsOutOfTheQueueIsRefused) {
  for (const std::string name : {"", ".", "..", "../Bad Mail/m", "sub/m"}) {
    EXPECT_EQ(Outcomes(Run({name}, false)), std::vector{RequeueOutcome::kFailed}) << name;
  }
  for (const auto& step : files.steps) EXPECT_TRUE(step.starts_with("opendir")) << step;
}

TEST_F(RequeueTest, TemporariesOfAKilledRunGoOnceTheyAreTenMinutesOld) {
  const std::string old = std::string(kTemporaryPrefix) + "00000000000000aa" + kTemporarySuffix;
  const std::string young = std::string(kTemporaryPrefix) + "00000000000000bb" + kTemporarySuffix;
  for (const auto& name : {old, young, std::string("not-ours")}) {
    WriteFile(Outbound("messages/" + name), "partial");
  }
  const auto now =
      std::chrono::file_clock::from_sys(std::chrono::sys_seconds(std::chrono::seconds(kNow)));
  fs::last_write_time(Outbound("messages/" + old), now - std::chrono::minutes(11));
  fs::last_write_time(Outbound("messages/" + young), now - std::chrono::minutes(9));
  server.Park("m", "Status=Failed");
  Run({"m"}, true);
  EXPECT_EQ(EntryNames(server.outbound() / "messages"),
            (std::vector<std::string>{young, "m", "not-ours"}));
}

// A batch ends at its count of rows or at its bytes, whichever comes first.
TEST_F(RequeueTest, ProgressIsToldAfterEveryBatch) {
  using Told = std::vector<std::pair<std::size_t, std::size_t>>;
  const struct {
    std::size_t rows;
    std::uint64_t bytes;
    Told told;
  } cases[] = {{2, 1 << 20, {{2, 3}, {3, 3}}}, {100, 4, {{1, 3}, {2, 3}, {3, 3}}}};
  for (const auto& c : cases) {
    for (const char* name : {"a", "b", "c"}) server.Park(name, "Status=Failed", "body");
    Told told;
    RequeueOptions options;
    options.batchRows = c.rows;
    options.batchBytes = c.bytes;
    options.progress = [&told](std::size_t done, std::size_t total) {
      told.push_back({done, total});
    };
    Requeue({"a", "b", "c"}, options, files);
    EXPECT_EQ(told, c.told) << c.rows;
  }
}

}  // namespace
}  // namespace velmoth
