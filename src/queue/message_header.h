// Who a parked message is from, to whom and what about: the header block of a
// message file, read in bounded reads, its fields shown as header_text.h shows them.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config/queue_locations.h"
#include "files/file_system.h"

namespace velmoth {

// The fields shown for a message, as UTF-8 text. A field the header lacks is empty.
struct MessageHeader {
  std::string from, to, cc, subject, date, messageId;
};

// The addresses of a message's address fields, as AppendAddresses gives them.
struct MessageAddresses {
  std::vector<std::string> from;        // of its From
  std::vector<std::string> recipients;  // of every To and Cc
};

// No more of a message file is read for its header than this.
inline constexpr std::size_t kMessageHeaderLimit = 64 * 1024;

// The header of `message`: its first bytes up to the first empty line, at most
// kMessageHeaderLimit of them. Field names are matched without letter case; of
// From, Subject and Date the first field counts, the recipients of every To and
// every Cc field are joined. With `addresses`, their addresses are appended there.
MessageHeader ReadMessageHeader(InputFile& message, MessageAddresses* addresses = nullptr);
// The header block of `message` as it is written, read as ReadMessageHeader
// reads it.
std::string ReadHeaderBlock(InputFile& message);
// The message file `name` of a queue's "messages" directory.
MessageHeader ReadMessageHeader(Directory& messages, const std::string& name,
                                MessageAddresses* addresses = nullptr);

// The headers of parked messages, through the Bad Mail directory's "messages"
// opened on the first read; or those of another queue's messages.
class ParkedHeaders {
 public:
  ParkedHeaders(FileSystem& files, const QueueLocations& locations, Queue queue = Queue::kBadMail)
      : files_(files), locations_(locations), queue_(queue) {}

  // Nothing when the message file is not there or cannot be read, and then
  // `addresses` is left as it was.
  std::optional<MessageHeader> Read(const std::string& name, MessageAddresses* addresses = nullptr);

 private:
  FileSystem& files_;
  const QueueLocations& locations_;
  Queue queue_;
  bool opened_ = false;
  std::unique_ptr<Directory> messages_;  // null when it could not be opened
};

}  // namespace velmoth
