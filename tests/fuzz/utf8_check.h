// The fuzz targets' own reading of UTF-8, written apart from the code they fuzz so
// that a fault there cannot hide itself here.
#pragma once

#include <cstddef>
#include <string_view>

namespace velmoth::fuzz {

// The code point at the front of `text`, taken off it; -1 for bytes that are
// not a shortest-form UTF-8 character of a Unicode scalar value.
inline long TakeCodePoint(std::string_view& text) {
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

// Well-formed UTF-8: no overlong form, no surrogate, nothing past U+10FFFF.
inline bool IsWellFormedUtf8(std::string_view text) {
  while (!text.empty()) {
    if (TakeCodePoint(text) < 0) return false;
  }
  return true;
}

}  // namespace velmoth::fuzz
