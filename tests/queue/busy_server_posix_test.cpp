// The scan and the requeue against a mail server in a process of its own, busy
// parking, rewriting and deleting messages all the while: no scan hangs or lists
// what the server did not park whole, and no requeue loses a message.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <sstream>

#include "queue/bad_mail_scan.h"
#include "queue/requeue.h"
#include "support/child_process.h"
#include "support/mail_server.h"

namespace velmoth {
namespace {

namespace fs = std::filesystem;

using testing::ChildChannel;
using testing::ChildProcess;
using testing::MailServer;
using testing::ReadFile;
using testing::Watchdog;

constexpr int kNames = 24;
constexpr auto kBusyFor = std::chrono::seconds(1);

std::string NameOf(int index) {
  char name[16];
  std::snprintf(name, sizeof name, "msg-%02d", index);
  return name;
}

// The message file of a name's generation: its size alone tells both apart.
std::size_t MessageSize(int index, int generation) {
  return 64 + static_cast<std::size_t>(generation) * kNames + static_cast<std::size_t>(index);
}
std::string MessageBytes(int index, int generation) {
  std::string bytes = NameOf(index) + " generation " + std::to_string(generation) + "\r\n";
  bytes.resize(MessageSize(index, generation), '.');
  return bytes;
}

// "X-Gen=" and six digits: the generation a command file belongs to.
std::string GenerationLine(int generation) {
  char line[16];
  std::snprintf(line, sizeof line, "X-Gen=%06d", generation);
  return line;
}

// Every rewrite keeps the length, so that one written in place is never seen short.
std::string CommandText(int index, int generation, bool spooling, int retries) {
  return std::string("Status=") + (spooling ? "Spooling" : "Retrying") +
         "\r\nX-Name=" + NameOf(index) + "\r\n" + GenerationLine(generation) +
         "\r\nRetries=" + std::to_string(retries % 10) + "\r\n";
}

// The mail server's side. Each name is parked, rewritten and deleted over and
// over, a new generation each time it is parked again; a name whose files the
// requeue took away is not used again. It writes down "P name generation" once a
// message is parked whole and "D name generation" as it deletes one.
class BusyServer {
 public:
  explicit BusyServer(fs::path badMail) : badMail_(std::move(badMail)) {}

  void Step() {
    const int index = static_cast<int>(Random() % kNames);
    Slot& slot = slots_[index];
    if (slot.retired) return;
    if (!slot.parked) return Park(index);
    switch (Random() % 8) {
      case 0:
        return Delete(index);
      case 1:
      case 2:
      case 3:
        return RewriteInPlace(index);
      default:
        return RewriteByRename(index);
    }
  }
  const std::string& log() const { return log_; }

 private:
  struct Slot {
    int generation = -1;
    bool parked = false;
    bool retired = false;
    bool spooling = false;
    int retries = 0;
  };

  std::uint32_t Random() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }
  fs::path Command(int index) const { return badMail_ / NameOf(index); }
  fs::path Message(int index) const { return badMail_ / "messages" / NameOf(index); }
  std::string Text(int index) const {
    const Slot& slot = slots_[index];
    return CommandText(index, slot.generation, slot.spooling, slot.retries);
  }

  // Written under another name first, then renamed into place.
  static void WriteByRename(const fs::path& path, const std::string& bytes) {
    std::string name = "~";
    name += path.filename().string();
    name += ".tmp";
    const fs::path temporary = path.parent_path() / name;
    testing::WriteFile(temporary, bytes);
    fs::rename(temporary, path);
  }

  void Park(int index) {
    Slot& slot = slots_[index];
    slot = {slot.generation + 1, true, false, Random() % 4 == 0, 0};
    WriteByRename(Message(index), MessageBytes(index, slot.generation));
    WriteByRename(Command(index), Text(index));
    log_ += "P " + NameOf(index) + " " + std::to_string(slot.generation) + "\n";
  }

