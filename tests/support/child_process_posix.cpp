// Forked children that report through a pipe and stop when the pipe from the
// test closes; a watchdog on SIGALRM.
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <thread>

#include "support/child_process.h"

namespace velmoth::testing {
namespace {

void MakePipe(int fds[2]) {
  if (::pipe(fds) != 0) throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
}

// The watchdog's text, kept where the signal handler can reach it.
char watchdogText[256];

void OnWatchdog(int) {
  const ssize_t ignored = ::write(STDERR_FILENO, watchdogText, std::strlen(watchdogText));
  (void)ignored;
  ::_exit(124);
}

}  // namespace

bool ChildChannel::StopAsked() const {
  pollfd fd{stopFd_, POLLIN, 0};
  return ::poll(&fd, 1, 0) != 0;  // the test closed its end, or poll failed
}

void ChildChannel::Tell(const std::string& text) {
  for (std::size_t done = 0; done < text.size();) {
    const ssize_t put = ::write(tellFd_, text.data() + done, text.size() - done);
    if (put <= 0 && errno != EINTR) return;
    if (put > 0) done += static_cast<std::size_t>(put);
  }
}

ChildProcess::ChildProcess(const std::function<int(ChildChannel&)>& work) {
  int stop[2];
  int tell[2];
  MakePipe(stop);
  MakePipe(tell);
  std::fflush(nullptr);  // nothing buffered twice
  pid_ = ::fork();
  if (pid_ < 0) throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
  if (pid_ == 0) {
    ::close(stop[1]);
    ::close(tell[0]);
    ChildChannel channel(stop[0], tell[1]);
    int code = 99;
    try {
      code = work(channel);
    } catch (const std::exception& error) {
      channel.Tell(error.what());
    }
    ::_exit(code);
  }
  ::close(stop[0]);
  ::close(tell[1]);
  stopFd_ = stop[1];
  tellFd_ = tell[0];
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0) Wait(std::chrono::milliseconds(0));
  if (stopFd_ >= 0) ::close(stopFd_);
}

ChildProcess::End ChildProcess::Stop(std::chrono::milliseconds timeout) {
  if (stopFd_ >= 0) ::close(stopFd_);
  stopFd_ = -1;
  return Wait(timeout);
}

ChildProcess::End ChildProcess::Wait(std::chrono::milliseconds timeout) {
  End end;
  if (pid_ < 0) return end;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  const auto left = [&] {
    return std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                 std::chrono::steady_clock::now());
  };
  // What the child tells, until it closes the pipe by ending.
  for (char buffer[4096]; left().count() > 0;) {
    pollfd fd{tellFd_, POLLIN, 0};
    if (::poll(&fd, 1, static_cast<int>(left().count())) <= 0) break;
    const ssize_t got = ::read(tellFd_, buffer, sizeof buffer);
    if (got <= 0) break;
    end.told.append(buffer, static_cast<std::size_t>(got));
  }
  int status = 0;
  while (::waitpid(pid_, &status, WNOHANG) == 0) {
    if (left().count() <= 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ::close(tellFd_);
  tellFd_ = -1;
  pid_ = -1;
  if (WIFEXITED(status)) end.exitCode = WEXITSTATUS(status);
  return end;
}

Watchdog::Watchdog(unsigned seconds, const char* what) {
  std::snprintf(watchdogText, sizeof watchdogText, "\nStill running after %u s: %s\n", seconds,
                what);
  ::signal(SIGALRM, OnWatchdog);
  ::alarm(seconds);
}

Watchdog::~Watchdog() {
  ::alarm(0);
  ::signal(SIGALRM, SIG_DFL);
}

}  // namespace velmoth::testing
