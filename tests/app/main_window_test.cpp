// The window's handlers on a scratch mail server, over a list and a window held
// in memory: every scenario of the window, what each command leaves in the list
// and the queues, and that a failure is shown, never fatal.
#include "app/main_window.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>

#include "support/fake_window.h"
#include "support/mail_list_rows.h"
#include "support/mail_server.h"
#include "support/memory_log.h"
#include "support/recording_file_system.h"

namespace velmoth {
namespace {

namespace fs = std::filesystem;

using testing::EntryNames;
using testing::FakeWindow;
using testing::MailServer;
using testing::ReadFile;
using testing::RecordingFileSystem;
using testing::RowOf;
using testing::WriteFile;
using Names = std::vector<std::string>;

constexpr char kParked[] = "Status=Failed\r\nRetries=5\r\nServer=mx1.example.net\r\n";

// Two requeue candidates and a message the server is sending, and the handlers
// over them.
struct Scene {
  Scene() {
    server.Park("alpha", kParked, "hello");
    server.Park("beta two", kParked, "beta's body");
    server.Park("spooling", "Status=Spooling\r\n");
  }

  Names Listed() const { return testing::SortedRowNames(list); }
  bool AnyTicked() const { return !list.TickedRows().empty(); }
  // Whether every hourglass that went up came down again.
  bool PointerBack() const {
    int depth = 0;
    for (const bool busy : window.pointerLog) {
      depth += busy ? 1 : -1;
      if (depth < 0) return false;
    }
    return depth == 0 && !window.pointerLog.empty();
  }

