// Fuzzes the message-header reader: the input is both a field's raw text and a
// whole message file. Whatever the bytes, every text shown and every address
// taken must be valid UTF-8 without a control character.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "queue/header_text.h"
#include "queue/message_header.h"
#include "support/memory_files.h"
#include "utf8_check.h"

namespace velmoth {
namespace {

void CheckShown(std::string_view text) {
  while (!text.empty()) {
    const long c = fuzz::TakeCodePoint(text);
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
  testing::StringInputFile file{std::string(bytes)};
  MessageAddresses addresses;
  AppendAddresses(addresses.from, bytes);
  const MessageHeader header = ReadMessageHeader(file, &addresses);
  for (const std::string* field :
       {&header.from, &header.to, &header.cc, &header.subject, &header.date}) {
    CheckShown(*field);
  }
  for (const auto* list : {&addresses.from, &addresses.recipients}) {
    for (const std::string& address : *list) CheckShown(address);
  }
  return 0;
}
