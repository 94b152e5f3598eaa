// velmoth-queue's commands run as main runs them, on a scratch mail server whose
// parked files give every reason a file is no candidate: what list writes, what
// requeue writes and leaves on disk, and how failures and usage errors end.
#include "cli/queue_command.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>

#include "support/mail_server.h"
#include "support/memory_log.h"
#include "support/recording_file_system.h"
#include "support/trail_reader.h"

namespace velmoth {
namespace {

namespace fs = std::filesystem;

using testing::EntryNames;
using testing::MailServer;
using testing::RecordingFileSystem;
using Args = std::vector<std::string>;

struct Ran {
  int status;
  std::string out, err;
};

// A scratch mail server with two candidates and a parked file for every reason
// to be none, and velmoth-queue run on it.
class ParkedQueue {
 public:
  ParkedQueue() : files(server.mail()) {
    server.Park("a-ready", "Status=Failed\r\n", "12345");
    server.Park("b-ready", "Status=Retry\r\n", "body");
    server.Park("spooling", "Status=Spooling\r\n", "in flight");
    server.Park("report", "CommandType=NDR\r\n", "ndr");
    server.Park("no-message", "Status=Failed\r\n", nullptr);
    server.Park("link", "Status=Failed\r\n");
    server.Park("locked", "Status=Failed\r\n");
    const FileDate date = std::chrono::sys_days{std::chrono::December / 7 / 2026} +
                          std::chrono::hours(8) + std::chrono::minutes(15);
    fs::last_write_time(server.badMail() / "a-ready", std::chrono::file_clock::from_sys(date));
    faults = {
        {{"open", "Bad Mail/link"}, {ErrorKind::kLink, kErrorIsLink}},
        {{"open", "Bad Mail/locked"}, {ErrorKind::kAccessDenied, kErrorAccessDenied}},
        {{"open", "Bad Mail/messages/locked"}, {ErrorKind::kAccessDenied, kErrorAccessDenied}}};
    files.fault = [this](const std::string& step, const fs::path& path) {
      const auto fault =
          faults.find({step, path.lexically_relative(server.mail()).generic_string()});
      return fault == faults.end()
                 ? std::nullopt
                 : std::optional(FileError(fault->second.first, fault->second.second, "Refused",
                                           PathText(path)));
    };
  }

  // The names in the outbound queue, where each must have its message file too.
  std::vector<std::string> Requeued() const {
    std::vector<std::string> names = EntryNames(server.outbound());
    std::erase(names, "messages");
    EXPECT_EQ(names, EntryNames(server.outbound() / "messages"));
    return names;
  }

  // Of the two candidates, those whose message file is still parked.
  std::vector<std::string> Parked() const {
    std::vector<std::string> names;
    for (const char* name : {"a-ready", "b-ready"}) {
      if (fs::exists(server.badMail() / "messages" / name)) names.push_back(name);
    }
    return names;
  }

  // Run with `typed` answering at a terminal, or with no terminal.
  Ran Command(const Args& args, std::optional<std::string> typed = std::nullopt) {
    std::ostringstream out, err;
    std::istringstream terminal(typed.value_or(""));
    const Console console{out, err, false, typed ? &terminal : nullptr, &log};
    const int status = RunQueueCommand(args, console, files, locations);
    return {status, out.str(), err.str()};
  }

