// The requeue killed for real: a child process requeues fifty parked messages on
// the disk and is killed at a random instant; what it leaves must hold each
// message whole in one queue or the other.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <iostream>
#include <random>
#include <thread>

#include "queue/requeue.h"
#include "support/mail_server.h"
#include "support/requeue_crash_check.h"
#include "support/saved_env.h"

namespace velmoth {
namespace {

namespace fs = std::filesystem;

using std::chrono::steady_clock;
using testing::CrashProblems;
using ::testing::IsEmpty;
using testing::MailServer;
using testing::ParkedMessage;
using testing::QueuePlaces;
using testing::ReadQueues;
using testing::SampleMessages;
using testing::SavedEnv;

// Fifty messages of a few kilobytes, parked afresh for every trial. The scratch
// servers lie in memory (tmpfs) where there is one: a killed process leaves what
// it wrote in the page cache, so the disk under it would change nothing but the
// time each flush takes.
class RequeueKillPosix : public ::testing::Test {
 protected:
  RequeueKillPosix() {
    if (fs::is_directory("/dev/shm")) ::setenv("TMPDIR", "/dev/shm", 1);
  }

  void Park(MailServer& server) const {
    for (const ParkedMessage& message : messages) {
      server.Park(message.name, message.command, message.message.c_str());
    }
  }

  // A child that requeues every message with deletion and exits: 0 when every row
  // was requeued.
  pid_t StartRequeue(const MailServer& server) const {
    std::vector<std::string> names;
    for (const ParkedMessage& message : messages) names.push_back(message.name);
    const pid_t child = ::fork();
    if (child != 0) return child;
    try {
      NativeFileSystem files;
      for (const RequeueRow& row : Requeue(names, {}, files, server.locations())) {
        if (row.outcome != RequeueOutcome::kRequeued) ::_exit(2);
      }
      ::_exit(0);
    } catch (...) {
      ::_exit(3);
    }
  }

  // Waits for `child`: true if it was killed; else it must have requeued every row.
  static bool Reap(pid_t child) {
    int status = 0;
    EXPECT_EQ(::waitpid(child, &status, 0), child);
    if (WIFSIGNALED(status)) return true;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    return false;
  }

  const SavedEnv savedTemp{"TMPDIR"};
  const std::vector<ParkedMessage> messages = SampleMessages(50, 3000);
};

TEST_F(RequeueKillPosix, AKillAtAnyInstantLeavesEachMessageWholeInOneQueue) {
  // The time a whole run takes, from the fork to the child's exit.
  steady_clock::duration fullRun{};
  {
    MailServer server;
    Park(server);
    const auto start = steady_clock::now();
    ASSERT_FALSE(Reap(StartRequeue(server)));
    fullRun = steady_clock::now() - start;
  }

  constexpr unsigned kTrials = 200;
  unsigned killed = 0;
  for (unsigned trial = 0; trial < kTrials; ++trial) {
    MailServer server;
    Park(server);
    const QueuePlaces places{server.badMail(), server.outbound()};
    std::mt19937 random(trial);
    const steady_clock::duration delay(
        std::uniform_int_distribution<steady_clock::rep>(0, fullRun.count())(random));
    const pid_t child = StartRequeue(server);
    std::this_thread::sleep_for(delay);
    ::kill(child, SIGKILL);
    if (Reap(child)) ++killed;
    ASSERT_THAT(CrashProblems(ReadQueues(places), places, messages), IsEmpty())
        << "trial " << trial << ", killed after "
        << std::chrono::duration_cast<std::chrono::microseconds>(delay).count() << " us";
  }
  std::cout << "[  TRIALS  ] " << kTrials << " trials survived, " << killed
            << " of them killed before the end; a whole run takes "
            << std::chrono::duration_cast<std::chrono::milliseconds>(fullRun).count() << " ms\n";
}

}  // namespace
}  // namespace velmoth
