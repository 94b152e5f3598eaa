// Putting parked messages back into the outbound queue: what lands on disk, in
// which order, and what is left when a step fails.
#include "queue/requeue.h"

#include <gtest/gtest.h>

#include <functional>

#include "support/memory_mail_list.h"
#include "support/mail_server.h"

namespace velmoth {
namespace {

using testing::EntryNames;
using testing::MailServer;
using testing::ReadFile;
using testing::WriteFile;

constexpr std::int64_t kNow = 1039243145;  // 2002-12-07 06:39:05 UTC
std::int64_t FixedClock() { return kNow; }

// The real file system, with every step written down as "step relative/path".
class RecordingFileSystem : public NativeFileSystem {
 public:
  explicit RecordingFileSystem(fs::path root) : root_(std::move(root)) {}

  void Copy(const fs::path& from, const fs::path& to) override {
    Log("copy", to);
    NativeFileSystem::Copy(from, to);
  }
  std::unique_ptr<LineWriter> Create(const fs::path& path) override {
    Log("create", path);
    if (failCreate) throw FileError(13, "Permission denied", PathText(path));
    return NativeFileSystem::Create(path);
  }
  void SyncFile(const fs::path& path) override {
    Log("sync", path);
    NativeFileSystem::SyncFile(path);
  }
  void Rename(const fs::path& from, const fs::path& to) override {
    Log("rename", to);
    NativeFileSystem::Rename(from, to);
  }
  void SyncDirectory(const fs::path& dir) override {
    Log("syncdir", dir);
    NativeFileSystem::SyncDirectory(dir);
  }
  void Delete(const fs::path& path) override {
    Log("delete", path);
    NativeFileSystem::Delete(path);
  }

  std::vector<std::string> steps;
  bool failCreate = false;

 private:
  void Log(const char* step, const fs::path& path) {
    std::string relative = path.lexically_relative(root_).generic_string();
    // Temporary names differ from run to run.
    if (relative.find("/.velmoth-") != std::string::npos) relative = "temporary";
    steps.push_back(std::string(step) + " " + relative);
  }
  fs::path root_;
};

struct Requeue : ::testing::Test {
  // Lists what is parked and ticks the named rows.
  void Tick(const std::vector<std::string>& names) {
    list.rows.clear();
    for (const auto& name : names) {
      list.AddRow(name, name);
      list.SetTicked(list.RowCount(), true);
    }
  }
  void Run(bool deleteParked) { RequeueChecked(list, deleteParked, files, FixedClock); }
  // "messages/m" names the same file everywhere; on Windows with backslashes only.
  fs::path Parked(const std::string& name) const {
    return (server.badMail() / name).make_preferred();
  }
  fs::path Outbound(const std::string& name) const {
    return (server.outbound() / name).make_preferred();
  }