  MailServer server;
  MailList list;
  FakeWindow window;
  RecordingFileSystem files{server.mail()};
  RegistryQueueLocations locations;
  testing::MemoryLog log;
  MainWindowHandlers handlers{list, window, files, locations, &log};
};

TEST(MainWindow, LoadListsTheCandidatesWithTheirMessageSizeAndCommandDate) {
  Scene s;
  s.server.Park("report", "CommandType=NDR\r\n");
  s.server.Park("no message", kParked, nullptr);
  WriteFile(s.server.badMail() / "messages" / "orphan", "body");
  const FileDate date{std::chrono::seconds(1764990005)};
  fs::last_write_time(s.server.badMail() / "alpha", fs::file_time_type::clock::from_sys(date));

  s.handlers.Form_Load();

  EXPECT_EQ(s.Listed(), (Names{"alpha", "beta two"}));
  const BadMailEntry& alpha = s.list[RowOf(s.list, "alpha")].entry;
  EXPECT_EQ(alpha.size, 5u);
  EXPECT_EQ(alpha.date, date);
  EXPECT_FALSE(s.AnyTicked());
  EXPECT_TRUE(s.window.errors.empty());
}

TEST(MainWindow, AllTicksEveryRowAndNoneUnticksThem) {
  Scene s;
  s.handlers.Form_Load();
  s.list.SetTicked(1, true);
  const struct {
    void (MainWindowHandlers::*click)();
    bool ticked;
  } cases[] = {{&MainWindowHandlers::cmdAll_Click, true},
               {&MainWindowHandlers::cmdNone_Click, false}};
  for (const auto& c : cases) {
    (s.handlers.*c.click)();
    EXPECT_EQ(s.list.TickedRows().size(), c.ticked ? 2u : 0u);
  }
  EXPECT_EQ(s.list.size(), 2u);
}

TEST(MainWindow, CopyRequeuesTheTickedRowsAndKeepsOrDeletesTheParkedFiles) {
  for (const bool deleteTicked : {true, false}) {
    SCOPED_TRACE(deleteTicked ? "delete ticked" : "delete unticked");
    Scene s;
    s.window.deleteTicked = deleteTicked;
    s.handlers.Form_Load();
    s.list.SetTicked(RowOf(s.list, "beta two"), true);

    s.handlers.cmdCopy_Click();

    const fs::path outbound = s.server.outbound();
    EXPECT_EQ(EntryNames(outbound), (Names{"beta two", "messages"}));
    EXPECT_EQ(ReadFile(outbound / "messages" / "beta two"), "beta's body");
    EXPECT_TRUE(ReadFile(outbound / "beta two").starts_with("Status=Unsent\r\nRetries=0"));
    const Names parked =
        deleteTicked ? Names{"alpha", "spooling"} : Names{"alpha", "beta two", "spooling"};
    EXPECT_EQ(EntryNames(s.server.badMail() / "messages"), parked);
    const Names listed = deleteTicked ? Names{"alpha"} : Names{"alpha", "beta two"};
    EXPECT_EQ(s.Listed(), listed);
    EXPECT_FALSE(s.AnyTicked());
    EXPECT_TRUE(s.window.errors.empty() && s.window.notices.empty());
  }
}

TEST(MainWindow, CopyWithNothingTickedTouchesNoQueueAndStillRebuildsTheList) {
  Scene s;
  s.handlers.Form_Load();
  s.server.Park("gamma", kParked);
  s.handlers.cmdCopy_Click();
  EXPECT_EQ(s.Listed(), (Names{"alpha", "beta two", "gamma"}));
  EXPECT_EQ(EntryNames(s.server.outbound()), Names{"messages"});
  EXPECT_TRUE(s.window.errors.empty() && s.window.notices.empty());
}

TEST(MainWindow, AFailureIsShownOnceAndTheWindowStaysWithTheListAsOnDisk) {
  struct Failure {
    const char* what;
    std::function<void(Scene&)> beforeLoad;
    // Then every row is ticked and copied, unless this is null.
    std::function<void(Scene&)> beforeCopy;
    // Parts of the message shown.
    std::function<Names(const Scene&)> shown;
    Names listed;
  };
  const std::vector<Failure> failures = {
      {"no Bad Mail value",
       [](Scene& s) { s.server.Configure("", MailServer::OutboundValue()); },
       nullptr,
       [](const Scene&) { return Names{"\"Bad Mail Directory\" does not exist"}; },
       {}},
      {"no outbound value",
       nullptr,
       [](Scene& s) { s.server.Configure(MailServer::BadMailValue(), ""); },
       [](const Scene&) { return Names{"\"Outbound Queue Directory\" does not exist"}; },
       {"alpha", "beta two"}},
      {"the outbound messages directory is a file",
       nullptr,
       [](Scene& s) {
         fs::remove_all(s.server.outbound() / "messages");
         WriteFile(s.server.outbound() / "messages", "");
       },
       [](const Scene& s) {
         return Names{"Error ", PathText(s.server.outbound() / "messages")};
       },
       {"alpha", "beta two"}},
      {"a rename refused",
       nullptr,
       [](Scene& s) {
         const fs::path failing = s.server.outbound() / "messages" / s.list[0].entry.name;
         s.files.access = DirectoryAccess{true, false, false, "alice"};
         s.files.fault = [failing](const std::string& step,
                                   const fs::path& path) -> std::optional<FileError> {
           if (step != "rename" || path != failing) return std::nullopt;
           return FileError(ErrorKind::kAccessDenied, kErrorAccessDenied, "Access denied",
                            PathText(path));
         };
       },
       [](const Scene& s) {
         return Names{"Error " + std::to_string(kErrorAccessDenied) + ": Access denied\n\n",
                      PathText(s.server.outbound() / "messages" / s.list[0].entry.name),
#ifdef _WIN32
                      "\n\nOnly an administrator may change the mail server's queues: start "
                      "Velmoth as administrator."
#else
                      "\n\nThe user alice may not write to the directory " +
                          PathText(s.server.outbound() / "messages") + "."
#endif
         };
       },
       {"alpha", "beta two"}},
  };
  for (const Failure& failure : failures) {
    SCOPED_TRACE(failure.what);
    Scene s;
    if (failure.beforeLoad) failure.beforeLoad(s);
    s.handlers.Form_Load();
    Names shown;
    if (failure.beforeCopy) {
      s.handlers.cmdAll_Click();
      failure.beforeCopy(s);
      shown = failure.shown(s);
      s.handlers.cmdCopy_Click();
    } else {
      shown = failure.shown(s);
    }
    ASSERT_EQ(s.window.errors.size(), 1u);
    for (const std::string& part : shown) {
      EXPECT_NE(s.window.errors[0].find(part), std::string::npos) << s.window.errors[0];
    }
    EXPECT_FALSE(s.window.closed);
    EXPECT_EQ(s.Listed(), failure.listed);
    EXPECT_FALSE(s.AnyTicked());
    EXPECT_TRUE(s.PointerBack());
  }
}

// A read-only parked message is requeued but kept with its command file, and the
// notice names it and says not to requeue it again.
TEST(MainWindow, AReadOnlyParkedMessageIsShownStaysListedAndItsCopyIsWritable) {
  Scene s;
  const fs::path parked = s.server.badMail() / "messages" / "alpha";
  fs::permissions(parked, fs::perms::owner_read);
  s.handlers.Form_Load();
  s.list.SetTicked(RowOf(s.list, "alpha"), true);
  s.handlers.cmdCopy_Click();
  EXPECT_TRUE(s.window.errors.empty());
  ASSERT_EQ(s.window.notices.size(), 1u);
  EXPECT_NE(s.window.notices[0].find("Do not requeue it again:\nalpha (a parked file is "
                                     "read-only)"),
            std::string::npos)
      << s.window.notices[0];
  EXPECT_EQ(s.Listed(), (Names{"alpha", "beta two"}));
  // The copy the server will send, and then delete, is not read-only.
  const fs::perms copied = fs::status(s.server.outbound() / "messages" / "alpha").permissions();
  EXPECT_NE(copied & fs::perms::owner_write, fs::perms::none);
  fs::permissions(parked, fs::perms::owner_all);
}

TEST(MainWindow, RowsSkippedByTheCopyAreToldInOneNotice) {
  Scene s;
  s.handlers.Form_Load();
  s.handlers.cmdAll_Click();
  WriteFile(s.server.badMail() / "alpha", "Status=Spooling\r\n");
  fs::remove(s.server.badMail() / "beta two");
  s.handlers.cmdCopy_Click();
  EXPECT_TRUE(s.window.errors.empty());
  ASSERT_EQ(s.window.notices.size(), 1u);
  EXPECT_EQ(s.window.notices[0],
            "2 messages were skipped and left as they are:\n"
            "1 is no longer a requeue candidate\n"
            "1 is no longer in the Bad Mail directory");
  EXPECT_EQ(s.list.size(), 0u);
}

TEST(MainWindow, FilesTheScanCouldNotReadAreToldOnce) {
  Scene s;
  s.files.fault = [](const std::string& step, const fs::path& path) -> std::optional<FileError> {
    if (step != "open") return std::nullopt;
    return FileError(ErrorKind::kAccessDenied, kErrorAccessDenied, "Access denied", PathText(path));
  };
  s.handlers.Form_Load();
  ASSERT_EQ(s.window.errors.size(), 1u);
  EXPECT_TRUE(s.window.errors[0].starts_with(
      "3 files in the Bad Mail directory could not be read and are not listed. The first:\n\n"
      "Error "))
      << s.window.errors[0];
  EXPECT_EQ(s.list.size(), 0u);
}

TEST(MainWindow, EveryScanStartsFromAnEmptyListWithNoRowTicked) {
  Scene s;
  s.list.Replace({{"stale", 1, FileDate{}}});
  s.list.SetTicked(0, true);
  s.handlers.Form_Load();
  EXPECT_EQ(s.Listed(), (Names{"alpha", "beta two"}));
  s.handlers.cmdAll_Click();
  s.window.deleteTicked = false;
  s.handlers.cmdCopy_Click();
  EXPECT_EQ(s.Listed(), (Names{"alpha", "beta two"}));
  EXPECT_FALSE(s.AnyTicked());
  // The hourglass for the load and for the copy, each time back; the rows the
  // copy changed are read again without it.
  EXPECT_EQ(s.window.pointerLog, (std::vector<bool>{true, false, true, false}));
}

TEST(MainWindow, DoubleClickOpensTheSelectedMessageFile) {
  Scene s;
  s.handlers.Form_Load();
  s.handlers.lvwMail_DblClick();
  EXPECT_TRUE(s.window.viewed.empty());
  s.window.selected = RowOf(s.list, "beta two");
  s.handlers.lvwMail_DblClick();
  ASSERT_EQ(s.window.viewed.size(), 1u);
  EXPECT_EQ(s.window.viewed[0], s.server.badMail() / "messages" / "beta two");
  s.window.viewerMissing = true;
  s.handlers.lvwMail_DblClick();
  EXPECT_EQ(s.window.errors.size(), 1u);
  EXPECT_FALSE(s.window.closed);
}

TEST(MainWindow, QuitClosesTheWindow) {
  Scene s;
  s.handlers.cmdQuit_Click();
  EXPECT_TRUE(s.window.closed);
}

// Delete acts on the ticked rows, or with none ticked on the selected one, once
// the operator said so; the list then shows what is parked, no row ticked, and
// the trail has the run.
TEST(MainWindow, DeleteTakesTheTickedRowsOrTheSelectedOneOnceAsked) {
  const struct {
    const char* what;
    Names ticked;
    const char* selected;
    bool confirms;
    std::string question;  // none asked when empty
    Names listed;
  } cases[] = {
      {"two ticked",
       {"alpha", "beta two"},
       nullptr,
       true,
       "Delete the 2 ticked messages from Bad Mail? They will not be sent.",
       {}},
      {"one ticked, another selected",
       {"alpha"},
       "beta two",
       true,
       "Delete the 1 ticked message from Bad Mail? It will not be sent.",
       {"beta two"}},
      {"the selected row",
       {},
       "beta two",
       true,
       "Delete the message beta two from Bad Mail? It will not be sent.",
       {"alpha"}},
      {"cancelled",
       {"alpha"},
       nullptr,
       false,
       "Delete the 1 ticked message from Bad Mail? It will not be sent.",
       {"alpha", "beta two"}},
      {"nothing ticked or selected", {}, nullptr, true, "", {"alpha", "beta two"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Scene s;
    s.handlers.Form_Load();
    for (const std::string& name : c.ticked) s.list.SetTicked(RowOf(s.list, name), true);
    if (c.selected) s.window.selected = RowOf(s.list, c.selected);
    s.window.confirms = c.confirms;
    s.handlers.DeleteFromBadMail();
    EXPECT_EQ(s.window.questions, c.question.empty() ? Names{} : Names{c.question});
    EXPECT_EQ(s.Listed(), c.listed);
    EXPECT_EQ(s.AnyTicked(), !c.confirms && !c.ticked.empty());
    EXPECT_EQ(testing::SortedRowNames(s.list).size(), c.listed.size());
    const bool deleted = c.confirms && !c.question.empty();
    EXPECT_EQ(s.log.records.empty(), !deleted);
    EXPECT_TRUE(s.window.errors.empty()) << s.window.errors.front();
  }
}

// The tick matching dialog's request, answered with how many rows it matched.
TEST(MainWindow, TickMatchingTicksTheRowsWhoseMessageMatches) {
  Scene s;
  s.server.Park("gamma", kParked, "From: Ann <ann@example.org>\r\nTo: x@example.com\r\n\r\n");
  s.handlers.Form_Load();
  const struct {
    MatchRequest request;
    bool tick;
    std::string said;
    Names ticked;
  } cases[] = {
      {{MatchRequest::Field::kAny, "EXAMPLE.COM", "", ""}, true, "Ticked 1 of 3 rows", {"gamma"}},
      {{MatchRequest::Field::kFrom, "example.com", "", ""}, true, "Ticked 0 of 3 rows", {"gamma"}},
      {{MatchRequest::Field::kAny, "", "", ""},
       true,
       "Ticked 3 of 3 rows",
       {"alpha", "beta two", "gamma"}},
      {{MatchRequest::Field::kAny, "ann", "2000-01-01", ""},
       false,
       "Unticked 1 of 3 rows",
       {"alpha", "beta two"}},
      {{MatchRequest::Field::kAny, "", "yesterday", ""},
       true,
       "Not a date: yesterday. Write 2026-12-07, or 2026-12-07 08:15.",
       {"alpha", "beta two"}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(s.handlers.TickMatching(c.request, c.tick), c.said);
    Names ticked;
    for (const std::size_t position : s.list.TickedRows())
      ticked.push_back(s.list[position].entry.name);
    std::sort(ticked.begin(), ticked.end());
    EXPECT_EQ(ticked, c.ticked) << c.said;
  }
  // Ticked by a recipient's domain alone, and requeued: exactly that row goes out.
  s.handlers.cmdNone_Click();
  s.handlers.TickMatching({MatchRequest::Field::kToOrCc, "@EXAMPLE.com", "", ""}, true);
  s.handlers.cmdCopy_Click();
  EXPECT_EQ(EntryNames(s.server.outbound()), (Names{"gamma", "messages"}));
  EXPECT_EQ(s.Listed(), (Names{"alpha", "beta two"}));
}

// What the watcher saw change comes into the list without a click, the ticks
// staying with their rows.
TEST(MainWindow, ChangesInBadMailComeIntoTheListAndTicksStay) {
  Scene s;
  s.handlers.Form_Load();
  s.list.SetTicked(RowOf(s.list, "alpha"), true);
  s.server.Park("new", kParked);
  fs::remove(s.server.badMail() / "beta two");
  s.handlers.ParkedChanged({"new", "beta two"}, false);
  EXPECT_EQ(s.Listed(), (Names{"alpha", "new"}));
  EXPECT_EQ(s.list.TickedRows(), std::vector<std::size_t>{RowOf(s.list, "alpha")});
  s.server.Park("later", kParked);
  s.handlers.ParkedChanged({}, true);
  EXPECT_EQ(s.Listed(), (Names{"alpha", "later", "new"}));
  EXPECT_EQ(s.list.TickedRows(), std::vector<std::size_t>{RowOf(s.list, "alpha")});
  EXPECT_TRUE(s.window.errors.empty());
  s.window.selected = RowOf(s.list, "alpha");
  s.handlers.ShowDetails();
  ASSERT_EQ(s.window.shownDetails.size(), 1u);
  EXPECT_EQ(s.window.shownDetails[0].name, "alpha");
}

// A log that cannot be written is told once a window, and the work is done.
TEST(MainWindow, ALogThatCannotBeWrittenIsToldOnce) {
  Scene s;
  s.log.refusal = FileError(ErrorKind::kOther, 111, "Connection refused", "/dev/log");
  s.handlers.Form_Load();
  for (int copy = 0; copy < 2; ++copy) {
    s.handlers.cmdAll_Click();
    s.window.deleteTicked = false;
    s.handlers.cmdCopy_Click();
  }
  ASSERT_EQ(s.window.errors.size(), 1u);
  EXPECT_TRUE(s.window.errors[0].starts_with("The system log could not be written"));
  EXPECT_EQ(ReadFile(s.server.outbound() / "messages" / "alpha"), "hello");
}

}  // namespace
}  // namespace velmoth
