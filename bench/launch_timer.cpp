// launch_timer [--window] PROGRAM [ARG...]: times one launch of a program from
// outside it, from just before it starts until it exits or, with --window, until
// the X server maps its first top-level window; prints "SECONDS PEAK_KIB".
#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

// How long a launch may take before it counts as failed.
constexpr auto kTimeout = std::chrono::minutes(5);

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

// Starts the program with its output thrown away; its errors still show.
pid_t Start(char** argv) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    std::freopen("/dev/null", "w", stdout);
    ::execvp(argv[0], argv);
    std::perror(argv[0]);
    ::_exit(127);
  }
  return pid;
}

// The process's peak resident memory so far, from /proc.
long PeakKib(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stol(line.substr(6));
  }
  return -1;
}

enum class Launch { kMapped, kEnded, kTimedOut };

// Waits for the first top-level window that is mapped and not a pop-up, or for
// the program to end first.
Launch WaitForMap(Display* display, pid_t pid) {
  pollfd connection{ConnectionNumber(display), POLLIN, 0};
  const auto deadline = Clock::now() + kTimeout;
  while (Clock::now() < deadline) {
    while (XPending(display) > 0) {
      XEvent event;
      XNextEvent(display, &event);
      if (event.type == MapNotify && !event.xmap.override_redirect) return Launch::kMapped;
    }
    if (::waitpid(pid, nullptr, WNOHANG) == pid) return Launch::kEnded;
    ::poll(&connection, 1, 100);
  }
  return Launch::kTimedOut;
}

int TimeWindow(char** argv) {
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    std::fprintf(stderr, "launch_timer: no X display\n");
    return 1;
  }
  ::fcntl(ConnectionNumber(display), F_SETFD, FD_CLOEXEC);
  XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
  XSync(display, False);
  const auto start = Clock::now();
  const pid_t pid = Start(argv);
  const Launch launch = WaitForMap(display, pid);
  const double seconds = Seconds(start);
  const long peak = PeakKib(pid);
  if (launch != Launch::kEnded) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
  }
  XCloseDisplay(display);
  if (launch != Launch::kMapped) {
    std::fprintf(stderr, "launch_timer: %s showed no window\n", argv[0]);
    return 1;
  }
  std::printf("%.6f %ld\n", seconds, peak);
  return 0;
}

int TimeRun(char** argv) {
  const auto start = Clock::now();
  const pid_t pid = Start(argv);
  int status = 0;
  rusage usage{};
  ::wait4(pid, &status, 0, &usage);
  const double seconds = Seconds(start);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "launch_timer: %s failed\n", argv[0]);
    return 1;
  }
  std::printf("%.6f %ld\n", seconds, usage.ru_maxrss);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const bool window = argc > 1 && std::strcmp(argv[1], "--window") == 0;
  if (argc < (window ? 3 : 2)) {
    std::fprintf(stderr, "usage: launch_timer [--window] PROGRAM [ARG...]\n");
    return 2;
  }
  return window ? TimeWindow(argv + 2) : TimeRun(argv + 1);
}
