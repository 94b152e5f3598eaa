// The queue watch on the kernel's own events, in a scratch mail server's Bad Mail
// directory: parked, rewritten, renamed and removed messages are seen by name,
// and replaced directories are followed anew with a rescan.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>

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
  std::function<void(MailServer&)> act;
  std::set<std::string> names = {};   // seen, unless a rescan is asked for
  std::set<std::string> absent = {};  // never seen
  bool rescan = false;
  bool messagesFollowed = true;  // once the step is done
};

fs::path Messages(const MailServer& server) { return server.badMail() / "messages"; }

#ifndef _WIN32
// How many events the kernel holds for a watcher before it drops them.
int KernelQueueLength() {
  int length = 16384;
  std::ifstream("/proc/sys/fs/inotify/max_queued_events") >> length;
  return length;
}
#endif

std::vector<KernelStep> Steps() {
  std::vector<KernelStep> steps = {
      {"park",
       [](MailServer& s) {
         s.Park("a", "Status=Failed");
         s.Park("b", "");
       },
       {"a", "b"}},
      {"rewrite", [](const MailServer& s) { WriteFile(s.badMail() / "a", "Status=Retry"); }, {"a"}},
      {"rename",
       [](const MailServer& s) {
         fs::rename(s.badMail() / "b", s.badMail() / "c");
         fs::rename(Messages(s) / "b", Messages(s) / "c");
       },
       {"b", "c"}},
      {"remove",
       [](const MailServer& s) {
         fs::remove(s.badMail() / "a");
         fs::remove(Messages(s) / "a");
       },
       {"a"}},
      {"subdirectories",
       [](const MailServer& s) {
         fs::create_directory(s.badMail() / "sub");
         fs::create_directory(Messages(s) / "deeper");
       },
       {},
       {"sub", "deeper"}},
      {"messages replaced",
       [](const MailServer& s) {
         fs::rename(Messages(s), s.badMail() / "messages.old");
         fs::create_directory(Messages(s));
       },
       {},
       {},
       true},
      {"new messages followed",
       [](const MailServer& s) { WriteFile(Messages(s) / "e", ""); },
       {"e"}},
      {"old messages no longer followed",
       [](const MailServer& s) { WriteFile(s.badMail() / "messages.old" / "f", ""); },
       {},
       {"f"}},
#ifndef _WIN32
      {"more changes than the kernel holds",
       [](const MailServer& s) {
         // Two files in turn, as the kernel merges an event into the one before it.
         const fs::path files[] = {s.badMail() / "c", Messages(s) / "e"};
         for (int change = 0; change <= KernelQueueLength(); ++change) {
           fs::permissions(files[change % 2],
                           change % 4 < 2 ? fs::perms::owner_read : fs::perms::owner_all);
         }
       },
       {},
       {},
       true},
      {"messages a link",
       [](const MailServer& s) {
         fs::rename(Messages(s), s.root() / "elsewhere");
         fs::create_directory_symlink(s.root() / "elsewhere", Messages(s));
       },
       {},
       {},
       true,
       false},
      {"no changes through the link",
       [](const MailServer& s) { WriteFile(s.root() / "elsewhere" / "g", ""); },
       {},
       {"g"},
       false,
       false},
      {"messages a directory again",
       [](const MailServer& s) {
         fs::remove(Messages(s));
         fs::create_directory(Messages(s));
       },
       {},
       {},
       true},
#endif
      {"queue directory replaced",
       [](const MailServer& s) {
         fs::rename(s.badMail(), s.mail() / "Bad Mail.old");
         fs::create_directories(Messages(s));
       },
       {},
       {},
       true},
      {"new queue directory followed", [](MailServer& s) { s.Park("h", ""); }, {"h"}},
  };
  return steps;
}

TEST(QueueWatcherKernel, FollowsAScratchServersBadMail) {
  MailServer server;
  QueueWatcher watcher(server.badMail());
  ASSERT_FALSE(watcher.failure()) << watcher.failure()->description();
  int marker = 0;
  for (const KernelStep& step : Steps()) {
    SCOPED_TRACE(step.what);
    step.act(server);
    const Seen seen =
        TakeUntilMarked(watcher, server, "mark-" + std::to_string(++marker), step.messagesFollowed);
    EXPECT_EQ(seen.rescan, step.rescan);
    if (!step.rescan) {
      for (const std::string& name : step.names) EXPECT_TRUE(seen.names.contains(name)) << name;
    }
    for (const std::string& name : step.absent) EXPECT_FALSE(seen.names.contains(name)) << name;
  }
}

}  // namespace
}  // namespace velmoth
