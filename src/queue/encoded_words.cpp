// Encoded words found in a field's text, their B or Q text decoded to bytes, and
// the bytes of a run of them converted from their charset to UTF-8.
#include "queue/encoded_words.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

#include "base/ascii_text.h"
#include "base/utf8_text.h"

namespace velmoth {
namespace {

constexpr std::size_t kLongestCharset = 64;

bool IsBlank(std::string_view text) { return text.find_first_not_of(" \t\r\n") == text.npos; }

// ---- Charsets ----

// Windows-1252 from 0x80 to 0x9F; its five unassigned bytes as U+FFFD.
constexpr std::array<char16_t, 32> kWindows1252High = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

// The charsets converted here the same on every platform; the others are the
// platform's.
enum class Charset { kPlatform, kUtf8, kAscii, kLatin1, kWindows1252 };

// Labels that mailers write for a charset iconv knows by another name, or for
// one whose Microsoft code page they really send: read as that code page on
// every platform, as Windows reads them, so that a field shows the same on both.
constexpr std::pair<std::string_view, std::string_view> kMailLabels[] = {
    {"gb2312", "cp936"},         {"gbk", "cp936"},
    {"xgbk", "cp936"},           {"big5", "cp950"},
    {"shiftjis", "cp932"},       {"sjis", "cp932"},
    {"xsjis", "cp932"},          {"windows31j", "cp932"},
    {"euckr", "cp949"},          {"ksc56011987", "cp949"},
    {"iso88598i", "iso-8859-8"}, {"xeucjp", "euc-jp"}};

// The charset `charset` names, without letter case, "-" or "_"; for one of the
// platform's, the name to hand it in `platformName`.
Charset CharsetNamed(std::string_view charset, std::string& platformName) {
  platformName.clear();
  std::string key;
  for (char c : charset) {
    platformName += AsciiLower(c);
    if (c != '-' && c != '_') key += AsciiLower(c);
  }
  if (key == "utf8") return Charset::kUtf8;
  if (key == "usascii" || key == "ascii") return Charset::kAscii;
  if (key == "iso88591" || key == "latin1") return Charset::kLatin1;
  if (key == "windows1252" || key == "cp1252") return Charset::kWindows1252;
  for (const auto& [label, name] : kMailLabels) {
    if (key == label) platformName = name;
  }
  return Charset::kPlatform;
}

// ---- B and Q ----

bool IsTokenChar(char c) {
  return c > ' ' && c < 0x7F && std::strchr("()<>@,;:\"/[]?.=", c) == nullptr;
}

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// Appends the bytes of base64 `text` to `out`; padding may be left out.
bool DecodeB(std::string_view text, std::string& out) {
  const std::size_t digits = std::min(text.find('='), text.size());
  const std::size_t padding = text.size() - digits;
  if (digits % 4 == 1 || (padding > 0 && text.size() % 4 != 0) || padding > 2) return false;
  if (text.find_first_not_of('=', digits) != std::string_view::npos) return false;
  unsigned bits = 0;
  int count = 0;
  for (char c : text.substr(0, digits)) {
    const int value = Base64Value(c);
    if (value < 0) return false;
    bits = (bits << 6) | static_cast<unsigned>(value);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out += static_cast<char>((bits >> count) & 0xFF);
    }
  }
  return true;
}

// Appends the bytes of Q-encoded `text` to `out`: "_" is a space, "=XX" a byte.
bool DecodeQ(std::string_view text, std::string& out) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '=') {
      out += text[i] == '_' ? ' ' : text[i];
      continue;
    }
    const int high = i + 2 < text.size() ? HexDigitValue(text[i + 1]) : -1;
    const int low = high >= 0 ? HexDigitValue(text[i + 2]) : -1;
    if (low < 0) return false;
    out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return true;
}

struct EncodedWord {
  std::string_view raw;      // "=?charset?encoding?text?="
  std::string_view charset;  // without its language
};