  MailServer server;
  RecordingFileSystem files;
  // As velmoth-queue finds the queues, through the registry.
  RegistryQueueLocations locations;
  testing::MemoryLog log;
  // Steps failed on a file of that path below the mail directory: step and
  // path, the error's kind and number.
  std::map<std::pair<std::string, std::string>, std::pair<ErrorKind, int>> faults;
};

// Every parked file: its size, the reason list gives in text and in JSON (none for
// a candidate).
const struct {
  std::string name, size, text, word;
} kParked[] = {
    {"a-ready", "5", "", ""},
    {"b-ready", "4", "", ""},
    {"link", "4", "link or not a regular file", "not-regular-file"},
    {"locked", "4", "unreadable: error \\d+: Refused: .*locked", "unreadable"},
    {"no-message", "-", "no message file", "no-message-file"},
    {"report", "3", "non-delivery report", "ndr"},
    {"spooling", "9", "spooling", "spooling"},
};

TEST(QueueCommand, ListGivesTheCandidatesAndWithAllEveryOtherFileAndWhyInTextAndJson) {
  ParkedQueue queue;
  const Ran listed = queue.Command({"list"});
  const Ran listedAll = queue.Command({"list", "--all"});
  std::map<std::string, nlohmann::json> rows;
  for (const auto& row : nlohmann::json::parse(queue.Command({"list", "--all", "--json"}).out)) {
    rows[row["name"]] = row;
  }
  std::string candidates, all;
  for (const auto& file : kParked) {
    const std::string line = file.name + " +" + file.size + R"(( +\d{4}-\d\d-\d\d [\d:]{8}| +-))";
    if (file.text.empty()) candidates += line + "\n";
    all += line + (file.text.empty() ? "" : " +" + file.text) + "\n";
    const nlohmann::json& row = rows[file.name];
    EXPECT_EQ(row["candidate"], file.word.empty()) << file.name;
    EXPECT_EQ(row.value("reason", ""), file.word) << file.name;
    EXPECT_EQ(row["size"].dump(), file.size == "-" ? "null" : file.size) << file.name;
  }
  EXPECT_TRUE(std::regex_match(listed.out, std::regex(candidates))) << listed.out;
  EXPECT_TRUE(std::regex_match(listedAll.out, std::regex(all))) << listedAll.out;
  EXPECT_EQ(listed.err.find("velmoth-queue: 1 file in the Bad Mail directory could not be read"),
            0u);
  EXPECT_EQ(listed.status + listedAll.status, 0);
  EXPECT_EQ(rows.size(), std::size(kParked));
  EXPECT_EQ(rows["a-ready"]["date"], "2026-12-07T08:15:00Z");
  const nlohmann::json& error = rows["locked"]["error"];
  EXPECT_EQ(error["number"], kErrorAccessDenied);
  EXPECT_EQ(error["description"], "Refused");
  EXPECT_TRUE(fs::equivalent(PathFromText(error["path"]), queue.server.badMail() / "locked"));
}

// Three more candidates with a header, dated 08:00, 08:15 and 08:30 UTC beside
// a-ready's 08:15; a-ready and b-ready have none.
void ParkMail(ParkedQueue& queue) {
  const struct {
    const char* name;
    const char* message;
    int minute;
  } mail[] = {
      {"m1", "From: ann@example.org\r\nTo: bob@example.com\r\nSubject: Invoice 42\r\n\r\n", 0},
      {"m2",
       "From: carl@example.net\r\nTo: dora@example.org\r\nCc: eve@example.com\r\n"
       "Subject: =?UTF-8?Q?Stra=C3=9Fe?=\r\nDate: Mon, 7 Dec 2026 09:14:00 +0100\r\n\r\n",
       15},
      {"m3", "From: \"ANN\" <ann@other.net>\r\nTo: fred@example.net\r\nSubject: Meeting\r\n\r\n",
       30},
  };
  for (const auto& m : mail) {
    queue.server.Park(m.name, "Status=Failed\r\n", m.message);
    const FileDate date = std::chrono::sys_days{std::chrono::December / 7 / 2026} +
                          std::chrono::hours(8) + std::chrono::minutes(m.minute);
    fs::last_write_time(queue.server.badMail() / m.name, std::chrono::file_clock::from_sys(date));
  }
}

std::vector<std::string> JsonNames(const std::string& out) {
  std::vector<std::string> names;
  for (const auto& row : nlohmann::json::parse(out)) names.push_back(row["name"]);
  return names;
}

TEST(QueueCommand, ListShowsFromToAndSubjectAfterTheOtherColumnsCutToKeepALineReadable) {
  ParkedQueue queue;
  const std::string wide = "請";  // two columns wide
  std::string subject;
  for (int i = 0; i < 30; ++i) subject += wide;
  queue.server.Park("c-mail", "Status=Failed\r\n",
                    ("From: Ann <ann@example.org>\r\nTo: r0@example.net, r1@example.net, "
                     "r2@example.net\r\nSubject: " +
                     subject + "\r\n\r\nbody")
                        .c_str());
  const Ran listed = queue.Command({"list"});
  std::string cutSubject;
  for (int i = 0; i < 24; ++i) cutSubject += wide;
  const std::string date = R"(\d{4}-\d\d-\d\d [\d:]{8})";
  EXPECT_TRUE(std::regex_match(
      listed.out,
      std::regex("a-ready +5  " + date + "\nb-ready +4  " + date + "\nc-mail +\\d+  " + date +
                 "  Ann <ann@example.org>  r0@example.net, r1@example.ne…  " + cutSubject + "…\n")))
      << listed.out;
  const auto rows = nlohmann::json::parse(queue.Command({"list", "--json"}).out);
  EXPECT_EQ(rows[2]["to"], "r0@example.net, r1@example.net, r2@example.net");
  EXPECT_EQ(rows[2]["subject"], subject);
}

TEST(QueueCommand, ListJsonGivesEachHeaderFieldAndNullWhereTheMessageCannotBeRead) {
  ParkedQueue queue;
  ParkMail(queue);
  std::map<std::string, nlohmann::json> rows;
  for (const auto& row : nlohmann::json::parse(queue.Command({"list", "--all", "--json"}).out)) {
    rows[row["name"]] = row;
  }
  const nlohmann::json& m2 = rows["m2"];
  EXPECT_EQ(m2["from"], "carl@example.net");
  EXPECT_EQ(m2["to"], "dora@example.org");
  EXPECT_EQ(m2["cc"], "eve@example.com");
  EXPECT_EQ(m2["subject"], "Straße");
  EXPECT_EQ(m2["date_header"], "Mon, 7 Dec 2026 09:14:00 +0100");
  EXPECT_EQ(rows["a-ready"]["subject"], "");  // read, and without a header
  for (const char* name : {"locked", "no-message"}) {
    for (const char* field : {"from", "to", "cc", "subject", "date_header"}) {
      EXPECT_TRUE(rows[name][field].is_null()) << name << " " << field;
    }
  }
}

// The names alone are those list gives, escaped alike, found without opening a
// message file; every parked name, without date bounds, without opening any file.
TEST(QueueCommand, ListNamesGivesListsNamesWithoutOpeningAMessageFile) {
  const Args bounds{"--after", "2026-12-07T08:15:00Z", "--before", "2026-12-07T08:30:00Z"};
  const struct {
    Args options;
    bool listingAlone;  // the Bad Mail directory's listing gives them
  } cases[] = {
      {{}, false},
      {{"--all"}, true},
      {bounds, false},
      {{"--all", "--before", "2026-12-07T08:30:00Z"}, false},
  };
  for (const auto& c : cases) {
    ParkedQueue queue;
    ParkMail(queue);
    Args json{"list", "--json"}, names{"list", "--names"};
    json.insert(json.end(), c.options.begin(), c.options.end());
    names.insert(names.end(), c.options.begin(), c.options.end());
    std::string expected;
    for (const std::string& name : JsonNames(queue.Command(json).out)) expected += name + "\n";
    queue.files.steps.clear();
    const Ran listed = queue.Command(names);
    EXPECT_EQ(listed.status, 0);
    EXPECT_EQ(listed.out, expected) << names.size();
    for (const std::string& step : queue.files.steps) {
      EXPECT_EQ(step.find("/messages/"), std::string::npos) << step;
      EXPECT_FALSE(c.listingAlone && step.starts_with("open ")) << step;
    }
  }
}

TEST(QueueCommand, FiltersTakeOnlyTheMessagesThatPassThemAll) {
  const struct {
    Args filters;
    std::vector<std::string> listed;
  } cases[] = {
      {{"--from", "ANN"}, {"m1", "m3"}},
      {{"--to", "@EXAMPLE.com"}, {"m1", "m2"}},  // m2 by its Cc
      {{"--subject", "strasse"}, {"m2"}},
      {{"--match", "ANN"}, {"m1", "m3"}},          // From
      {{"--match", "example.com"}, {"m1", "m2"}},  // To, and m2's Cc
      {{"--match", "STRASSE"}, {"m2"}},            // Subject
      {{"--match", "carl", "--subject", "meeting"}, {}},
      {{"--from", "ann", "--to", "example.net"}, {"m3"}},
      {{"--from", "ann", "--subject", "meeting", "--to", "bob"}, {}},
      {{"--after", "2026-12-07T08:15:00Z", "--before", "2026-12-07T08:30:00Z"}, {"a-ready", "m2"}},
      {{"--after", "2026-12-07T08:00:00Z", "--before", "2026-12-07 08:15Z", "--from", "@"}, {"m1"}},
  };
  for (const auto& c : cases) {
    ParkedQueue queue;
    ParkMail(queue);
    Args list{"list", "--json"}, requeue{"requeue"};
    list.insert(list.end(), c.filters.begin(), c.filters.end());
    requeue.insert(requeue.end(), c.filters.begin(), c.filters.end());
    EXPECT_EQ(JsonNames(queue.Command(list).out), c.listed) << c.filters[1];
    const Ran requeued = queue.Command(requeue);
    EXPECT_EQ(requeued.status, 0) << requeued.err;
    EXPECT_EQ(queue.Requeued(), c.listed) << c.filters[1];
    EXPECT_EQ(requeued.err,
              c.listed.empty() ? "velmoth-queue: no requeue candidate passes the filters\n" : "");
  }
}

TEST(QueueCommand, RequeueMovesTheCandidatesAsAskedAndSkipsTheOthers) {
  const struct {
    Args args;
    std::string out;
    int status;
    std::vector<std::string> requeued;  // now in the outbound queue
    std::vector<std::string> parked;    // of a-ready and b-ready, still in Bad Mail
  } cases[] = {
      {{"requeue", "b-ready"}, "requeued b-ready\n", 0, {"b-ready"}, {"a-ready"}},
      {{"requeue", "--all"}, "requeued a-ready\nrequeued b-ready\n", 0, {"a-ready", "b-ready"}, {}},
      {{"requeue", "--keep", "a-ready"},
       "requeued a-ready, kept in Bad Mail\n",
       0,
       {"a-ready"},
       {"a-ready", "b-ready"}},
      {{"requeue", "--dry-run", "--all"},
       "would requeue a-ready\nwould requeue b-ready\n",
       0,
       {},
       {"a-ready", "b-ready"}},
      {{"requeue", "spooling", "a-ready", "a-ready"},
       "skipped spooling: not a requeue candidate (spooling)\nrequeued a-ready\n",
       0,
       {"a-ready"},
       {"b-ready"}},
      // A name that is not parked, or no name in the queue at all, fails the command.
      {{"requeue", "nowhere", "../Queue/Outbound/x", "a-ready"},
       "skipped nowhere: not in the Bad Mail directory\n"
       "skipped ../Queue/Outbound/x: not in the Bad Mail directory\nrequeued a-ready\n",
       1,
       {"a-ready"},
       {"b-ready"}},
  };
  for (const auto& c : cases) {
    ParkedQueue queue;
    const Ran run = queue.Command(c.args);
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.err, "");  // no progress where no one watches
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(queue.Requeued(), c.requeued) << c.out;
    EXPECT_EQ(queue.Parked(), c.parked) << c.out;
  }
}

TEST(QueueCommand, RequeueShowsProgressOnATerminalOnStandardError) {
  ParkedQueue queue;
  std::ostringstream out, err;
  EXPECT_EQ(RunQueueCommand({"requeue", "--all"}, {out, err, true}, queue.files, queue.locations),
            0);
  EXPECT_EQ(err.str(), "\rvelmoth-queue: requeued 2 of 2\n");
  EXPECT_EQ(out.str(), "requeued a-ready\nrequeued b-ready\n");
}

// The rows the requeue itself skips or fails: a message taken away or made a link
// after the scan, a rename refused, and the row the failure leaves untried.
TEST(QueueCommand, RequeueJsonTellsEachRowsOutcomeAndAFailureEndsWithStatus1) {
  ParkedQueue queue;
  queue.server.Park("c-ready", "Status=Failed\r\n");
  queue.server.Park("d-ready", "Status=Failed\r\n");
  queue.server.Park("e-ready", "Status=Failed\r\n");
  queue.faults[{"delete", "Bad Mail/messages/e-ready"}] = {ErrorKind::kBusy, kErrorAccessDenied};
  queue.faults[{"open", "Bad Mail/messages/a-ready"}] = {ErrorKind::kNotFound, kErrorNotFound};
  queue.faults[{"open", "Bad Mail/messages/b-ready"}] = {ErrorKind::kLink, kErrorIsLink};
  queue.faults[{"rename", "Queue/Outbound/messages/c-ready"}] = {ErrorKind::kAccessDenied,
                                                                 kErrorAccessDenied};
  std::ostringstream out, err;
  const Args args{"requeue", "--json", "e-ready", "c-ready", "d-ready", "b-ready", "a-ready"};
  EXPECT_EQ(RunQueueCommand(args, {out, err}, queue.files, queue.locations), 1);
  const auto rows = nlohmann::json::parse(out.str());
  std::vector<std::string> outcomes;
  for (const auto& row : rows) outcomes.push_back(row["outcome"]);
  EXPECT_EQ(outcomes, (std::vector<std::string>{"requeued-not-deleted", "failed", "not-tried",
                                                "no-longer-candidate", "gone"}));
  EXPECT_EQ(rows[0]["reason"], "delete-failed");
  EXPECT_EQ(rows[1]["error"]["number"], kErrorAccessDenied);
  const std::string refused =
      "velmoth-queue: error " + std::to_string(kErrorAccessDenied) + ": Refused: ";
  EXPECT_EQ(err.str().substr(0, refused.size()), refused);
  EXPECT_EQ(queue.Requeued(), std::vector<std::string>{"e-ready"});
}

// A name the server is sending out of the outbound queue is skipped, by the dry
// run as by the requeue; a missing outbound directory is named in both.
TEST(QueueCommand, RequeueSaysWhatTheOutboundQueueStandsInTheWayOf) {
  const struct {
    const char* what;
    std::function<void(MailServer&)> arrange;
    int status;
    std::string out;
    std::string err;  // its start
  } cases[] = {
      {"the server sends a-ready",
       [](MailServer& s) { testing::WriteFile(s.outbound() / "a-ready", "Status=Spooling\r\n"); },
       0,
       "skipped a-ready: not a requeue candidate (the server is sending a message of this name "
       "from the outbound queue)\n",
       ""},
      {"no outbound queue", [](MailServer& s) { fs::remove_all(s.outbound()); }, 1, "",
       "velmoth-queue: error 2: "},
      {"no outbound messages directory",
       [](MailServer& s) { fs::remove_all(s.outbound() / "messages"); }, 1, "",
       "velmoth-queue: error 2: The outbound queue has no \"messages\" directory: "},
  };
  for (const auto& c : cases) {
    for (const bool dryRun : {true, false}) {
      ParkedQueue queue;
      c.arrange(queue.server);
      const Ran run =
          queue.Command(dryRun ? Args{"requeue", "-n", "a-ready"} : Args{"requeue", "a-ready"});
      const std::string what = std::string(c.what) + (dryRun ? ", dry run" : "");
      EXPECT_EQ(run.status, c.status) << what;
      if (c.status == 0) {
        EXPECT_EQ(run.out, c.out) << what;
      }
      EXPECT_EQ(run.err.substr(0, c.err.size()), c.err) << what;
      EXPECT_NE(run.err.find(c.status == 0 ? "" : "Outbound"), std::string::npos) << run.err;
      EXPECT_EQ(queue.Parked(), (std::vector<std::string>{"a-ready", "b-ready"})) << what;
    }
  }
}

// delete takes named rows of any kind, or the candidates or the non-delivery
// reports that pass the filters; it asks at a terminal, and refuses a script that
// does not say --yes.
TEST(QueueCommand, DeleteTakesWhatItIsToldAndAsksFirst) {
  const struct {
    Args args;
    std::optional<std::string> typed;  // at a terminal
    int status;
    std::string out;
    std::string err;                  // its start
    std::vector<std::string> parked;  // of a-ready, b-ready, report, no-message, spooling
  } cases[] = {
      {{"delete", "--ndr", "-y"},
       {},
       0,
       "deleted report\n",
       "",
       {"a-ready", "b-ready", "no-message", "spooling"}},
      {{"delete", "-n", "--all"},
       {},
       0,
       "would delete a-ready\nwould delete b-ready\n",
       "",
       {"a-ready", "b-ready", "no-message", "report", "spooling"}},
      {{"delete", "--to", "nobody", "-y"},
       {},
       0,
       "",
       "velmoth-queue: no parked message passes the filters",
       {"a-ready", "b-ready", "no-message", "report", "spooling"}},
      {{"delete", "-y", "no-message", "spooling", "nowhere"},
       {},
       1,
       "deleted no-message\nskipped spooling: being sent by the server\n"
       "skipped nowhere: not in the Bad Mail directory\n",
       "",
       {"a-ready", "b-ready", "report", "spooling"}},
      {{"delete", "--all"},
       {},
       2,
       "",
       "velmoth-queue: delete asks before it deletes",
       {"a-ready", "b-ready", "no-message", "report", "spooling"}},
      {{"delete", "--all"},
       "n\n",
       1,
       "",
       "Delete 2 messages from Bad Mail? They will not be sent. [y/N] velmoth-queue: nothing",
       {"a-ready", "b-ready", "no-message", "report", "spooling"}},
      {{"delete", "--all"},
       "y\n",
       0,
       "deleted a-ready\ndeleted b-ready\n",
       "Delete 2 messages from Bad Mail?",
       {"no-message", "report", "spooling"}},
      {{"delete", "-y", "a-ready", "locked", "b-ready"},
       {},
       1,
       "deleted a-ready\nfailed locked\nnot tried b-ready: the deletion stopped at an earlier "
       "failure\n",
       "velmoth-queue: error " + std::to_string(kErrorAccessDenied) + ": Refused: ",
       {"b-ready", "no-message", "report", "spooling"}},
  };
  for (const auto& c : cases) {
    ParkedQueue queue;
    const Ran run = queue.Command(c.args, c.typed);
    SCOPED_TRACE(::testing::PrintToString(c.args));
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err.substr(0, c.err.size()), c.err) << run.err;
    std::vector<std::string> parked;
    for (const char* name : {"a-ready", "b-ready", "no-message", "report", "spooling"}) {
      if (fs::exists(queue.server.badMail() / name)) parked.push_back(name);
    }
    EXPECT_EQ(parked, c.parked);
  }
}

