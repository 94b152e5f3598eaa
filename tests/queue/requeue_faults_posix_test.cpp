// The requeue with its system calls failing one at a time, and with a busy mail
// server acting between any two of them: for every call of every kind, whatever
// happens, no message is lost or cut, every row's reported outcome is what the
// disk shows, no temporary file and no message file without its command file is
// left in the outbound queue, and nothing outside the queues changes.
#include <gtest/gtest.h>

#include <functional>
#include <iostream>
#include <optional>

#include "queue/parked_deletion.h"
#include "queue/requeue.h"
#include "queue/trail_record.h"
#include "support/mail_server.h"
#include "support/system_call_faults.h"

namespace velmoth {
namespace {

namespace fs = std::filesystem;

using testing::CallKind;
using testing::EntryNames;
using testing::MailServer;
using testing::ReadFile;
using testing::SystemCallFaults;
using testing::WriteFile;

constexpr std::int64_t kNow = 1039243145;
constexpr char kOutside[] = "not mail";

struct Parked {
  std::string name;
  std::string command;
  std::string message;
  // What the outbound queue held under the name before the requeue.
  std::optional<std::pair<std::string, std::string>> outbound = {};
};

std::string Requeued(const std::string& command) {
  std::string out;
  for (std::size_t at = 0; at < command.size();) {
    const std::size_t end = command.find("\r\n", at);
    std::string line = command.substr(at, end - at);
    if (line.starts_with("Status=")) line = "Status=Unsent";
    if (line.starts_with("Retries=")) line = "Retries=0";
    if (line.starts_with("NextSendTime=")) line = "NextSendTime=1039243145";
    out += line + "\r\n";
    at = end == std::string::npos ? command.size() : end + 2;
  }
  return out;
}

// Three messages of a few bytes, of several reads and of none; the fourth's name
// is taken in the outbound queue by an entry the server is not sending.
std::vector<Parked> Sample() {
  std::string big;
  while (big.size() < 300000) big += "Line " + std::to_string(big.size()) + " of a long one.\r\n";
  return {{"a", "Status=Failed\r\nRetries=4\r\nX-Note=a\r\n", "Subject: a\r\n\r\nbody"},
          {"b", "Status=Retry\r\nNextSendTime=1\r\n", big},
          {"c", "Status=Failed\r\n", ""},
          {"d",
           "Status=Failed\r\nX-Note=d\r\n",
           "Subject: d\r\n\r\nnew",
           {{"Status=Retry\r\n", "old"}}}};
}

class Scene {
 public:
  explicit Scene(std::vector<Parked> parked) : parked_(std::move(parked)) {
    for (const Parked& p : parked_) {
      server.Park(p.name, p.command, p.message.c_str());
      if (p.outbound) {
        WriteFile(server.outbound() / p.name, p.outbound->first);
        WriteFile(server.outbound() / "messages" / p.name, p.outbound->second);
      }
    }
    WriteFile(server.root() / "outside", kOutside);
  }

  std::vector<RequeueRow> Run(bool deleteParked, std::size_t batchRows) {
    std::vector<std::string> names;
    for (const Parked& p : parked_) names.push_back(p.name);
    RequeueOptions options;
    options.deleteParked = deleteParked;
    options.batchRows = batchRows;
    options.clock = [] { return kNow; };
    NativeFileSystem files;
    return Requeue(names, options, files, server.locations());
  }

  std::vector<DeletionRow> Delete() {
    std::vector<std::string> names;
    for (const Parked& p : parked_) names.push_back(p.name);
    NativeFileSystem files;
    DeletionOptions options;
    options.batchRows = 2;
    return DeleteParked(names, options, files, server.locations());
  }

