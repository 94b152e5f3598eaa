// The queue watch on the kernel's own events, in a scratch mail server's Bad Mail
// directory: parked, rewritten, renamed and removed messages are seen by name,
// and replaced directories are followed anew with a rescan.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>

#include "support/mail_server.h"
#include "watch/queue_watcher.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <poll.h>
#endif

namespace velmoth {
namespace {

using testing::MailServer;
using testing::WriteFile;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Long enough for a loaded machine under Wine; a step that passes ends at once.
constexpr auto kDeadline = std::chrono::seconds(20);

// Waits at most `timeout` for the watcher's wait handle to fire.
void WaitForEvents(const QueueWatcher& watcher, std::chrono::milliseconds timeout) {
#ifdef _WIN32
  const auto handles = watcher.waitHandles();
  WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE,
                         static_cast<DWORD>(timeout.count()));
#else
  pollfd descriptor{watcher.waitDescriptor(), POLLIN, 0};
  ::poll(&descriptor, 1, static_cast<int>(timeout.count()));
#endif
}

struct Seen {
  std::set<std::string> names;
  bool rescan = false;
};

// Takes changes until the marker files, made after the step's own changes in each
// directory followed, are seen by name, so that the step's changes are all in.
Seen TakeUntilMarked(QueueWatcher& watcher, const MailServer& server, const std::string& marker,
                     bool messagesFollowed) {
  const std::size_t markers = messagesFollowed ? 2 : 1;
  const auto mark = [&] {
    WriteFile(server.badMail() / marker, "");
    if (messagesFollowed) WriteFile(server.badMail() / "messages" / (marker + "-message"), "");
  };
  mark();
  Seen seen;
  std::set<std::string> marks;
  const auto deadline = Clock::now() + kDeadline;
  while (marks.size() < markers && Clock::now() < deadline) {
    WaitForEvents(watcher,
                  std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()));
    if (!watcher.Collect()) continue;
    QueueChanges changes = watcher.Take();
    for (const std::string& name : changes.names) {
      if (name == marker || name == marker + "-message") marks.insert(name);
      if (!name.starts_with("mark-")) seen.names.insert(name);
    }
    // A rescan tells no names: the markers are made again to be seen after it.
    if (changes.rescan) {
      seen.rescan = true;
      marks.clear();
      mark();
    }
  }
  EXPECT_EQ(marks.size(), markers) << "the markers were not seen in time";
  return seen;
}

struct KernelStep {
  const char* what;
  std::function<void(MailServer&, const fs::path& queue, const fs::path& messages)> act;
  const char* expect;            // the names seen, "!name" for one never seen, or "rescan"
  bool messagesFollowed = true;  // once the step is done
};

#ifndef _WIN32
// How many events the kernel holds for a watcher before it drops them.
int KernelQueueLength() {
  int length = 16384;
  std::ifstream("/proc/sys/fs/inotify/max_queued_events") >> length;
  return length;
}
#endif

const KernelStep kSteps[] = {
    {"park",
     [](auto& s, auto&, auto&) {
       for (const char* name : {"a", "b", "d"}) s.Park(name, "");
     },
     "a b d"},
    {"rewrite, rename and remove",
     [](auto&, auto& q, auto& m) {
       WriteFile(q / "a", "Status=Retry");
       fs::rename(q / "b", q / "c");
       fs::rename(m / "b", m / "c");
       fs::remove(q / "d");
       fs::remove(m / "d");
     },
     "a b c d"},
    {"subdirectories",
     [](auto&, auto& q, auto& m) {
       fs::create_directory(q / "sub");
       fs::create_directory(m / "x");
     },
     "!sub !x"},
    {"messages replaced",
     [](auto&, auto& q, auto& m) {
       fs::rename(m, q / "old");
       fs::create_directory(m);
     },
     "rescan"},
    {"only the new messages followed",
     [](auto&, auto& q, auto& m) {
       WriteFile(m / "e", "");
       WriteFile(q / "old" / "f", "");
     },
     "e !f"},
#ifndef _WIN32
    {"more changes than the kernel holds",
     [](auto&, auto& q, auto& m) {
       // Two files in turn, as the kernel merges an event into the one before it.
       for (int change = 0; change <= KernelQueueLength(); ++change) {
         fs::permissions(change % 2 ? q / "c" : m / "e",
                         change % 4 < 2 ? fs::perms::owner_read : fs::perms::owner_all);
       }
     },
     "rescan"},
    {"messages deleted, a link in its place",
     [](auto& s, auto&, auto& m) {
       fs::remove_all(m);
       fs::create_directory(s.root() / "elsewhere");
       fs::create_directory_symlink(s.root() / "elsewhere", m);
     },
     "rescan", false},
    {"no changes through the link",
     [](auto& s, auto&, auto&) { WriteFile(s.root() / "elsewhere" / "g", ""); }, "!g", false},
#endif
    {"queue directory replaced",
     [](auto& s, auto& q, auto& m) {
       fs::rename(q, s.mail() / "Bad Mail.old");
       fs::create_directories(m);
     },
     "rescan"},
    {"new queue directory followed", [](auto& s, auto&, auto&) { s.Park("h", ""); }, "h"},
};

TEST(QueueWatcherKernel, FollowsAScratchServersBadMail) {
  MailServer server;
  QueueWatcher watcher(server.badMail());
  ASSERT_FALSE(watcher.failure()) << watcher.failure()->description();
  int marker = 0;
  for (const KernelStep& step : kSteps) {
    SCOPED_TRACE(step.what);
    step.act(server, server.badMail(), server.badMail() / "messages");
    const Seen seen =
        TakeUntilMarked(watcher, server, "mark-" + std::to_string(++marker), step.messagesFollowed);
    EXPECT_EQ(seen.rescan, std::string(step.expect) == "rescan");
    std::istringstream expected(step.expect);
    for (std::string name; expected >> name && name != "rescan";) {
      if (name[0] == '!') {
        EXPECT_FALSE(seen.names.contains(name.substr(1))) << name;
      } else {
        EXPECT_TRUE(seen.names.contains(name)) << name;
      }
    }
  }
}

}  // namespace
}  // namespace velmoth
