// The outbound queue at a glance: its messages and the delivery state their
// command files give, read only, so that an operator sees requeued mail being
// taken up.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "config/queue_locations.h"
#include "files/file_system.h"

namespace velmoth {

// The delivery state of a command file: its first Status, Retries and
// NextSendTime values, as written (NextSendTime also as a count of seconds when
// it is one). Nothing for a key the file lacks.
struct DeliveryState {
  std::optional<std::string> status;
  std::optional<std::string> retries;
  std::optional<std::string> nextSendTime;
  std::optional<std::int64_t> nextSendSeconds;
};

// Reads the delivery state from a whole command file, however long its lines;
// no value is kept longer than kStateValueLimit bytes.
inline constexpr std::size_t kStateValueLimit = 256;
DeliveryState ReadDeliveryState(InputFile& commandFile);

struct OutboundEntry {
  std::string name;
  std::optional<std::uint64_t> size;  // of the message file; none without one
  FileDate date{};                    // the command file's last change
  DeliveryState state;
  std::optional<FileError> error;  // why the command file could not be read
};

// Every command file in the outbound queue, in the order the directory lists
// them; a file the server takes away meanwhile is left out. Nothing is written.
std::vector<OutboundEntry> ScanOutbound(FileSystem& files, const QueueLocations& locations);

}  // namespace velmoth
