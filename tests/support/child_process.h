// A second process beside a test, forked from it: a mail server busy with its
// queues while the test scans them, or work whose memory is measured apart from
// the test program's own. POSIX only.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>

namespace velmoth::testing {

// The child's side: whether the test has asked it to stop, and a channel for
// what it tells the test.
class ChildChannel {
 public:
  ChildChannel(int stopFd, int tellFd) : stopFd_(stopFd), tellFd_(tellFd) {}
  bool StopAsked() const;
  void Tell(const std::string& text);

 private:
  int stopFd_;
  int tellFd_;
};

// Runs `work` in a forked child, which exits with the number `work` returns and
// never goes back into the test framework (an exception exits with 99, telling
// its text).
class ChildProcess {
 public:
  explicit ChildProcess(const std::function<int(ChildChannel&)>& work);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  struct End {
    int exitCode = -1;  // -1 when it was killed by a signal or had to be
    std::string told;
  };
  // Asks the child to stop, then waits as Wait does.
  End Stop(std::chrono::milliseconds timeout);
  // Waits for the child to end, killing it once `timeout` has passed.
  End Wait(std::chrono::milliseconds timeout);

 private:
  pid_t pid_ = -1;
  int stopFd_ = -1;
  int tellFd_ = -1;
};

// Ends the test program with `what` once `seconds` have passed, unless it is
// gone first: the guard around work that must not hang.
class Watchdog {
 public:
  Watchdog(unsigned seconds, const char* what);
  ~Watchdog();
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;
};

}  // namespace velmoth::testing
