// The system's own log, as the trail of requeues and deletes writes to it:
// syslog's socket on Linux, the Application event log on Windows.
#pragma once

#include <memory>
#include <optional>
#include <string_view>

#include "base/file_error.h"

namespace velmoth {

// How much a record asks for an operator's attention: syslog's info, warning and
// err; the event log's information, warning and error.
enum class Severity { kInfo, kWarning, kError };

// What a record holds: the summary of a run, or some of its rows. On Windows the
// two are events of their own (1 and 2), for Event Viewer to filter by.
enum class RecordKind { kRun, kRows };

// The error number a log gives for a record too large to take in one piece.
#ifdef _WIN32
inline constexpr int kErrorRecordTooLarge = 10040;  // WSAEMSGSIZE
#else
inline constexpr int kErrorRecordTooLarge = 90;  // EMSGSIZE
#endif

class SystemLog {
 public:
  virtual ~SystemLog() = default;

  // Writes one record of one line of valid UTF-8 text. A log that is not there at
  // all takes it and drops it without a word; anything else that keeps the record
  // out comes back, with the log's socket path or event source as its path.
  virtual std::optional<FileError> Write(Severity severity, RecordKind kind,
                                         std::string_view text) = 0;
};

// The system log of this platform, opened for one run's records.
std::unique_ptr<SystemLog> OpenSystemLog();

}  // namespace velmoth
