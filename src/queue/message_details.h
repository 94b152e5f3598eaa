// The details of one parked message, read when the operator asks for them: its
// decoded header fields, its size and both files' dates, its command file's lines
// and its header block as written, each shown so that no byte can steer the
// display, and why a file could not be read.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "config/queue_locations.h"
#include "files/file_system.h"
#include "queue/message_header.h"

namespace velmoth {

// No more of a command file is shown than this.
inline constexpr std::size_t kCommandShownLimit = 256 * 1024;

struct MessageDetails {
  std::string name;
  std::optional<MessageHeader> header;  // none when the message file could not be read
  std::optional<std::uint64_t> size;    // of the message file
  std::optional<FileDate> messageDate;  // of the message file's last change
  std::optional<FileDate> commandDate;  // of the command file's last change
  std::string commandLines;             // shown safely, each line ending in "\n"
  std::string headerBlock;              // shown safely, each line ending in "\n"
  // Why the command file or the message file could not be read; empty when it was.
  std::string commandProblem;
  std::string messageProblem;
};

// Reads the details of the parked message `name` now. A file that is gone, no
// regular file, or unreadable says why in its problem; nothing is thrown for it.
MessageDetails ReadMessageDetails(FileSystem& files, const QueueLocations& locations,
                                  const std::string& name);

// `bytes` for a text box: CR LF and LF end a line, a tab stays, each other
// control character is shown as its Unicode control picture (U+2400 up), and a
// byte that is not UTF-8 as \xHH. Always valid UTF-8.
std::string ShowSafely(std::string_view bytes);

}  // namespace velmoth
