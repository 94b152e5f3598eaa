// Fuzzes the message-header reader: the input is both a field's raw text and a
// whole message file. Whatever the bytes, every text shown must be valid UTF-8
// without a control character.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "queue/message_header.h"

namespace velmoth {
namespace {

// The bytes of one message file, read as the file layer reads a file.
class BytesInputFile final : public InputFile {
 public:
  explicit BytesInputFile(std::string_view bytes) : bytes_(bytes) {}
  std::size_t Read(char* buffer, std::size_t size) override {
    const std::size_t got = std::min(size, bytes_.size());
    std::memcpy(buffer, bytes_.data(), got);
    bytes_.remove_prefix(got);
    return got;
  }
  FileStatus Status() override { return {}; }
  const fs::path& path() const override { return path_; }

 private:
  std::string_view bytes_;
  fs::path path_ = "fuzz";
};

// The code point at the front of `text`, taken off it; -1 for bytes that are
// not a shortest-form UTF-8 character of a Unicode scalar value.
long TakeCodePoint(std::string_view& text) {
  const auto lead = static_cast<unsigned char>(text[0]);
  const std::size_t length = lead < 0x80   ? 1
                             : lead < 0xC0 ? 0
                             : lead < 0xE0 ? 2
                             : lead < 0xF0 ? 3
                             : lead < 0xF8 ? 4
                                           : 0;
  if (length == 0 || text.size() < length) return -1;
  long c = length == 1 ? lead : lead & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if ((byte & 0xC0) != 0x80) return -1;
    c = (c << 6) | (byte & 0x3F);
  }
  text.remove_prefix(length);
  const long shortest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (c < shortest[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return -1;
  return c;
}

void CheckShown(std::string_view text) {
  while (!text.empty()) {
    const long c = TakeCodePoint(text);
    if (c < 0x20 || (c >= 0x7F && c < 0xA0)) std::abort();
  }
}

}  // namespace
}  // namespace velmoth

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velmoth;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  CheckShown(DecodeHeaderText(bytes));
  CheckShown(DecodeAddressList(bytes));
  BytesInputFile file(bytes);
  const MessageHeader header = ReadMessageHeader(file);
  for (const std::string* field :
       {&header.from, &header.to, &header.cc, &header.subject, &header.date}) {
    CheckShown(*field);
  }
  return 0;
}
