// Escaping names for output and reading them back from arguments: backslash,
// control characters and bytes outside valid UTF-8 as \\ and \xHH.
#include "cli/name_escape.h"

namespace velmoth {
namespace {

unsigned char Byte(std::string_view text, std::size_t index) {
  return static_cast<unsigned char>(text[index]);
}

// The length of the valid UTF-8 sequence `text` starts with, or 0 when its first
// byte starts none (a stray continuation byte, an overlong form, a surrogate or a
// code point past U+10FFFF).
std::size_t Utf8Length(std::string_view text) {
  const unsigned char lead = Byte(text, 0);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80;  // the range of the second byte
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (text.size() < length || Byte(text, 1) < low || Byte(text, 1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if ((Byte(text, i) & 0xC0) != 0x80) return 0;
  }
  return length;
}

void AppendHexEscape(std::string& out, unsigned char byte) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out += "\\x";
  out += kHex[byte >> 4];
  out += kHex[byte & 0xF];
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool IsControl(unsigned char byte) { return byte < 0x20 || byte == 0x7F; }

// Copies `text` to the result, escaping the bytes outside valid UTF-8 and, when
// `whole` is set, backslashes and control characters too.
std::string Escape(std::string_view text, bool whole) {
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    const std::size_t length = Utf8Length(text);
    if (length == 0 || (whole && IsControl(Byte(text, 0)))) {
      AppendHexEscape(out, Byte(text, 0));
    } else if (whole && text[0] == '\\') {
      out += "\\\\";
    } else {
      out.append(text.substr(0, length));
    }
    text.remove_prefix(length == 0 ? 1 : length);
  }
  return out;
}

}  // namespace

std::string EscapeName(std::string_view name) { return Escape(name, true); }

std::string ValidUtf8Text(std::string_view text) { return Escape(text, false); }

std::string UnescapeName(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const std::string_view rest = text.substr(i);
    if (rest.starts_with("\\\\")) {
      out += '\\';
      i += 1;
    } else if (rest.size() >= 4 && rest.starts_with("\\x") && HexValue(rest[2]) >= 0 &&
               HexValue(rest[3]) >= 0) {
      out += static_cast<char>(HexValue(rest[2]) * 16 + HexValue(rest[3]));
      i += 3;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace velmoth