  // What is wrong in Bad Mail against a deletion's report.
  std::vector<std::string> DeletionProblems(const std::vector<DeletionRow>& rows) const {
    std::vector<std::string> problems;
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const Parked& p = parked_[i];
      const auto command = Read(server.badMail() / p.name);
      const auto message = Read(server.badMail() / "messages" / p.name);
      const bool whole = command == p.command && message == p.message;
      const bool gone = !command && !message;
      // No two files go in one step: a row whose second deletion failed says so.
      const bool half = rows[i].error &&
                        rows[i].error->description().find("deleted before it") != std::string::npos;
      const bool told = rows[i].outcome == DeletionOutcome::kDeleted ? gone : whole || half;
      if (!told) {
        problems.push_back(p.name + " (" + OutcomeWord(rows[i].outcome) + "): not as told" +
                           (rows[i].error ? std::string(": ") + rows[i].error->what() : ""));
      }
    }
    for (const fs::path& dir : {server.badMail(), server.badMail() / "messages"}) {
      for (const std::string& name : EntryNames(dir)) {
        if (IsTemporaryName(name)) problems.push_back(name + ": a claimed parked file left");
      }
    }
    if (ReadFile(server.root() / "outside") != kOutside) problems.push_back("outside changed");
    return problems;
  }

  // What is wrong on disk against the report, a sentence for each fault.
  // The row named `leftOut`, whose files the server changed itself, is not
  // checked.
  std::vector<std::string> Problems(const std::vector<RequeueRow>& rows, bool deleteParked,
                                    bool temporariesMayStay,
                                    const std::string& leftOut = {}) const {
    std::vector<std::string> problems;
    for (std::size_t i = 0; i < rows.size(); ++i) {
      if (rows[i].name != leftOut) Check(parked_[i], rows[i], deleteParked, problems);
    }
    for (const std::string& name : EntryNames(server.outbound() / "messages")) {
      if (IsTemporaryName(name) && !temporariesMayStay) problems.push_back(name + ": left");
      if (!IsTemporaryName(name) && !fs::exists(server.outbound() / name)) {
        problems.push_back(name + ": an outbound message file without its command file");
      }
    }
    for (const fs::path& dir : {server.badMail(), server.badMail() / "messages"}) {
      for (const std::string& name : EntryNames(dir)) {
        if (IsTemporaryName(name)) problems.push_back(name + ": a claimed parked file left");
      }
    }
    if (ReadFile(server.root() / "outside") != kOutside) problems.push_back("outside changed");
    return problems;
  }

  MailServer server;

 private:
  std::optional<std::string> Read(const fs::path& path) const {
    if (!fs::exists(path)) return std::nullopt;
    return ReadFile(path);
  }

  void Check(const Parked& p, const RequeueRow& row, bool deleteParked,
             std::vector<std::string>& problems) const {
    const auto problem = [&](const std::string& what) {
      problems.push_back(p.name + " (" + std::to_string(static_cast<int>(row.outcome)) +
                         "): " + what + (row.error ? std::string(": ") + row.error->what() : ""));
    };
    const auto parkedCommand = Read(server.badMail() / p.name);
    const auto parkedMessage = Read(server.badMail() / "messages" / p.name);
    const auto command = Read(server.outbound() / p.name);
    const auto message = Read(server.outbound() / "messages" / p.name);
    const bool parked = parkedCommand == p.command && parkedMessage == p.message;
    const bool parkedGone = !parkedCommand && !parkedMessage;
    const bool live = command == Requeued(p.command) && message == p.message;
    if ((parkedCommand && *parkedCommand != p.command) ||
        (parkedMessage && *parkedMessage != p.message)) {
      problem("a parked file changed");
    }
    if (!parked && !live) problem("whole in neither queue");
    switch (row.outcome) {
      case RequeueOutcome::kRequeued:
        if (!live) problem("reported requeued, not live");
        if (deleteParked && !parkedGone) problem("reported requeued, parked files left");
        if (!deleteParked && !parked) problem("kept, but not parked");
        break;
      case RequeueOutcome::kRequeuedNotDeleted:
        // Two files are never deleted in one step: one may be gone, and the
        // error says so.
        if (!live || (row.kept == KeptReason::kDeleteFailed ? parkedGone : !parked)) {
          problem("reported live and kept, but it is not");
        }
        break;
      default: {
        // Nothing of this run in the outbound queue: what was there before, or
        // for a message file the copy replaced, nothing, and the error says so.
        const auto before = p.outbound ? std::optional(p.outbound->first) : std::nullopt;
        const auto beforeMessage = p.outbound ? std::optional(p.outbound->second) : std::nullopt;
        const bool said =
            row.error && row.error->description().find("is gone") != std::string::npos;
        if (command != before)
          problem("not requeued, yet its command file is in the outbound queue");
        if (message != beforeMessage && !(said && !message)) {
          problem("not requeued, yet the outbound message file is not what it was");
        }
        if (!parked) problem("not requeued, and not parked");
      }
    }
  }

