// Reads Wine's text registry format: a header line, then sections "[Key\\Path] time"
// each followed by "#" metadata and value lines "Name"=data, with C-like escapes in
// names and strings and long hex data continued over lines ending in a backslash.
#include "config/wine_registry.h"

#include <optional>
#include <utility>

#include "base/ascii_text.h"
#include "base/utf16_text.h"

namespace velmoth {
namespace {

constexpr std::string_view kHeader = "WINE REGISTRY Version 2";

// The registry's string types: REG_SZ, REG_EXPAND_SZ and REG_MULTI_SZ.
bool IsStringType(unsigned long type) { return type == 1 || type == 2 || type == 7; }

// Hands out the lines of a text one by one, without their CR LF or LF ends.
class Lines {
 public:
  explicit Lines(std::string_view text) : text_(text) {}

  bool Next(std::string_view& line) {
    if (next_ >= text_.size()) return false;
    start_ = next_;
    std::size_t end = text_.find('\n', start_);
    if (end == std::string_view::npos) end = text_.size();
    line = text_.substr(start_, end - start_);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    next_ = end + 1;
    return true;
  }
  // Where the line last handed out starts, and where the one after it starts.
  std::size_t start() const { return start_; }
  std::size_t next() const { return next_ < text_.size() ? next_ : text_.size(); }

 private:
  std::string_view text_;
  std::size_t start_ = 0;
  std::size_t next_ = 0;
};

void TrimLeft(std::string_view& text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
}

bool TakePrefix(std::string_view& text, std::string_view prefix) {
  if (text.substr(0, prefix.size()) != prefix) return false;
  text.remove_prefix(prefix.size());
  return true;
}

// Reads up to `maxDigits` hex digits; false when there is none.
bool TakeHex(std::string_view& text, int maxDigits, unsigned long& value) {
  int digits = 0;
  value = 0;
  while (digits < maxDigits && !text.empty() && HexDigitValue(text.front()) >= 0) {
    value = value * 16 + static_cast<unsigned long>(HexDigitValue(text.front()));
    text.remove_prefix(1);
    ++digits;
  }
  return digits > 0;
}

// Reads escaped text up to an unescaped `close`, leaving `text` after it. False when
// the line ends first.
bool TakeEscaped(std::string_view& text, char close, std::u16string& out) {
  while (!text.empty()) {
    const char c = text.front();
    if (c == close) {
      text.remove_prefix(1);
      return true;
    }
    if (c != '\\') {
      TakeUtf8Char(text, out);
      continue;
    }
    text.remove_prefix(1);
    if (text.empty()) return false;
    const char escape = text.front();
    static constexpr std::string_view kLetters = "abefnrtv";
    static constexpr char16_t kControls[] = {7, 8, 27, 12, 10, 13, 9, 11};
    unsigned long value = 0;
    if (const std::size_t at = kLetters.find(escape); at != std::string_view::npos) {
      out += kControls[at];
      text.remove_prefix(1);
    } else if (escape == 'x') {
      text.remove_prefix(1);
      out += TakeHex(text, 4, value) ? static_cast<char16_t>(value) : u'x';
    } else if (escape >= '0' && escape <= '7') {
      for (int digits = 0;
           digits < 3 && !text.empty() && text.front() >= '0' && text.front() <= '7'; ++digits) {
        value = value * 8 + static_cast<unsigned long>(text.front() - '0');
        text.remove_prefix(1);
      }
      out += static_cast<char16_t>(value);
    } else {
      TakeUtf8Char(text, out);  // "\\", "\"", "\]" and the like stand for themselves
    }
  }
  return false;
}

// Reads comma-separated hex bytes, going on to the next line after a line that
// ends in a backslash. False for anything else or a file that ends too soon.
bool TakeHexBytes(std::string_view text, Lines& lines, std::string& bytes) {
  for (;;) {
    TrimLeft(text);
    if (text.empty()) return true;
    if (text.front() == '\\') {
      text.remove_prefix(1);
      TrimLeft(text);
      if (!text.empty() || !lines.Next(text)) return false;
      continue;
    }
    unsigned long byte = 0;
    if (!TakeHex(text, 2, byte)) return false;
    bytes += static_cast<char>(byte);
    TrimLeft(text);
    if (!TakePrefix(text, ",") && !text.empty() && text.front() != '\\') return false;
  }
}

enum class Data { kMalformed, kString, kOther };

// Reads the data of a value, what follows its "=". A string's whole text, NULs and
// all, lands in `out`.
Data TakeData(std::string_view text, Lines& lines, std::u16string& out) {
  unsigned long type = 1;
  const bool typed = TakePrefix(text, "str(");
  if (typed && (!TakeHex(text, 8, type) || !TakePrefix(text, "):"))) return Data::kMalformed;
  if (TakePrefix(text, "\"")) {
    if (!TakeEscaped(text, '"', out)) return Data::kMalformed;
    return IsStringType(type) ? Data::kString : Data::kOther;
  }
  if (typed) return Data::kMalformed;  // str(n): without a string
  if (TakePrefix(text, "hex(")) {
    if (!TakeHex(text, 8, type) || !TakePrefix(text, "):")) return Data::kMalformed;
    if (!IsStringType(type)) return Data::kOther;
    std::string bytes;
    if (!TakeHexBytes(text, lines, bytes)) return Data::kMalformed;
    for (std::size_t i = 0; i + 1 < bytes.size();
         i += 2) {  // UTF-16LE; an odd last byte is dropped
      out += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                   static_cast<unsigned char>(bytes[i + 1]) << 8);
    }
    return Data::kString;
  }
  if (TakePrefix(text, "hex:") || TakePrefix(text, "dword:")) return Data::kOther;
  return Data::kMalformed;
}

// The rest of a key path under SOFTWARE ("\korvane" or ""), or nullopt for a key
// elsewhere.
std::optional<std::string_view> UnderSoftware(std::string_view keyPath) {
  constexpr std::string_view kSoftware = "SOFTWARE";
  if (keyPath.size() < kSoftware.size()) return std::nullopt;
  for (std::size_t i = 0; i < kSoftware.size(); ++i) {
    if (AsciiUpper(keyPath[i]) != kSoftware[i]) return std::nullopt;
  }
  std::string_view rest = keyPath.substr(kSoftware.size());
  if (!rest.empty() && rest.front() != '\\') return std::nullopt;
  return rest;
}

}  // namespace

