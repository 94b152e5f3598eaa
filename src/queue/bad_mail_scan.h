// The scan of the Bad Mail directory: the parked messages that may be sent again,
// and the parked files left out with the reason why.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "config/queue_locations.h"
#include "files/file_system.h"

namespace velmoth {

// One requeue candidate: a command file that passes the candidate test and whose
// message file is there.
struct BadMailEntry {
  std::string name;    // the command file's name, which the message file shares
  std::uint64_t size;  // of the message file
  FileDate date;       // the command file's last change

  bool operator==(const BadMailEntry&) const = default;
};

enum class LeftOutReason {
  kSpooling,           // the server is sending it
  kNonDeliveryReport,  // it is a report of a failed delivery itself
  kNoMessageFile,      // no message file of the same name
  kNotRegularFile,     // the command or message file is a link, FIFO, socket or device
  kUnreadable,         // the command or message file could not be read
};

// A file directly inside the Bad Mail directory that is no requeue candidate.
struct LeftOutFile {
  std::string name;
  LeftOutReason reason;
  std::optional<FileDate> date;       // the command file's, when it could be read
  std::optional<FileError> error;     // why it could not be read (kUnreadable)
  std::optional<std::uint64_t> size;  // of its message file, when that is a regular file
};

struct BadMailScan {
  std::vector<BadMailEntry> candidates;  // in the order the directory lists them
  std::vector<LeftOutFile> leftOut;
};

// Scans the Bad Mail directory of `locations`. A file the server takes away
// while the scan runs is no longer parked and is not reported; one that cannot
// be read is left out with its error, and the scan goes on. Fails only when the
// directory itself cannot be found or listed, or its "messages" is a link.
BadMailScan ScanBadMail(FileSystem& files, const QueueLocations& locations);

// The same for the names `names` alone, each looked at as the scan looks at it:
// for a list that follows the directory, which reads again only what changed. A
// name that is not parked is neither a candidate nor left out.
BadMailScan ScanParkedNames(FileSystem& files, const QueueLocations& locations,
                            const std::vector<std::string>& names);

// How many left-out files could not be read, and the first one's error.
struct UnreadableFiles {
  std::size_t count = 0;
  std::optional<FileError> first;
};
UnreadableFiles CountUnreadable(const BadMailScan& scan);

}  // namespace velmoth