// The encoded word "=?charset[*language]?B|Q?text?=" at `at` in `text`, its bytes
// decoded into `bytes`; nothing when there is none or its text is broken.
std::optional<EncodedWord> ParseEncodedWord(std::string_view text, std::size_t at,
                                            std::string& bytes) {
  std::size_t i = at + 2;
  while (i < text.size() && IsTokenChar(text[i]) && i - at <= kLongestCharset) ++i;
  const std::string_view charset = text.substr(at + 2, i - at - 2);
  const std::string_view name = charset.substr(0, charset.find('*'));
  if (name.empty() || text.size() - i < 5 || text[i] != '?' || text[i + 2] != '?') return {};
  const char encoding = AsciiLower(text[i + 1]);
  const std::size_t begin = i + 3;
  std::size_t end = begin;
  while (end < text.size() && text[end] > ' ' && text[end] < 0x7F && text[end] != '?') ++end;
  if (end + 1 >= text.size() || text[end] != '?' || text[end + 1] != '=') return {};
  bytes.clear();
  const std::string_view encoded = text.substr(begin, end - begin);
  const bool decoded =
      (encoding == 'b' && DecodeB(encoded, bytes)) || (encoding == 'q' && DecodeQ(encoded, bytes));
  if (!decoded) return {};
  return EncodedWord{text.substr(at, end + 2 - at), name};
}

}  // namespace

char32_t Windows1252Char(unsigned char byte) {
  return byte >= 0x80 && byte < 0xA0 ? kWindows1252High[byte - 0x80] : byte;
}

void EncodedWordDecoder::Add(std::string_view text, bool words) {
  std::size_t pos = 0;
  for (std::size_t at = text.find("=?"); words && at != std::string_view::npos;
       at = text.find("=?", at + 1)) {
    const auto word = ParseEncodedWord(text, at, wordBytes_);
    if (!word) continue;
    Join(word->raw, word->charset, text.substr(pos, at - pos));
    pos = at + word->raw.size();
    at = pos - 1;
  }
  Flush();
  Plain(text.substr(pos));
}

void EncodedWordDecoder::Join(std::string_view raw, std::string_view charset,
                              std::string_view gap) {
  const bool inRun = !words_.empty() && IsBlank(gap);
  if (!inRun || !AsciiEqualFolded(charset, charset_)) Flush();
  if (!inRun) Plain(gap);
  charset_ = charset;
  bytes_ += wordBytes_;
  words_.push_back({inRun ? gap : std::string_view(), raw, bytes_.size()});
}

// Converts the words waiting, together if they can be, else one by one.
void EncodedWordDecoder::Flush() {
  const std::size_t count = words_.size();
  if (count > 0 && !Emit(0, count)) {
    for (std::size_t i = 0; i < count; ++i) {
      if (count > 1 && Emit(i, i + 1)) continue;
      parts_.Written(words_[i].gap);
      Plain(words_[i].raw);
    }
  }
  words_.clear();
  bytes_.clear();
}

bool EncodedWordDecoder::Emit(std::size_t first, std::size_t last) {
  const std::size_t begin = first == 0 ? 0 : words_[first - 1].end;
  if (!Convert(std::string_view(bytes_).substr(begin, words_[last - 1].end - begin))) {
    return false;
  }
  if (!lastDecoded_) parts_.Written(words_[first].gap);
  parts_.Decoded(converted_);
  lastDecoded_ = true;
  return true;
}

bool EncodedWordDecoder::Convert(std::string_view bytes) {
  converted_.clear();
  switch (CharsetNamed(charset_, name_)) {
    case Charset::kUtf8:
      converted_ = bytes;
      return IsUtf8(bytes);
    case Charset::kAscii:
      converted_ = bytes;
      return std::all_of(bytes.begin(), bytes.end(),
                         [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    case Charset::kLatin1:
      for (char c : bytes) AppendUtf8(converted_, static_cast<unsigned char>(c));
      return true;
    case Charset::kWindows1252:
      for (char c : bytes) AppendUtf8(converted_, Windows1252Char(static_cast<unsigned char>(c)));
      return true;
    case Charset::kPlatform:
      return ConvertCharset(name_, bytes, converted_);
  }
  return false;
}

}  // namespace velmoth