WineRegistry::WineRegistry(std::string text) : text_(std::move(text)) {
  Lines lines(text_);
  std::string_view line;
  if (!lines.Next(line) || line != kHeader) return;
  std::vector<Range>* current = nullptr;
  bool inKeys = false;
  while (lines.Next(line)) {
    TrimLeft(line);
    if (line.empty() || line.front() != '[') {
      if (!inKeys && TakePrefix(line, "#arch=")) win64_ = line == "win64";
      continue;
    }
    // A header ends the key before it, even one that cannot be read: values under
    // it must not be taken for the previous key's.
    if (current) current->back().end = lines.start();
    current = nullptr;
    inKeys = true;
    line.remove_prefix(1);
    std::u16string name;
    if (!TakeEscaped(line, ']', name)) continue;
    current = &keys_[FoldCase(std::move(name))];
    current->push_back({lines.next(), text_.size()});
  }
}

RegLookup WineRegistry::Find(std::string_view keyPath, std::string_view valueName) const {
  const auto key = keys_.find(FoldCase(Utf16(keyPath)));
  if (key == keys_.end()) return {};
  const std::u16string wanted = FoldCase(Utf16(valueName));
  RegLookup found(RegLookup::kNoValue);  // when a value is there twice, the last one counts
  for (const Range& range : key->second) {
    Lines lines(std::string_view(text_).substr(range.begin, range.end - range.begin));
    std::string_view line;
    while (lines.Next(line)) {
      TrimLeft(line);
      std::u16string name;
      if (!TakePrefix(line, "@") && !(TakePrefix(line, "\"") && TakeEscaped(line, '"', name))) {
        continue;  // metadata, a comment, hex continued from a line before, or junk
      }
      TrimLeft(line);
      if (!TakePrefix(line, "=") || FoldCase(std::move(name)) != wanted) continue;
      TrimLeft(line);
      std::u16string data;
      switch (TakeData(line, lines, data)) {
        case Data::kString:
          found = RegLookup(Utf8(std::u16string_view(data).substr(0, data.find(u'\0'))));
          break;
        case Data::kOther:
          found = {RegLookup::kNotAString};
          break;
        case Data::kMalformed:
          break;
      }
    }
  }
  return found;
}

RegLookup WineRegistry::FindRedirected(std::string_view keyPath, std::string_view valueName) const {
  const auto rest = win64_ ? UnderSoftware(keyPath) : std::nullopt;
  if (!rest) return Find(keyPath, valueName);
  RegLookup found = Find("Software\\Wow6432Node" + std::string(*rest), valueName);
  return found.Exists() ? found : Further(std::move(found), Find(keyPath, valueName));
}

}  // namespace velmoth
