// A parked message's details, each file read on its own so that one that cannot
// be read still leaves the other shown.
#include "queue/message_details.h"

#include <memory>

#include "base/utf8_text.h"

namespace velmoth {
namespace {

// A file that could not be read, in the operator's words.
std::string Problem(const FileError& error) {
  if (IsFileNotFound(error)) return "The file is no longer there.";
  return "The file cannot be read: " + error.description() + " (error " +
         std::to_string(error.number()) + ")";
}

void AppendHex(std::string& out, unsigned char byte) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out += "\\x";
  out += kHex[byte >> 4];
  out += kHex[byte & 0xF];
}

// The Unicode control picture of a control character: U+2400 for NUL on, U+2421
// for DEL.
void AppendPicture(std::string& out, unsigned char byte) {
  const unsigned picture = byte == 0x7F ? 0x2421 : 0x2400 + byte;
  out += static_cast<char>(0xE0 | (picture >> 12));
  out += static_cast<char>(0x80 | ((picture >> 6) & 0x3F));
  out += static_cast<char>(0x80 | (picture & 0x3F));
}

std::string ReadCommandLines(Directory& commands, const std::string& name,
                             MessageDetails& details) {
  const auto file = commands.Open(name, Access::kRead);
  details.commandDate = file->Status().modified;
  std::string bytes(kCommandShownLimit, '\0');
  std::size_t size = 0;
  while (size < bytes.size()) {
    const std::size_t got = file->Read(bytes.data() + size, bytes.size() - size);
    if (got == 0) break;
    size += got;
  }
  bytes.resize(size);
  std::string shown = ShowSafely(bytes);
  if (file->Status().size > size) {
    shown += "… (" + std::to_string(file->Status().size - size) + " more bytes not shown)\n";
  }
  return shown;
}

}  // namespace

std::string ShowSafely(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  while (!bytes.empty()) {
    const auto byte = static_cast<unsigned char>(bytes.front());
    const std::size_t length = Utf8Length(bytes);
    if (bytes.starts_with("\r\n") || byte == '\n') {
      out += '\n';
      bytes.remove_prefix(byte == '\r' ? 2 : 1);
      continue;
    }
    if (length == 0) {
      AppendHex(out, byte);
    } else if ((byte < 0x20 && byte != '\t') || byte == 0x7F) {
      AppendPicture(out, byte);
    } else {
      out.append(bytes.substr(0, length));
    }
    bytes.remove_prefix(length == 0 ? 1 : length);
  }
  if (!out.empty() && out.back() != '\n') out += '\n';
  return out;
}

MessageDetails ReadMessageDetails(FileSystem& files, const QueueLocations& locations,
                                  const std::string& name) {
  MessageDetails details;
  details.name = name;
  OpenedQueue parked;
  try {
    parked = OpenQueue(files, locations, Queue::kBadMail);
  } catch (const FileError& error) {
    details.commandProblem = details.messageProblem = Problem(error);
    return details;
  }
  try {
    details.commandLines = ReadCommandLines(*parked.commands, name, details);
  } catch (const FileError& error) {
    details.commandProblem = Problem(error);
  }
  try {
    if (!parked.messages) ThrowError(kErrorNotFound, parked.commands->path() / kMessagesDirectory);
    const auto message = parked.messages->Open(name, Access::kRead);
    details.size = message->Status().size;
    details.messageDate = message->Status().modified;
    const std::string block = ReadHeaderBlock(*message);
    message->Rewind();
    details.header = ReadMessageHeader(*message);
    details.headerBlock = ShowSafely(block);
  } catch (const FileError& error) {
    details.messageProblem = Problem(error);
  }
  return details;
}

}  // namespace velmoth
