// Reads the header block of a message file in bounded reads, and takes the fields
// shown for it: the first From, Subject and Date, and the recipients of every To
// and Cc, a field continued on the lines that start with a blank.
#include "queue/message_header.h"

#include <algorithm>
#include <array>
#include <memory>
#include <optional>

#include "base/ascii_text.h"
#include "queue/header_text.h"

namespace velmoth {
namespace {

constexpr std::size_t kReadSize = 4 * 1024;

// Whether an empty line starts at `at`.
bool IsEmptyLineAt(std::string_view data, std::size_t at) {
  return data.substr(at, 1) == "\n" || data.substr(at, 2) == "\r\n";
}

// Where the header block in `data` ends, the start of its first empty line, if
// that is in `data`; the first `searched` bytes were searched before.
std::optional<std::size_t> FindHeaderEnd(std::string_view data, std::size_t searched) {
  if (searched == 0 && IsEmptyLineAt(data, 0)) return 0;
  for (std::size_t at = data.find('\n', searched > 2 ? searched - 2 : 0);
       at != std::string_view::npos; at = data.find('\n', at + 1)) {
    if (IsEmptyLineAt(data, at + 1)) return at + 1;
  }
  return std::nullopt;
}

// Reads the header block into `buffer`, which holds kMessageHeaderLimit bytes.
std::string_view ReadHeaderBlockInto(InputFile& message, char* buffer) {
  for (std::size_t size = 0;;) {
    const std::size_t wanted = std::min(kReadSize, kMessageHeaderLimit - size);
    const std::size_t got = message.Read(buffer + size, wanted);
    const std::size_t searched = size;
    size += got;
    const std::string_view data(buffer, size);
    if (const auto end = FindHeaderEnd(data, searched)) return data.substr(0, *end);
    if (got == 0 || size == kMessageHeaderLimit) return data;
  }
}

enum class Field { kFrom, kTo, kCc, kSubject, kDate, kMessageId, kOther };

Field FieldNamed(std::string_view name) {
  static constexpr std::pair<std::string_view, Field> kNames[] = {
      {"from", Field::kFrom},       {"to", Field::kTo},     {"cc", Field::kCc},
      {"subject", Field::kSubject}, {"date", Field::kDate}, {"message-id", Field::kMessageId}};
  for (const auto& [known, field] : kNames) {
    if (AsciiEqualFolded(name, known)) return field;
  }
  return Field::kOther;
}

struct FieldStart {
  Field field;
  std::size_t value;  // where its value begins in the line
};

// The field `line` starts: a name of visible characters, blanks, then ":".
// kOther for any other line.
FieldStart FieldOf(std::string_view line) {
  std::size_t end = 0;
  while (end < line.size() && line[end] > ' ' && line[end] < 0x7F && line[end] != ':') ++end;
  std::size_t colon = end;
  while (colon < line.size() && (line[colon] == ' ' || line[colon] == '\t')) ++colon;
  if (end == 0 || colon == line.size() || line[colon] != ':') return {Field::kOther, 0};
  return {FieldNamed(line.substr(0, end)), colon + 1};
}

// The fields shown, taken as the header block names them, and the addresses of
// From, To and Cc when they are asked for.
class FieldCollector {
 public:
  explicit FieldCollector(MessageAddresses* addresses) : addresses_(addresses) {}

  void Take(Field field, std::string_view raw) {
    if (field == Field::kTo || field == Field::kCc) {
      if (addresses_) AppendAddresses(addresses_->recipients, raw);
      return AppendAddressList(field == Field::kTo ? header_.to : header_.cc, raw);
    }
    if (field == Field::kOther || seen_[static_cast<int>(field)]) return;
    seen_[static_cast<int>(field)] = true;
    if (field == Field::kFrom && addresses_) AppendAddresses(addresses_->from, raw);
    if (field == Field::kFrom) header_.from = DecodeAddressList(raw);
    if (field == Field::kSubject) header_.subject = DecodeHeaderText(raw);
    if (field == Field::kDate) header_.date = DecodeHeaderText(raw);
    if (field == Field::kMessageId) header_.messageId = DecodeHeaderText(raw);
  }
  MessageHeader Result() { return std::move(header_); }

 private:
  MessageAddresses* addresses_;
  MessageHeader header_;
  std::array<bool, static_cast<int>(Field::kOther)> seen_{};
};

// The fields of a header block: a line that starts with a blank continues the
// field before it.
MessageHeader ParseHeaderBlock(std::string_view block, MessageAddresses* addresses) {
  FieldCollector fields(addresses);
  Field field = Field::kOther;
  std::size_t value = 0;
  for (std::size_t line = 0; line < block.size();) {
    const std::size_t next = std::min(block.find('\n', line), block.size() - 1) + 1;
    if (block[line] != ' ' && block[line] != '\t') {
      fields.Take(field, block.substr(value, line - value));
      const FieldStart start = FieldOf(block.substr(line, next - line));
      field = start.field;
      value = line + start.value;
    }
    line = next;
  }
  fields.Take(field, block.substr(value));
  return fields.Result();
}

}  // namespace

MessageHeader ReadMessageHeader(InputFile& message, MessageAddresses* addresses) {
  const auto buffer = std::make_unique_for_overwrite<char[]>(kMessageHeaderLimit);
  return ParseHeaderBlock(ReadHeaderBlockInto(message, buffer.get()), addresses);
}

std::string ReadHeaderBlock(InputFile& message) {
  const auto buffer = std::make_unique_for_overwrite<char[]>(kMessageHeaderLimit);
  return std::string(ReadHeaderBlockInto(message, buffer.get()));
}

MessageHeader ReadMessageHeader(Directory& messages, const std::string& name,
                                MessageAddresses* addresses) {
  return ReadMessageHeader(*messages.Open(name, Access::kRead), addresses);
}

std::optional<MessageHeader> ParkedHeaders::Read(const std::string& name,
                                                 MessageAddresses* addresses) {
  try {
    if (!opened_) {
      opened_ = true;
      messages_ = OpenQueue(files_, locations_, queue_).messages;
    }
    if (messages_) return ReadMessageHeader(*messages_, name, addresses);
  } catch (const FileError&) {
    // No header to show or to match.
  }
  return std::nullopt;
}

}  // namespace velmoth
