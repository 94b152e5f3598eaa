// The follower on the kernel's own events in a scratch Bad Mail directory: a burst
// comes in few updates that miss no name, a watch made anew drops the old one and
// may start with a rescan, even from within an update, and a directory that may
// not be read is told as a failure.
#include "app/qt/bad_mail_follower.h"

#include <gtest/gtest.h>

#include <QTest>
#include <chrono>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "support/mail_server.h"
#include "support/permissions.h"

namespace velmoth::qt {
namespace {

namespace fs = std::filesystem;
using velmoth::testing::MailServer;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Long enough for a loaded machine; a wait that is met ends at once.
constexpr int kDeadlineMs = 20000;

constexpr char kParked[] = "Status=Failed\r\nRetries=5\r\n";

// The updates a follower ran, each noted with its time.
struct Updates {
  std::vector<QueueChanges> changes;
  std::vector<Clock::time_point> times;
  std::function<void()> during;  // run within each update, when set

  BadMailFollower::Update Take() {
    return [this](const QueueChanges& taken) {
      changes.push_back(taken);
      times.push_back(Clock::now());
      if (during) during();
      return milliseconds(1);
    };
  }
  bool Saw(const std::string& name) const {
    for (const QueueChanges& taken : changes) {
      if (taken.names.contains(name)) return true;
    }
    return false;
  }
};

TEST(BadMailFollower, ABurstOfParkedMessagesComesInAFewUpdatesThatMissNone) {
  MailServer server;
  Updates updates;
  BadMailFollower follower(updates.Take());
  follower.Follow(server.badMail(), false);
  constexpr int kMessages = 40;
  const auto start = Clock::now();
  for (int i = 0; i < kMessages; ++i) {
    server.Park("m" + std::to_string(i), kParked);
    QTest::qWait(25);  // the window's event loop runs while the server parks
  }
  const auto allSeen = [&] {
    for (int i = 0; i < kMessages; ++i) {
      if (!updates.Saw("m" + std::to_string(i))) return false;
    }
    return true;
  };
  ASSERT_TRUE(QTest::qWaitFor(allSeen, kDeadlineMs));
  // Each update waits the pacer's least interval after the one before.
  const auto span = updates.times.back() - start;
  EXPECT_LE(updates.changes.size(),
            static_cast<std::size_t>(span / UpdatePacer::kLeastInterval) + 1);
  for (std::size_t i = 1; i < updates.times.size(); ++i) {
    EXPECT_GE(updates.times[i] - updates.times[i - 1],
              UpdatePacer::kLeastInterval - milliseconds(5));
  }
  for (const QueueChanges& taken : updates.changes) EXPECT_FALSE(taken.rescan);
}

// The first update after Follow, once a message is parked in the directory
// followed last; when asked, it is a rescan, even for a watch made within an update.
TEST(BadMailFollower, AWatchMadeAnewFollowsOnlyItsDirectoryAndMayStartWithARescan) {
  const struct {
    const char* what;
    bool rescan;
    bool fromWithinAnUpdate;
  } cases[] = {
      {"made anew", false, false},
      {"made anew with a rescan", true, false},
      {"made anew with a rescan within an update", true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    MailServer before, server;
    Updates updates;
    BadMailFollower follower(updates.Take());
    follower.Follow(before.badMail(), false);
    bool followed = false;  // outlives every update that may look at it
    if (c.fromWithinAnUpdate) {
      updates.during = [&] {
        if (!std::exchange(followed, true)) follower.Follow(server.badMail(), true);
      };
      before.Park("first", kParked);
      ASSERT_TRUE(QTest::qWaitFor([&] { return followed; }, kDeadlineMs));
      updates.changes.clear();
    } else {
      follower.Follow(server.badMail(), c.rescan);
    }
    EXPECT_EQ(follower.followed(), server.badMail());
    // A rescan takes in whatever is parked before it: the messages come after it.
    if (c.rescan) {
      ASSERT_TRUE(QTest::qWaitFor([&] { return !updates.changes.empty(); }, kDeadlineMs));
    }
    before.Park("old", kParked);
    server.Park("new", kParked);
    ASSERT_TRUE(QTest::qWaitFor([&] { return updates.Saw("new"); }, kDeadlineMs));
    EXPECT_EQ(updates.changes.front().rescan, c.rescan);
    EXPECT_FALSE(updates.Saw("old"));
  }
}

TEST(BadMailFollower, ADirectoryThatMayNotBeReadIsAFailureAndNoneIsNone) {
  MailServer server;
  BadMailFollower follower([](const QueueChanges&) { return milliseconds(0); });
  follower.Follow(server.badMail(), false);
  EXPECT_FALSE(follower.failure());
  const fs::path messages = server.badMail() / "messages";
  {
    const velmoth::testing::PermissionsEnforced enforced;
    fs::permissions(messages, fs::perms::none);
    follower.Follow(server.badMail(), false);
    fs::permissions(messages, fs::perms::owner_all);
  }
  ASSERT_TRUE(follower.failure());
  EXPECT_EQ(follower.failure()->number(), EACCES);
  follower.Follow(std::nullopt, true);
  EXPECT_FALSE(follower.followed());
  EXPECT_FALSE(follower.failure());
}

}  // namespace
}  // namespace velmoth::qt