  MailServer server;
  MemoryMailList list;
  RecordingFileSystem files{server.mail()};
};

TEST_F(Requeue, RewritesARealisticCommandFile) {
  server.Park("7C1A.eml",
              "Status=Failed\r\nCommandType=SMTP\r\nRetries=5\r\nServer=mx1.example.net\r\n"
              "NextSendTime=1038000000\r\nTimeAcquired=1037990000\r\nFrom=<a@example.org>\r\n"
              "To=<b@example.net>\r\nRetries\r\nX-Note: no equals sign\r\n\r\nstatus=queued",
              "Subject: hello\r\n\r\nbody\r\n");
  Tick({"7C1A.eml"});
  Run(false);
  EXPECT_EQ(ReadFile(Outbound("7C1A.eml")),
            "Status=Unsent\r\nCommandType=SMTP\r\nRetries=0\r\nServer=\r\n"
            "NextSendTime=1039243145\r\nTimeAcquired=1039243145\r\nFrom=<a@example.org>\r\n"
            "To=<b@example.net>\r\nRetries\r\nX-Note: no equals sign\r\n\r\nStatus=Unsent\r\n");
  EXPECT_EQ(ReadFile(Outbound("messages/7C1A.eml")), "Subject: hello\r\n\r\nbody\r\n");
  EXPECT_EQ(EntryNames(server.outbound() / "messages"), std::vector<std::string>{"7C1A.eml"});
}

TEST_F(Requeue, DeleteOnOrOffDecidesWhetherTheParkedFilesStay) {
  for (const bool deleteParked : {false, true}) {
    server.Park("m", "Status=Failed", "body");
    Tick({"m"});
    Run(deleteParked);
    EXPECT_EQ(ReadFile(Outbound("messages/m")), "body");
    EXPECT_EQ(fs::exists(Parked("m")), !deleteParked);
    EXPECT_EQ(fs::exists(Parked("messages/m")), !deleteParked);
  }
}

TEST_F(Requeue, NothingTickedTouchesNoFileButShowsTheHourglass) {
  server.Park("m", "Status=Failed");
  list.AddRow("m", "m");
  Run(true);
  EXPECT_TRUE(files.steps.empty());
  EXPECT_EQ(list.pointerLog, (std::vector<bool>{true, false}));
  EXPECT_TRUE(fs::exists(Parked("m")));
}

TEST_F(Requeue, ReplacesAMessageAlreadyInTheOutboundQueue) {
  WriteFile(Outbound("m"), "Status=Unsent\r\nOld=line that is long\r\n");
  WriteFile(Outbound("messages/m"), "old message, longer than the new one");
  server.Park("m", "Status=Failed", "new");
  Tick({"m"});
  Run(false);
  EXPECT_EQ(ReadFile(Outbound("m")), "Status=Unsent\r\n");
  EXPECT_EQ(ReadFile(Outbound("messages/m")), "new");
}

TEST_F(Requeue, EachRowIsCopiedFlushedRenamedThenDeletedInListOrder) {
  server.Park("b", "Status=Failed");
  server.Park("a", "Status=Failed");
  server.Park("skipped", "Status=Failed");
  Tick({"b", "skipped", "a"});
  list.SetTicked(2, false);
  Run(true);
  std::vector<std::string> expected;
  for (const std::string name : {"b", "a"}) {
    const std::vector<std::string> row = {"copy Queue/Outbound/messages/" + name,
                                          "sync Queue/Outbound/messages/" + name,
                                          "create temporary",
                                          "sync temporary",
                                          "rename Queue/Outbound/" + name,
                                          "syncdir Queue/Outbound/messages",
                                          "syncdir Queue/Outbound",
                                          "delete Bad Mail/messages/" + name,
                                          "delete Bad Mail/" + name};
    expected.insert(expected.end(), row.begin(), row.end());
  }
  EXPECT_EQ(files.steps, expected);
  EXPECT_TRUE(fs::exists(Parked("skipped")));
}

TEST_F(Requeue, WithoutDeletionNothingIsFlushed) {
  server.Park("m", "Status=Failed");
  Tick({"m"});
  Run(false);
  EXPECT_EQ(files.steps, (std::vector<std::string>{"copy Queue/Outbound/messages/m",
                                                   "create temporary", "rename Queue/Outbound/m"}));
}

TEST_F(Requeue, AnUnconfiguredQueueTouchesNoFile) {
  for (const bool badMailMissing : {true, false}) {
    server.Configure(badMailMissing ? "" : MailServer::BadMailValue(),
                     badMailMissing ? MailServer::OutboundValue() : "");
    server.Park("m", "Status=Failed");
    Tick({"m"});
    try {
      Run(true);
      ADD_FAILURE() << "no error";
    } catch (const FileError& error) {
      EXPECT_NE(error.path().find("HKEY_LOCAL_MACHINE\\SOFTWARE\\korvane\\korvane"),
                std::string::npos);
    }
    EXPECT_TRUE(files.steps.empty());
    EXPECT_EQ(list.pointerLog.back(), false);
  }
}

// Fails the command-file step in different ways; every time the parked files stay
// and nothing appears at the command file's final name.
TEST_F(Requeue, AFailedCommandFileLeavesNothingBehindAndKeepsTheParkedFiles) {
  const struct {
    const char* what;
    std::function<void()> arrange;
  } cases[] = {
      {"create refused", [this] { files.failCreate = true; }},
      {"final name is a directory", [this] { fs::create_directory(Outbound("m")); }},
      {"source vanished", [this] { fs::remove(Parked("m")); }},
  };
  for (const auto& c : cases) {
    server.Park("m", "Status=Failed\r\nRetries=3\r\n", "body");
    Tick({"m"});
    c.arrange();
    EXPECT_THROW(Run(true), FileError) << c.what;
    EXPECT_FALSE(fs::is_regular_file(Outbound("m"))) << c.what;
    EXPECT_EQ(EntryNames(server.outbound() / "messages"), std::vector<std::string>{"m"}) << c.what;
    EXPECT_TRUE(fs::exists(Parked("messages/m"))) << c.what;
    files.failCreate = false;
    fs::remove_all(Outbound("m"));
  }
}

TEST_F(Requeue, AFailureStopsAtThatRowAndEarlierRowsStayDone) {
  server.Park("first", "Status=Failed");
  server.Park("second", "Status=Failed", nullptr);  // no message file to copy
  server.Park("third", "Status=Failed");
  Tick({"first", "second", "third"});
  try {
    Run(true);
    FAIL() << "no error";
  } catch (const FileError& error) {
    EXPECT_TRUE(IsFileNotFound(error));
    EXPECT_EQ(error.path(), PathText(Parked("messages/second")));
  }
  EXPECT_TRUE(fs::exists(Outbound("first")));
  EXPECT_FALSE(fs::exists(Parked("first")));
  EXPECT_FALSE(fs::exists(Outbound("third")));
  EXPECT_TRUE(fs::exists(Parked("third")));
}

TEST_F(Requeue, AReadOnlyParkedFileIsNotDeletedAndThatIsAnError) {
  server.Park("m", "Status=Failed", "body");
  fs::permissions(Parked("m"), fs::perms::owner_read);
  Tick({"m"});
  EXPECT_THROW(Run(true), FileError);
  EXPECT_TRUE(fs::exists(Parked("m")));
  EXPECT_FALSE(fs::exists(Parked("messages/m")));
  EXPECT_TRUE(fs::exists(Outbound("m")));
}

TEST_F(Requeue, QueuesConfiguredAsOneDirectoryLoseNothing) {
  const std::string sameDirectory[] = {MailServer::BadMailValue(),
                                       MailServer::BadMailValue() + "\\.\\"};
  for (const auto& outbound : sameDirectory) {
    server.Configure(MailServer::BadMailValue(), outbound);
    server.Park("m", "Status=Failed\r\n", "the only copy");
    Tick({"m"});
    EXPECT_THROW(Run(true), FileError) << outbound;
    EXPECT_EQ(ReadFile(Parked("messages/m")), "the only copy") << outbound;
    EXPECT_EQ(ReadFile(Parked("m")), "Status=Failed\r\n") << outbound;
  }
  EXPECT_TRUE(files.steps.empty());
}

TEST_F(Requeue, ANameThatClimbsOutOfTheQueueIsRefused) {
  for (const std::string name : {"", ".", "..", "../Bad Mail/m", "sub/m"}) {
    Tick({name});
    EXPECT_THROW(Run(false), FileError) << name;
  }
  EXPECT_TRUE(files.steps.empty());
}

}  // namespace
}  // namespace velmoth
