// UTF-8 and UTF-16 by hand rather than through the platform, so that names read
// from files compare the same way on every platform.
#include "base/utf16_text.h"

#include "base/utf8_text.h"

namespace velmoth {
namespace {

// The capital of a small letter; any other character as it is.
char16_t CapitalOf(char16_t c) {
  if (c < 0x80) return c >= 'a' && c <= 'z' ? c - 0x20 : c;
  if ((c >= 0xE0 && c <= 0xFE && c != 0xF7) || (c >= 0x3B1 && c <= 0x3CB && c != 0x3C2) ||
      (c >= 0x430 && c <= 0x44F)) {
    return c - 0x20;
  }
  if (c >= 0x450 && c <= 0x45F) return c - 0x50;
  if (c == 0xFF) return 0x178;
  if (c == 0x3C2) return 0x3A3;
  // Latin Extended-A: pairs of capital and small letter, capital first.
  if ((c >= 0x100 && c <= 0x12F) || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) {
    return c & ~1;
  }
  if (((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) && c % 2 == 0) return c - 1;
  return c;
}

}  // namespace

void TakeUtf8Char(std::string_view& text, std::u16string& out) { AppendUtf16(out, TakeChar(text)); }

std::u16string Utf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  while (!text.empty()) TakeUtf8Char(text, out);
  return out;
}

std::string Utf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t code = text[i];
    if (code >= 0xD800 && code <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      code = 0x10000 + ((code - 0xD800) << 10) + (text[++i] - 0xDC00);
    } else if (code >= 0xD800 && code <= 0xDFFF) {
      code = 0xFFFD;
    }
    AppendUtf8(out, code);
  }
  return out;
}

std::u16string FoldCase(std::u16string text) {
  for (char16_t& c : text) c = CapitalOf(c);
  return text;
}

}  // namespace velmoth