  void RewriteInPlace(int index) {
    Slot& slot = slots_[index];
    const int fd = ::open(Command(index).c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return Retire(index);
    Change(slot);
    const std::string text = Text(index);
    const ssize_t ignored = ::pwrite(fd, text.data(), text.size(), 0);
    (void)ignored;
    ::close(fd);
  }

  void RewriteByRename(int index) {
    struct stat st {};
    if (::stat(Message(index).c_str(), &st) != 0) return Retire(index);
    Change(slots_[index]);
    WriteByRename(Command(index), Text(index));
  }

  void Change(Slot& slot) {
    slot.spooling = Random() % 4 == 0;
    ++slot.retries;
  }

  void Delete(int index) {
    log_ += "D " + NameOf(index) + " " + std::to_string(slots_[index].generation) + "\n";
    ::unlink(Command(index).c_str());
    ::unlink(Message(index).c_str());
    slots_[index].parked = false;
  }

  // The requeue took the message away: the name is not parked again.
  void Retire(int index) { slots_[index].retired = true; }

  fs::path badMail_;
  Slot slots_[kNames];
  std::uint32_t state_ = 2463534242u;
  std::string log_;
};

// What the server wrote down: each name's generations parked, and those it deleted.
struct ServerLog {
  explicit ServerLog(const std::string& text) {
    std::istringstream lines(text);
    std::string kind;
    std::string name;
    int generation = 0;
    while (lines >> kind >> name >> generation) {
      (kind == "P" ? parked : deleted)[name].insert(generation);
    }
  }
  std::map<std::string, std::set<int>> parked;
  std::map<std::string, std::set<int>> deleted;
};

// A listed row, checked once the server's log is complete: its name is one of the
// server's, and its size that of a generation the server parked under that name.
struct Sighting {
  std::string name;
  std::uint64_t size;
};

void ExpectSightingsParked(const std::vector<Sighting>& sightings, const ServerLog& log) {
  std::size_t wrong = 0;
  for (const Sighting& seen : sightings) {
    const int index = seen.name.size() == 6 ? std::atoi(seen.name.c_str() + 4) : -1;
    const bool known = index >= 0 && index < kNames && NameOf(index) == seen.name &&
                       seen.size >= 64 && (seen.size - 64) % kNames == std::uint64_t(index);
    const int generation = known ? static_cast<int>((seen.size - 64) / kNames) : -1;
    const auto parked = log.parked.find(seen.name);
    if (!known || parked == log.parked.end() || !parked->second.count(generation)) {
      if (wrong++ < 5) ADD_FAILURE() << "listed " << seen.name << " of size " << seen.size;
    }
  }
  EXPECT_EQ(wrong, 0u) << "of " << sightings.size() << " rows listed";
}

// Whether the command file belongs to the generation, and when it was requeued,
// is reset.
bool Holds(const std::string& command, int generation, bool requeued) {
  return command.find(GenerationLine(generation)) != std::string::npos &&
         (!requeued || command.starts_with("Status=Unsent\r\n"));
}

// Every generation the server parked and did not delete itself is parked whole, or
// whole in the outbound queue.
void ExpectNothingLost(const MailServer& server, const ServerLog& log) {
  std::size_t lost = 0;
  for (const auto& [name, generations] : log.parked) {
    const int index = std::atoi(name.c_str() + 4);
    for (const int generation : generations) {
      const auto deleted = log.deleted.find(name);
      if (deleted != log.deleted.end() && deleted->second.count(generation)) continue;
      const std::string bytes = MessageBytes(index, generation);
      const bool parked = ReadFile(server.badMail() / "messages" / name) == bytes &&
                          Holds(ReadFile(server.badMail() / name), generation, false);
      const bool requeued = ReadFile(server.outbound() / "messages" / name) == bytes &&
                            Holds(ReadFile(server.outbound() / name), generation, true);
      if (!parked && !requeued && lost++ < 5) {
        ADD_FAILURE() << name << " generation " << generation << " is lost";
      }
    }
  }
  EXPECT_EQ(lost, 0u);
}

ChildProcess::End RunBusyServer(const MailServer& server, const std::function<void()>& meanwhile) {
  ChildProcess busy([&server](ChildChannel& channel) {
    BusyServer mailServer(server.badMail());
    while (!channel.StopAsked()) mailServer.Step();
    channel.Tell(mailServer.log());
    return 0;
  });
  {
    const Watchdog watchdog(60, "scans and requeues against a busy server");
    meanwhile();
  }
  return busy.Stop(std::chrono::seconds(30));
}

// Runs `pass` over and over for the time the server is kept busy, and then until
// `enough` says so: on a loaded machine one flush of the file system may outlast
// that time, and the server change every row meanwhile.
void Repeat(
    const std::function<void()>& pass, const std::function<bool()>& enough = [] { return true; }) {
  const auto until = std::chrono::steady_clock::now() + kBusyFor;
  while (std::chrono::steady_clock::now() < until || !enough()) pass();
}

TEST(BusyServer, ScansListOnlyMessagesTheServerParked) {
  MailServer server;
  NativeFileSystem files;
  std::vector<Sighting> sightings;
  int scans = 0;
  const auto end = RunBusyServer(server, [&] {
    Repeat([&] {
      for (const BadMailEntry& entry : ScanBadMail(files, server.locations()).candidates) {
        sightings.push_back({entry.name, entry.size});
      }
      ++scans;
    });
  });
  ASSERT_EQ(end.exitCode, 0) << end.told;
  const ServerLog log(end.told);
  EXPECT_GT(scans, 1);
  EXPECT_FALSE(sightings.empty());
  ExpectSightingsParked(sightings, log);
}

TEST(BusyServer, RequeuesLoseNoMessage) {
  MailServer server;
  NativeFileSystem files;
  std::map<std::string, int> failures;
  int requeued = 0;
  const auto end = RunBusyServer(server, [&] {
    Repeat(
        [&] {
          std::vector<std::string> names;
          for (const BadMailEntry& entry : ScanBadMail(files, server.locations()).candidates)
            names.push_back(entry.name);
          for (const RequeueRow& row : Requeue(names, {}, files, server.locations())) {
            requeued += row.outcome == RequeueOutcome::kRequeued;
            if (row.error) ++failures[row.error->description()];
          }
        },
        [&] { return requeued > 0; });
  });
  ASSERT_EQ(end.exitCode, 0) << end.told;
  EXPECT_GT(requeued, 0);
  for (const auto& [description, count] : failures) {
    ADD_FAILURE() << count << " rows failed: " << description;
  }
  ExpectNothingLost(server, ServerLog(end.told));
}

}  // namespace
}  // namespace velmoth
