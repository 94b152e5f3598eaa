// Escaping names for output and reading them back from arguments: backslash,
// control characters and bytes outside valid UTF-8 as \\ and \xHH.
#include "base/name_escape.h"

#include "base/ascii_text.h"
#include "base/utf8_text.h"

namespace velmoth {
namespace {

unsigned char Byte(std::string_view text, std::size_t index) {
  return static_cast<unsigned char>(text[index]);
}

void AppendHexEscape(std::string& out, unsigned char byte) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  out += "\\x";
  out += kHex[byte >> 4];
  out += kHex[byte & 0xF];
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
    } else if (rest.size() >= 4 && rest.starts_with("\\x") && HexDigitValue(rest[2]) >= 0 &&
               HexDigitValue(rest[3]) >= 0) {
      out += static_cast<char>(HexDigitValue(rest[2]) * 16 + HexDigitValue(rest[3]));
      i += 3;
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace velmoth
