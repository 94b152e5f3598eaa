// Syslog datagrams over an AF_UNIX socket, the daemon's failures noticed.
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <thread>

#include "log/syslog_socket.h"

namespace velmoth {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

constexpr int kFacilityMail = 2 << 3;

int SyslogSeverity(Severity severity) {
  switch (severity) {
    case Severity::kInfo:
      return 6;
    case Severity::kWarning:
      return 4;
    case Severity::kError:
      break;
  }
  return 3;
}

// "Mmm dd hh:mm:ss" in local time, the month in English whatever the locale,
// as journald and rsyslog skip it.
std::string Timestamp(std::time_t now) {
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::snprintf(text, sizeof text, "%s %2d %02d:%02d:%02d", kMonths[local.tm_mon], local.tm_mday,
                local.tm_hour, local.tm_min, local.tm_sec);
  return text;
}

std::string Datagram(Severity severity, std::string_view text) {
  return '<' + std::to_string(kFacilityMail | SyslogSeverity(severity)) + '>' +
         Timestamp(std::time(nullptr)) + " velmoth[" + std::to_string(getpid()) +
         "]: " + std::string(text);
}

// Whether `number` says there is no daemon at all: no socket, or nobody behind it.
bool IsNoDaemon(int number) { return number == ENOENT || number == ECONNREFUSED; }

bool IsSocketFull(int number) {
  return number == EAGAIN || number == EWOULDBLOCK || number == ENOBUFS;
}

}  // namespace

SyslogSocket::SyslogSocket(std::string path, milliseconds patience)
    : path_(std::move(path)), patience_(patience) {
  Connect();
}

FileError SyslogSocket::Failure(int number) const {
  return FileError(KindOfNumber(number), number, ErrorDescription(number), path_);
}

void SyslogSocket::Connect() {
  socket_.reset();
  connectFailure_.reset();
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path_.size() >= sizeof address.sun_path) {
    connectFailure_ = Failure(ENAMETOOLONG);
    return;
  }
  std::memcpy(address.sun_path, path_.data(), path_.size());
  ScopedDescriptor fd(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  if (!fd.valid()) {
    connectFailure_ = Failure(errno);
    return;
  }
  if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    const int number = errno;
    // A file that is no socket refuses as a socket nobody listens on does.
    struct stat status {};
    if (number == ECONNREFUSED && ::stat(path_.c_str(), &status) == 0 &&
        !S_ISSOCK(status.st_mode)) {
      connectFailure_ = Failure(ENOTSOCK);
    } else if (!IsNoDaemon(number)) {
      connectFailure_ = Failure(number);
    }
    return;
  }
  socket_.reset(fd.release());
}

std::optional<FileError> SyslogSocket::Write(Severity severity, RecordKind, std::string_view text) {
  if (connectFailure_) return connectFailure_;
  if (!socket_.valid()) return std::nullopt;
  return Send(Datagram(severity, text));
}

std::optional<FileError> SyslogSocket::Send(std::string_view datagram) {
  const auto deadline = steady_clock::now() + patience_;
  bool reconnected = false;
  for (;;) {
    if (::send(socket_.get(), datagram.data(), datagram.size(), MSG_DONTWAIT | MSG_NOSIGNAL) >= 0) {
      return std::nullopt;
    }
    const int number = errno;
    if (!Recover(number, deadline, reconnected)) return Failure(number);
  }
}

bool SyslogSocket::Recover(int number, steady_clock::time_point deadline, bool& reconnected) {
  if (number == EINTR) return true;
  if (IsNoDaemon(number) || number == ENOTCONN) {
    // The daemon restarted, with a socket of its own: once more, through that.
    if (reconnected) return false;
    reconnected = true;
    Connect();
    return socket_.valid();
  }
  const auto left = std::chrono::ceil<milliseconds>(deadline - steady_clock::now());
  if (!IsSocketFull(number) || left.count() <= 0) return false;
  if (number == ENOBUFS) {
    std::this_thread::sleep_for(std::min(left, milliseconds(10)));
  } else {
    pollfd room{socket_.get(), POLLOUT, 0};
    ::poll(&room, 1, static_cast<int>(left.count()));
  }
  return true;
}

std::unique_ptr<SystemLog> OpenSystemLog() { return std::make_unique<SyslogSocket>(); }

}  // namespace velmoth