  std::vector<Parked> parked_;
};

// As the server writes a file: complete under another name, then renamed into place.
void WriteByRename(const fs::path& path, const std::string& bytes) {
  const fs::path temporary = path.parent_path() / ("~" + path.filename().string());
  WriteFile(temporary, bytes);
  fs::rename(temporary, path);
}

struct Configuration {
  const char* what;
  bool deleteParked;
  std::size_t batchRows;  // 1: each file flushed on its own; 4: the file system at once
};
constexpr Configuration kConfigurations[] = {
    {"one row a batch, with deletion", true, 1},
    {"one batch, with deletion", true, 4},
    {"one row a batch, kept", false, 1},
    {"one batch, kept", false, 4},
};

TEST(RequeueFaults, EveryCallOfEveryKindMayFail) {
  const CallKind kinds[] = {CallKind::kOpen,           CallKind::kRead,
                            CallKind::kShortRead,      CallKind::kWrite,
                            CallKind::kCopy,           CallKind::kFlushFile,
                            CallKind::kFlushDirectory, CallKind::kFlushFileSystem,
                            CallKind::kRename,         CallKind::kDelete};
  for (const Configuration& configuration : kConfigurations) {
    for (const CallKind kind : kinds) {
      std::size_t points = 0;
      for (std::size_t nth = 1;; ++nth) {
        Scene scene(Sample());
        std::vector<RequeueRow> rows;
        bool broke = false;
        std::string brokenName;
        {
          SystemCallFaults faults;
          faults.Break(kind, nth);
          rows = scene.Run(configuration.deleteParked, configuration.batchRows);
          broke = faults.broke();
          brokenName = faults.brokenName();
        }
        // A temporary file whose removal failed stays until a later requeue
        // sweeps it away, ten minutes on.
        const bool temporaryKept = kind == CallKind::kDelete && IsTemporaryName(brokenName);
        const auto problems = scene.Problems(rows, configuration.deleteParked, temporaryKept);
        EXPECT_TRUE(problems.empty())
            << configuration.what << ", " << CallKindName(kind) << " " << nth << " fails:\n"
            << ::testing::PrintToString(problems);
        if (!broke) {
          if (kind == CallKind::kShortRead) {
            for (const RequeueRow& row : rows) EXPECT_EQ(row.outcome, RequeueOutcome::kRequeued);
          }
          break;
        }
        ++points;
      }
      std::cout << "[  FAULTS  ] " << configuration.what << ": " << points << " of "
                << CallKindName(kind) << "\n";
    }
  }
}

TEST(RequeueFaults, EveryCallOfADeletionMayFail) {
  for (const CallKind kind : {CallKind::kOpen, CallKind::kRead, CallKind::kShortRead,
                              CallKind::kFlushDirectory, CallKind::kRename, CallKind::kDelete}) {
    std::size_t points = 0;
    for (std::size_t nth = 1;; ++nth, ++points) {
      Scene scene(Sample());
      std::vector<DeletionRow> rows;
      bool broke = false;
      {
        SystemCallFaults faults;
        faults.Break(kind, nth);
        rows = scene.Delete();
        broke = faults.broke();
      }
      const auto problems = scene.DeletionProblems(rows);
      EXPECT_TRUE(problems.empty()) << CallKindName(kind) << " " << nth << " fails:\n"
                                    << ::testing::PrintToString(problems);
      if (!broke) break;
    }
    std::cout << "[  FAULTS  ] deletion: " << points << " of " << CallKindName(kind) << "\n";
  }
}

// A busy server between any two calls of the requeue: it parks a new message
// under a name being requeued, begins sending a parked one, or queues one of the
// same name for sending. What it did is never undone.
TEST(RequeueFaults, ABusyServerMayActBetweenAnyTwoCalls) {
  const struct {
    const char* what;
    const char* name;  // of the message the server acts on
    // Acts on the server, if it still can; whether it did.
    std::function<bool(MailServer&)> act;
    // What the server's act must have left, once it acted.
    std::function<bool(const MailServer&)> kept;
  } actions[] = {
      {"parks a new message as a", "a",
       [](MailServer& s) {
         fs::remove(s.badMail() / "a");
         fs::remove(s.badMail() / "messages" / "a");
         WriteFile(s.badMail() / "messages" / "a", "the next one");
         WriteFile(s.badMail() / "a", "Status=Failed\r\nX-Note=next\r\n");
         return true;
       },
       [](const MailServer& s) {
         const bool parked = ReadFile(s.badMail() / "messages" / "a") == "the next one";
         const bool requeued = ReadFile(s.outbound() / "messages" / "a") == "the next one";
         return parked || requeued;
       }},
      {"begins sending the parked b", "b",
       [](MailServer& s) {
         if (!fs::exists(s.badMail() / "b")) return false;
         std::string command = ReadFile(s.badMail() / "b");
         command.replace(0, command.find("\r\n"), "Status=Spooling");
         WriteFile(s.badMail() / "b", command);
         return true;
       },
       [](const MailServer& s) {
         return ReadFile(s.badMail() / "b").starts_with("Status=Spooling");
       }},
      {"queues a message c for sending", "c",
       [](MailServer& s) {
         if (fs::exists(s.outbound() / "c")) return false;
         WriteByRename(s.outbound() / "messages" / "c", "being sent");
         WriteByRename(s.outbound() / "c", "Status=Spooling\r\n");
         return true;
       },
       [](const MailServer& s) {
         return ReadFile(s.outbound() / "messages" / "c") == "being sent" &&
                ReadFile(s.outbound() / "c") == "Status=Spooling\r\n";
       }},
  };
  // What the server does matters only where parked files are deleted.
  for (const Configuration& configuration : kConfigurations) {
    if (!configuration.deleteParked) continue;
    for (const auto& action : actions) {
      std::size_t points = 0;
      for (std::size_t step = 0;; ++step) {
        std::vector<Parked> sample = Sample();
        sample.pop_back();  // no outbound entry to begin with
        Scene scene(sample);
        std::size_t calls = 0;
        bool acted = false;
        std::vector<RequeueRow> rows;
        {
          SystemCallFaults faults;
          faults.before = [&](CallKind, std::size_t) {
            if (calls++ == step) acted = action.act(scene.server);
          };
          rows = scene.Run(configuration.deleteParked, configuration.batchRows);
        }
        const std::string where = std::string(configuration.what) + ": the server " + action.what +
                                  " before call " + std::to_string(step + 1);
        if (acted) {
          EXPECT_TRUE(action.kept(scene.server)) << where;
        }
        const auto problems =
            scene.Problems(rows, configuration.deleteParked, false, acted ? action.name : "");
        EXPECT_TRUE(problems.empty()) << where << ":\n" << ::testing::PrintToString(problems);
        if (step >= calls) break;
        ++points;
      }
      std::cout << "[  SERVER  ] " << configuration.what << ": the server " << action.what
                << " at each of " << points << " calls\n";
    }
  }
}

}  // namespace
}  // namespace velmoth