// Every requeue and delete leaves its trail; a dry run changes nothing and
// leaves none; a log that cannot be written is told once, and the work is done.
TEST(QueueCommand, RequeuesAndDeletesAreRecordedInTheSystemLog) {
  ParkedQueue queue;
  EXPECT_EQ(queue.Command({"requeue", "-n", "--all"}).status, 0);
  EXPECT_TRUE(queue.log.records.empty());
  EXPECT_EQ(queue.Command({"requeue", "--keep", "a-ready", "b-ready", "spooling"}).status, 0);
  ASSERT_FALSE(queue.log.records.empty());
  EXPECT_TRUE(queue.log.records[0].starts_with("requeue run ")) << queue.log.records[0];
  EXPECT_NE(queue.log.records[0].find("by velmoth-queue"), std::string::npos);
  EXPECT_EQ(testing::ReadTrail(queue.log.records),
            (std::vector<TrailRow>{{"a-ready", "requeued"}, {"b-ready", "requeued"}}));
  queue.log.records.clear();
  EXPECT_EQ(queue.Command({"delete", "--ndr", "-y"}).status, 0);
  EXPECT_EQ(testing::ReadTrail(queue.log.records), (std::vector<TrailRow>{{"report", "deleted"}}));

  queue.log.refusal = FileError(ErrorKind::kOther, 111, "Connection refused", "/dev/log");
  const Ran run = queue.Command({"delete", "-y", "a-ready"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "deleted a-ready\n");
  EXPECT_EQ(run.err,
            "velmoth-queue: the system log could not be written: error 111: Connection refused: "
            "/dev/log\n");
}

// The outbound queue at a glance: what a requeue put there, as Unsent, beside
// what the server queued itself, filtered as list filters; nothing changed by
// looking.
TEST(QueueCommand, ListOutboundShowsTheStateOfWhatWasRequeued) {
  ParkedQueue queue;
  ParkMail(queue);
  testing::WriteFile(queue.server.outbound() / "other",
                     "Status=Retry\r\nRetries=3\r\nNextSendTime=1039243145\r\n");
  testing::WriteFile(queue.server.outbound() / "odd", "NextSendTime=soon\r\n");
  ASSERT_EQ(queue.Command({"requeue", "--keep", "a-ready", "m1"}).status, 0);
  const auto before = EntryNames(queue.server.outbound());
  std::map<std::string, nlohmann::json> rows;
  for (const auto& row :
       nlohmann::json::parse(queue.Command({"list", "--outbound", "--json"}).out)) {
    rows[row["name"]] = row;
  }
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows["m1"]["status"], "Unsent");
  EXPECT_EQ(rows["m1"]["from"], "ann@example.org");
  EXPECT_EQ(rows["other"]["retries"], "3");
  EXPECT_EQ(rows["other"]["next_send"], "2002-12-07T06:39:05Z");
  EXPECT_TRUE(rows["other"]["size"].is_null());
  EXPECT_EQ(rows["odd"]["next_send"], "soon");
  EXPECT_TRUE(rows["odd"]["status"].is_null());
  EXPECT_EQ(JsonNames(queue.Command({"list", "--outbound", "--json", "--from", "ann"}).out),
            std::vector<std::string>{"m1"});
  const Ran text = queue.Command({"list", "--outbound"});
  EXPECT_TRUE(std::regex_search(
      text.out, std::regex("other +- +[\\d: -]+ +Retry +3 +2002-12-0[67] [\\d:]+\n")))
      << text.out;
  EXPECT_EQ(EntryNames(queue.server.outbound()), before);
}

