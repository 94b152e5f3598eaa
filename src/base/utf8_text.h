// UTF-8 read and written by hand, the same on every platform: the one place that
// knows which byte sequences are valid characters and how a character is encoded.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace velmoth {

// The length of the valid UTF-8 character `text` starts with; 0 when there is none
// there: a stray or missing continuation byte, an overlong form, a surrogate, a
// value past U+10FFFF, or empty text.
std::size_t Utf8Length(std::string_view text);

// The character of `length` bytes, as Utf8Length measured it, that `text` starts with.
char32_t Utf8CodePoint(std::string_view text, std::size_t length);

// The character `text` starts with, taken off it; a byte that starts no valid
// character is taken alone, as the Latin-1 character of that value. `text` must
// not be empty.
char32_t TakeNonAsciiChar(std::string_view& text);
inline char32_t TakeChar(std::string_view& text) {
  const auto lead = static_cast<unsigned char>(text.front());
  if (lead >= 0x80) return TakeNonAsciiChar(text);
  text.remove_prefix(1);
  return lead;
}

bool IsUtf8(std::string_view text);

void AppendUtf8(std::string& out, char32_t code);
void AppendUtf16(std::u16string& out, char32_t code);

}  // namespace velmoth
