// Validation, decoding and encoding of UTF-8, and the encoding of UTF-16, after
// the Unicode standard's table of well-formed byte sequences.
#include "base/utf8_text.h"

namespace velmoth {

std::size_t Utf8Length(std::string_view text) {
  if (text.empty()) return 0;
  const auto byte = [text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  if (lead < 0xC2 || lead > 0xF4) return 0;
  const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
  unsigned char low = 0x80, high = 0xBF;  // the bounds of the second byte
  if (lead == 0xE0) low = 0xA0;
  if (lead == 0xED) high = 0x9F;
  if (lead == 0xF0) low = 0x90;
  if (lead == 0xF4) high = 0x8F;
  if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
  }
  return length;
}

char32_t Utf8CodePoint(std::string_view text, std::size_t length) {
  const auto byte = [text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  if (length == 1) return byte(0);
  char32_t code = byte(0) & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) code = (code << 6) | (byte(i) & 0x3F);
  return code;
}

char32_t TakeNonAsciiChar(std::string_view& text) {
  const std::size_t length = Utf8Length(text);
  const char32_t code =
      length == 0 ? static_cast<unsigned char>(text.front()) : Utf8CodePoint(text, length);
  text.remove_prefix(length == 0 ? 1 : length);
  return code;
}

bool IsUtf8(std::string_view text) {
  while (!text.empty()) {
    const std::size_t length = Utf8Length(text);
    if (length == 0) return false;
    text.remove_prefix(length);
  }
  return true;
}

void AppendUtf8(std::string& out, char32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

void AppendUtf16(std::u16string& out, char32_t code) {
  if (code < 0x10000) {
    out += static_cast<char16_t>(code);
    return;
  }
  code -= 0x10000;
  out += static_cast<char16_t>(0xD800 + (code >> 10));
  out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
}

}  // namespace velmoth