// A queue directory that refuses the process gets one more line saying what to do;
// a read-only file, a file another process holds or a directory that may be
// written gets none. The error itself stays as it is.
TEST(QueueCommand, ARefusalByAQueueDirectorySaysWhatToDo) {
  const struct {
    ErrorKind kind;
    bool mayWrite;
    bool advised;
  } cases[] = {{ErrorKind::kAccessDenied, false, true},
               {ErrorKind::kAccessDenied, true, false},
               {ErrorKind::kReadOnly, false, false},
               {ErrorKind::kBusy, false, false}};
  for (const auto& c : cases) {
    ParkedQueue queue;
    const fs::path messages = queue.server.outbound() / "messages";
    queue.files.access = DirectoryAccess{true, c.mayWrite, false, "alice"};
    queue.files.fault = [&](const std::string& step, const fs::path& path) {
      return step == "create"
                 ? std::optional(FileError(c.kind, kErrorAccessDenied, "Refused", PathText(path)))
                 : std::nullopt;
    };
    const Ran run = queue.Command({"requeue", "a-ready"});
    EXPECT_EQ(run.status, 1);
    const std::string head = "velmoth-queue: error " + std::to_string(kErrorAccessDenied) +
                             ": Refused: " + PathText(messages);
    EXPECT_EQ(run.err.substr(0, head.size()), head) << run.err;
#ifdef _WIN32
    const std::string advice =
        "velmoth-queue: Only an administrator may change the mail server's queues: start "
        "velmoth-queue as administrator.\n";
#else
    const std::string advice = "velmoth-queue: The user alice may not write to the directory " +
                               PathText(messages) + ".\n";
#endif
    EXPECT_EQ(run.err.ends_with(advice), c.advised) << run.err;
  }
}

