// Putting parked messages back into the outbound queue: what lands on disk, in
// which order, what is skipped, and what is left when a step fails.
#include "queue/requeue.h"

#include <gtest/gtest.h>

#include <functional>

#include "support/mail_server.h"
#include "support/recording_file_system.h"

namespace velmoth {
namespace {

namespace fs = std::filesystem;

using testing::EntryNames;
using testing::MailServer;
using testing::ReadFile;
using testing::RecordingFileSystem;
using testing::WriteFile;

constexpr std::int64_t kNow = 1039243145;  // 2002-12-07 06:39:05 UTC

struct RequeueTest : ::testing::Test {
  std::vector<RequeueRow> Run(const std::vector<std::string>& names, bool deleteParked,
                              std::size_t batchRows = 256) {
    return RunWith(names, deleteParked, server.locations(), batchRows);
  }
  std::vector<RequeueRow> RunWith(const std::vector<std::string>& names, bool deleteParked,
                                  const QueueLocations& locations, std::size_t batchRows = 256) {
    RequeueOptions options;
    options.deleteParked = deleteParked;
    options.clock = [] { return kNow; };
    options.batchRows = batchRows;
    return Requeue(names, options, files, locations);
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
      return FileError(ErrorKind::kAccessDenied, kErrorAccessDenied, "Access denied",
                       PathText(path));
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

// The queues are opened once. Per row: both parked files opened and held, the
// outbound queue looked at for a message of the name the server is sending, both
// copies written under temporary names. Per batch: every copy flushed; each row
// looked at again and its message file renamed into place; that directory
// flushed; the command files likewise; then the parked files deleted, message
// file first, and Bad Mail's directories flushed. With deletion off, the same
// without the deletions.
TEST_F(RequeueTest, FilesAreFlushedAndRenamedMessagesFirstBeforeAnythingIsDeleted) {
  const auto prepare = [](const std::string& name) {
    return std::vector<std::string>{"open Bad Mail/" + name, "open Bad Mail/messages/" + name,
                                    "open Queue/Outbound/" + name, "create temporary",
                                    "create temporary"};
  };
  const auto commit = [](const std::vector<std::string>& names, bool deleteParked) {
    std::vector<std::string> steps(2 * names.size(), "flush temporary");
    for (const auto& name : names) {
      steps.push_back("open Queue/Outbound/" + name);
      steps.push_back("rename Queue/Outbound/messages/" + name);
    }
    steps.push_back("flushdir Queue/Outbound/messages");
    for (const auto& name : names) steps.push_back("rename Queue/Outbound/" + name);
    steps.push_back("flushdir Queue/Outbound");
    if (!deleteParked) return steps;
    for (const auto& name : names) {
      steps.push_back("delete Bad Mail/messages/" + name);
      steps.push_back("delete Bad Mail/" + name);
    }
    steps.push_back("flushdir Bad Mail/messages");
    steps.push_back("flushdir Bad Mail");
    return steps;
  };
  const auto join = [](std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> all{"opendir Bad Mail", "subdir Bad Mail/messages",
                                 "opendir Queue/Outbound", "subdir Queue/Outbound/messages"};
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
    const auto rows = RunWith({"m", "n"}, true, RegistryQueueLocations());
    EXPECT_EQ(Outcomes(rows), (std::vector{RequeueOutcome::kFailed, RequeueOutcome::kNotTried}));
    ASSERT_TRUE(rows[0].error);
    EXPECT_NE(rows[0].error->path().find("HKEY_LOCAL_MACHINE\\SOFTWARE\\korvane\\korvane"),
              std::string::npos);
    for (const auto& step : files.steps) {
      EXPECT_TRUE(step.starts_with("opendir") || step.starts_with("subdir")) << step;
    }
  }
}

// Fails each step of a row in turn. Until its command file is in place the row
// fails: with the failing file named, no temporary file, no command file and no
// message file left in the outbound queue, and the parked files kept. After it
// the row is live and says so: kept in Bad Mail when the outbound queue could not
// be flushed, requeued with the error when Bad Mail could not be.
TEST_F(RequeueTest, EachFailedStepLeavesAReportThatMatchesTheDisk) {
  const struct {
    const char* step;
    int occurrence;  // of that step in the requeue
    RequeueOutcome outcome;
  } cases[] = {
      {"open", 1, RequeueOutcome::kFailed},
      {"open", 2, RequeueOutcome::kFailed},
      {"open", 3, RequeueOutcome::kFailed},
      {"create", 1, RequeueOutcome::kFailed},
      {"create", 2, RequeueOutcome::kFailed},
      {"flush", 1, RequeueOutcome::kFailed},
      {"flush", 2, RequeueOutcome::kFailed},
      {"open", 4, RequeueOutcome::kFailed},
      {"rename", 1, RequeueOutcome::kFailed},
      {"flushdir", 1, RequeueOutcome::kFailed},
      {"rename", 2, RequeueOutcome::kFailed},
      {"flushdir", 2, RequeueOutcome::kRequeuedNotDeleted},
      {"delete", 1, RequeueOutcome::kRequeuedNotDeleted},
      {"flushdir", 3, RequeueOutcome::kRequeued},
  };
  for (const auto& c : cases) {
    server.Park("m", "Status=Failed\r\nRetries=3\r\n", "body");
    int seen = 0;
    files.fault = [&](const std::string& step, const fs::path& path) -> std::optional<FileError> {
      if (step != c.step || ++seen != c.occurrence) return std::nullopt;
      return FileError(ErrorKind::kAccessDenied, kErrorAccessDenied, "Access denied",
                       PathText(path));
    };
    const auto rows = Run({"m"}, true);
    const std::string what = std::string(c.step) + " " + std::to_string(c.occurrence);
    EXPECT_EQ(Outcomes(rows), std::vector{c.outcome}) << what;
    ASSERT_TRUE(rows[0].error) << what;
    EXPECT_EQ(rows[0].error->description(), "Access denied") << what;
    EXPECT_FALSE(TemporariesLeft()) << what;
    const bool live = c.outcome != RequeueOutcome::kFailed;
    EXPECT_EQ(fs::exists(Outbound("m")), live) << what;
    EXPECT_EQ(fs::exists(Outbound("messages/m")), live) << what;
    const bool kept = c.outcome != RequeueOutcome::kRequeued;
    EXPECT_EQ(fs::exists(Parked("messages/m")), kept) << what;
    EXPECT_EQ(fs::exists(Parked("m")), kept) << what;
    if (kept) {
      EXPECT_EQ(ReadFile(Parked("m")), "Status=Failed\r\nRetries=3\r\n") << what;
    }
    fs::remove(Outbound("m"));
    fs::remove(Outbound("messages/m"));
  }
}

// A row that fails after its copy replaced an outbound message of the same name
// takes the copy back out, and its error says the earlier message is gone.
TEST_F(RequeueTest, AFailureAfterReplacingAnOutboundMessageSaysSo) {
  WriteFile(Outbound("m"), "Status=Retry\r\n");
  WriteFile(Outbound("messages/m"), "the earlier message");
  server.Park("m", "Status=Failed", "body");
  Fail("rename", "m");
  int renames = 0;
  files.fault = [&](const std::string& step, const fs::path& path) -> std::optional<FileError> {
    if (step != "rename" || ++renames != 2) return std::nullopt;
    return FileError(ErrorKind::kAccessDenied, kErrorAccessDenied, "Access denied", PathText(path));
  };
  const auto rows = Run({"m"}, true);
  EXPECT_EQ(Outcomes(rows), std::vector{RequeueOutcome::kFailed});
  EXPECT_NE(rows[0].error->description().find("is gone"), std::string::npos);
  EXPECT_FALSE(fs::exists(Outbound("messages/m")));
  EXPECT_EQ(ReadFile(Outbound("m")), "Status=Retry\r\n");
  EXPECT_EQ(ReadFile(Parked("messages/m")), "body");
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
  } failures[] = {{"open", "second"}, {"rename", "second"}};
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

// A parked file that is read-only keeps both of its row's files, and the row says
// it is live but kept; the other rows of its batch are deleted all the same.
TEST_F(RequeueTest, AReadOnlyParkedFileKeepsBothFilesOfItsRow) {
  for (const char* readOnly : {"locked", "messages/locked"}) {
    server.Park("locked", "Status=Failed", "body");
    server.Park("free", "Status=Failed", "body");
    fs::permissions(Parked(readOnly), fs::perms::owner_read);
    const auto rows = Run({"locked", "free"}, true);
    EXPECT_EQ(Outcomes(rows),
              (std::vector{RequeueOutcome::kRequeuedNotDeleted, RequeueOutcome::kRequeued}));
    EXPECT_EQ(rows[0].kept, KeptReason::kReadOnly);
    EXPECT_TRUE(fs::exists(Parked("locked")));
    EXPECT_TRUE(fs::exists(Parked("messages/locked")));
    EXPECT_TRUE(fs::exists(Outbound("locked")));
    EXPECT_FALSE(fs::exists(Parked("free")));
    fs::permissions(Parked(readOnly), fs::perms::owner_write, fs::perm_options::add);
    fs::remove(Parked("locked"));
    fs::remove(Parked("messages/locked"));
  }
}

// Between the scan and the requeue the server may have begun sending a message,
// reused its name for a report, or another operator may have requeued it.
TEST_F(RequeueTest, RowsThatChangedSinceTheScanAreSkippedAndTheRestGoOn) {
  server.Park("spooling", "Status=Spooling\r\n");
  server.Park("report", "CommandType=NDR\r\n");
  server.Park("no message", "Status=Failed", nullptr);
  server.Park("sent now", "Status=Failed");
  WriteFile(Outbound("sent now"), "Status=Spooling\r\n");
  WriteFile(Outbound("messages/sent now"), "being sent");
  server.Park("ready", "Status=Failed");
  const auto rows =
      Run({"spooling", "report", "no command", "no message", "sent now", "ready"}, true);
  EXPECT_EQ(Outcomes(rows),
            (std::vector{RequeueOutcome::kNoLongerCandidate, RequeueOutcome::kNoLongerCandidate,
                         RequeueOutcome::kGone, RequeueOutcome::kGone,
                         RequeueOutcome::kOutboundSpooling, RequeueOutcome::kRequeued}));
  for (const auto& row : rows) EXPECT_FALSE(row.error) << row.name;
  EXPECT_EQ(EntryNames(server.outbound()),
            (std::vector<std::string>{"messages", "ready", "sent now"}));
  EXPECT_EQ(ReadFile(Outbound("messages/sent now")), "being sent");
  EXPECT_TRUE(fs::exists(Parked("sent now")));
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
    const auto rows = RunWith({"m"}, true, RegistryQueueLocations());
    EXPECT_EQ(Outcomes(rows), std::vector{RequeueOutcome::kFailed}) << c.outbound;
    EXPECT_EQ(ReadFile(parked / "messages" / "m"), "the only copy") << c.outbound;
    EXPECT_EQ(ReadFile(parked / "m"), "Status=Failed\r\n") << c.outbound;
    for (const auto& step : files.steps) {
      EXPECT_TRUE(step.starts_with("opendir") || step.starts_with("subdir")) << step;
    }
  }
}

// A name that is no name in the queue is not found there, and nothing is written.
TEST_F(RequeueTest, ANameThatClimbsOutOfTheQueueIsNotFound) {
  for (const std::string name : {"", ".", "..", "../Bad Mail/m", "sub/m"}) {
    EXPECT_EQ(Outcomes(Run({name}, false)), std::vector{RequeueOutcome::kGone}) << name;
  }
  for (const auto& step : files.steps) {
    EXPECT_TRUE(step.starts_with("opendir") || step.starts_with("subdir") ||
                step.starts_with("open "))
        << step;
  }
  EXPECT_EQ(EntryNames(server.outbound() / "messages"), std::vector<std::string>{});
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
    Requeue({"a", "b", "c"}, options, files, server.locations());
    EXPECT_EQ(told, c.told) << c.rows;
  }
}

}  // namespace
}  // namespace velmoth
