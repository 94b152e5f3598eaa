// Syslog on Linux: datagrams to the syslog daemon's socket, which journald and
// rsyslog both read, in the traditional form
//   <PRI>Mmm dd hh:mm:ss velmoth[pid]: text
// with facility mail. Sent by hand, not through syslog(3), so that a record the
// daemon does not take is noticed. POSIX only.
#pragma once

#include <chrono>
#include <string>

#include "files/scoped_generic.h"
#include "log/system_log.h"

namespace velmoth {

class SyslogSocket final : public SystemLog {
 public:
  // Connects to the datagram socket at `path`. `patience` is how long a record
  // waits for room while the daemon falls behind before it counts as not taken.
  explicit SyslogSocket(std::string path = "/dev/log",
                        std::chrono::milliseconds patience = std::chrono::seconds(1));

  std::optional<FileError> Write(Severity severity, RecordKind kind,
                                 std::string_view text) override;

 private:
  // Sends one datagram: again after an interruption or a reconnect, and while
  // the socket is full, until `patience` is out.
  std::optional<FileError> Send(std::string_view datagram);
  // Whether to send again after `number`, having waited for room or reconnected.
  bool Recover(int number, std::chrono::steady_clock::time_point deadline, bool& reconnected);
  // Connects anew; a missing or refusing daemon leaves no socket and no failure.
  void Connect();
  FileError Failure(int number) const;

  std::string path_;
  std::chrono::milliseconds patience_;
  ScopedDescriptor socket_;  // none while there is no daemon to take records
  std::optional<FileError> connectFailure_;
};

}  // namespace velmoth