TEST(QueueCommand, SetupAndUsageErrorsEndWithTheirStatusAndSayWhy) {
  const std::string noValue = "velmoth-queue: error 2: The registry value ";
  const std::string noBadMail = noValue +
                                "\"Bad Mail Directory\" does not exist: "
                                "HKEY_LOCAL_MACHINE\\SOFTWARE\\korvane\\korvane\n";
  const struct {
    bool badMail, outbound;  // whether the registry value is there
    Args args;
    int status;
    std::string out, err;  // the start of each
  } cases[] = {
      {false, true, {"list"}, 1, "", noBadMail},
      {true, false, {"requeue", "a-ready"}, 1, "failed a-ready\n", noValue + "\"Outbound"},
      {true, false, {"requeue", "-n", "--all"}, 1, "", noValue + "\"Outbound"},
      {true, true, {"show", "nowhere"}, 1, "", "velmoth-queue: error 2: "},
      {true, true, {"list", "--bogus"}, 2, "", "velmoth-queue: The following argument was not"},
      {true, true, {"requeue"}, 2, "", "velmoth-queue: requeue: name the messages to requeue"},
      {true, true, {"requeue", "a-ready", "--from", "ann"}, 2, "", "velmoth-queue: NAME excludes"},
      {true, true, {"list", "--names", "--json"}, 2, "", "velmoth-queue: --json excludes --names"},
      {true, true, {"list", "--to", "x", "--names"}, 2, "", "velmoth-queue: --names excludes --to"},
      {true, true, {"list", "--names", "--match", "x"}, 2, "", "velmoth-queue: --names excludes"},
      {true, true, {"list", "--after", "2026-12-7"}, 2, "", "velmoth-queue: --after: not a date"},
      {true, true, {"list", "--before", "yesterday"}, 2, "", "velmoth-queue: --before: not a"},
      {true, true, {"summary", "--by", "week"}, 2, "", "velmoth-queue: --by: not to-domain, "},
      {false, true, {"summary"}, 1, "", noBadMail},
      {true,
       true,
       {"summary"},
       0,
       "to domain ",
       "velmoth-queue: 1 file in the Bad Mail directory could not be read and is not counted: "},
      {true, true, {"--version"}, 0, "velmoth-queue " VELMOTH_VERSION "\n", ""},
      {true, true, {"lsit"}, 2, "", "velmoth-queue: \"lsit\" is not a command (list, requeue"},
      {true, true, {"show", "a-ready\\x00junk"}, 2, "", "velmoth-queue: NAME: a name holds no"},
  };
  for (const auto& c : cases) {
    ParkedQueue queue;
    queue.server.Configure(c.badMail ? MailServer::BadMailValue() : "",
                           c.outbound ? MailServer::OutboundValue() : "");
    const Ran run = queue.Command(c.args);
    SCOPED_TRACE(run.err);
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.out.substr(0, c.out.size()), c.out);
    EXPECT_EQ(run.err.substr(0, c.err.size()), c.err);
    EXPECT_EQ(queue.Parked(), (std::vector<std::string>{"a-ready", "b-ready"}));
  }
}

}  // namespace
}  // namespace velmoth
