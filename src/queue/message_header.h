// Who a parked message is from, to whom and what about: the header block of a
// message file, read in bounded reads, its fields shown as header_text.h shows them.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "config/queue_locations.h"
#include "files/file_system.h"

namespace velmoth {

// The fields shown for a message, as UTF-8 text. A field the header lacks is empty.
struct MessageHeader {
  std::string from, to, cc, subject, date;
};

// No more of a message file is read for its header than this.
inline constexpr std::size_t kMessageHeaderLimit = 64 * 1024;

// The header of `message`: its first bytes up to the first empty line, at most
// kMessageHeaderLimit of them. Field names are matched without letter case; of
// From, Subject and Date the first field counts, the recipients of every To and
// every Cc field are joined.
MessageHeader ReadMessageHeader(InputFile& message);
// The message file `name` of a queue's "messages" directory.
MessageHeader ReadMessageHeader(Directory& messages, const std::string& name);

// The headers of parked messages, through the Bad Mail directory's "messages"
// opened on the first read.
class ParkedHeaders {
 public:
  ParkedHeaders(FileSystem& files, const QueueLocations& locations)
      : files_(files), locations_(locations) {}

  // Nothing when the message file is not there or cannot be read.
  std::optional<MessageHeader> Read(const std::string& name);

 private:
  FileSystem& files_;
  const QueueLocations& locations_;
  bool opened_ = false;
  std::unique_ptr<Directory> messages_;  // null when it could not be opened
};

}  // namespace velmoth
