// Reads the header block of a message file and decodes the fields shown for it:
// folds unfolded, encoded words (B and Q) decoded through the platform's charsets,
// the recipients of address fields split and joined. The output is UTF-8 always.
#include "queue/message_header.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "base/ascii_text.h"
#include "base/utf8_text.h"

namespace velmoth {
namespace {

constexpr std::size_t kReadSize = 4 * 1024;
constexpr std::size_t kLongestCharset = 64;
constexpr char32_t kReplacement = 0xFFFD;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsBlank(std::string_view text) { return std::all_of(text.begin(), text.end(), IsSpace); }

bool EqualsFolded(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  return text;
}

// ---- UTF-8 ----

// Appends `c` as UTF-8, as it is shown: tab and line ends as a space, other control
// characters (C0, DEL and C1) as U+FFFD, so no text can steer a terminal.
void AppendChar(std::string& out, char32_t c) {
  if (c == '\t' || c == '\r' || c == '\n') c = ' ';
  if (c < 0x20 || (c >= 0x7F && c < 0xA0)) c = kReplacement;
  AppendUtf8(out, c);
}

// Appends UTF-8 `text` as it is shown; a byte that starts no character (which a
// converter should never give) is shown as U+FFFD.
void AppendShownUtf8(std::string& out, std::string_view text) {
  const auto printableAscii = [](char c) { return c >= 0x20 && c < 0x7F; };
  for (std::size_t i = 0; i < text.size();) {
    // Most header text is plain ASCII, taken a run at a time.
    const std::size_t run =
        std::find_if_not(text.begin() + i, text.end(), printableAscii) - (text.begin() + i);
    out.append(text, i, run);
    i += run;
    if (i == text.size()) break;
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = Utf8Length(text.substr(i));
    const bool c1 = length == 2 && lead == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0;
    if (length <= 1 || c1) {
      AppendChar(out, length == 1 ? lead : kReplacement);
      i += std::max<std::size_t>(length, 1);
    } else {
      out.append(text, i, length);
      i += length;
    }
  }
}

// Windows-1252 from 0x80 to 0x9F; its five unassigned bytes as U+FFFD.
constexpr std::array<char16_t, 32> kWindows1252High = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};

char32_t Windows1252Char(unsigned char byte) {
  return byte >= 0x80 && byte < 0xA0 ? kWindows1252High[byte - 0x80] : byte;
}

void AppendWindows1252(std::string& out, std::string_view text) {
  for (char c : text) AppendChar(out, Windows1252Char(static_cast<unsigned char>(c)));
}

void AppendLatin1(std::string& out, std::string_view text) {
  for (char c : text) AppendChar(out, static_cast<unsigned char>(c));
}

// ---- Encoded words ----

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

// Decodes the parts of one field into `out`. Encoded words in a row, with nothing
// but white space between them, form a run: the white space is dropped, and
// neighbours in one charset are converted together, so a character whose bytes
// a sender split between two words comes through whole.
class HeaderTextDecoder {
 public:
  HeaderTextDecoder(std::string_view field, std::string& out) : out_(out), utf8_(IsUtf8(field)) {}

  // Appends `text`, a part of the field, with its encoded words decoded if `words`.
  void Add(std::string_view text, bool words);

 private:
  struct Word {
    std::string_view gap;  // the white space before it within the run
    std::string_view raw;
    std::size_t end;  // of its bytes in bytes_
  };

  void Join(const EncodedWord& word, std::string_view gap);
  void Flush();
  bool Emit(std::size_t first, std::size_t last);
  bool Convert(std::string_view bytes);
  void Text(std::string_view text);
  void Plain(std::string_view text) {
    Text(text);
    lastDecoded_ = false;
  }

  std::string& out_;
  const bool utf8_;  // raw text is read as UTF-8, or else as Windows-1252
  bool lastDecoded_ = false;
  std::string_view charset_;  // of the words_ waiting to be converted
  std::string bytes_;         // theirs
  std::vector<Word> words_;
  std::string wordBytes_, name_, converted_;
};

void HeaderTextDecoder::Add(std::string_view text, bool words) {
  std::size_t pos = 0;
  for (std::size_t at = text.find("=?"); words && at != std::string_view::npos;
       at = text.find("=?", at + 1)) {
    const auto word = ParseEncodedWord(text, at, wordBytes_);
    if (!word) continue;
    Join(*word, text.substr(pos, at - pos));
    pos = at + word->raw.size();
    at = pos - 1;
  }
  Flush();
  Plain(text.substr(pos));
}

void HeaderTextDecoder::Join(const EncodedWord& word, std::string_view gap) {
  const bool inRun = !words_.empty() && IsBlank(gap);
  if (!inRun || !EqualsFolded(word.charset, charset_)) Flush();
  if (!inRun) Plain(gap);
  charset_ = word.charset;
  bytes_ += wordBytes_;
  words_.push_back({inRun ? gap : std::string_view(), word.raw, bytes_.size()});
}

// Converts the words waiting, together if they can be, else one by one; a word
// that cannot be converted is shown as written, with the white space around it.
void HeaderTextDecoder::Flush() {
  const std::size_t count = words_.size();
  if (count > 0 && !Emit(0, count)) {
    for (std::size_t i = 0; i < count; ++i) {
      if (count > 1 && Emit(i, i + 1)) continue;
      Text(words_[i].gap);
      Plain(words_[i].raw);
    }
  }
  words_.clear();
  bytes_.clear();
}

bool HeaderTextDecoder::Emit(std::size_t first, std::size_t last) {
  const std::size_t begin = first == 0 ? 0 : words_[first - 1].end;
  if (!Convert(std::string_view(bytes_).substr(begin, words_[last - 1].end - begin))) {
    return false;
  }
  if (!lastDecoded_) Text(words_[first].gap);
  AppendShownUtf8(out_, converted_);
  lastDecoded_ = true;
  return true;
}

bool HeaderTextDecoder::Convert(std::string_view bytes) {
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
      AppendLatin1(converted_, bytes);
      return true;
    case Charset::kWindows1252:
      AppendWindows1252(converted_, bytes);
      return true;
    case Charset::kPlatform:
      return ConvertCharset(name_, bytes, converted_);
  }
  return false;
}

// Appends raw text: white space that holds a line end (a fold) as one space,
// other white space kept, the rest as UTF-8 or Windows-1252.
void HeaderTextDecoder::Text(std::string_view text) {
  for (std::size_t i = 0, j = 0; i < text.size(); i = j) {
    const bool space = IsSpace(text[i]);
    bool fold = false;
    for (j = i; j < text.size() && IsSpace(text[j]) == space; ++j) {
      fold = fold || text[j] == '\r' || text[j] == '\n';
    }
    const std::string_view part = text.substr(i, j - i);
    if (fold) {
      out_ += ' ';
    } else if (space || utf8_) {
      AppendShownUtf8(out_, part);
    } else {
      AppendWindows1252(out_, part);
    }
  }
}

// ---- Address fields ----

// One recipient of an address list, and where in it the address in angle
// brackets stands (both ends at the end when it has none).
struct Recipient {
  std::string_view text;
  std::size_t open, close;
};

Recipient Trimmed(std::string_view text, std::size_t open, std::size_t close) {
  const std::string_view trimmed = Trim(text);
  const std::size_t lead = trimmed.empty() ? 0 : trimmed.data() - text.data();
  open = open == std::string_view::npos ? text.size() : open;
  close = close == std::string_view::npos ? text.size() : close;
  const auto inside = [&](std::size_t at) {
    return std::min(at > lead ? at - lead : 0, trimmed.size());
  };
  return {trimmed, inside(open), inside(close)};
}

// Calls `recipient` with each recipient of `list`, split at the commas outside
// quoted strings, comments and angle brackets.
template <typename RecipientFunction>
void ForEachRecipient(std::string_view list, RecipientFunction&& recipient) {
  constexpr auto npos = std::string_view::npos;
  std::size_t start = 0, open = npos, close = npos;
  bool quoted = false, angle = false;
  int comment = 0;
  for (std::size_t i = 0; i < list.size(); ++i) {
    const char c = list[i];
    if (quoted || comment > 0) {
      if (c == '\\') ++i;
      if (quoted && c == '"') quoted = false;
      if (!quoted) comment += (c == '(') - (c == ')');
    } else if (c == '"' || c == '(') {
      quoted = c == '"';
      comment = c == '(';
    } else if (c == '<' && !angle && open == npos) {
      open = i - start;
      angle = true;
    } else if (c == '>' && angle) {
      close = close == npos ? i + 1 - start : close;
      angle = false;
    } else if (c == ',' && !angle) {
      recipient(Trimmed(list.substr(start, i - start), open, close));
      start = i + 1;
      open = close = npos;
    }
  }
  recipient(Trimmed(list.substr(start), open, close));
}

void AppendAddressList(std::string& out, std::string_view raw) {
  HeaderTextDecoder decoder(raw, out);
  ForEachRecipient(raw, [&](const Recipient& r) {
    const std::size_t mark = out.size();
    if (mark > 0) out += ", ";
    const std::size_t start = out.size();
    decoder.Add(r.text.substr(0, r.open), true);
    decoder.Add(r.text.substr(r.open, r.close - r.open), false);
    decoder.Add(r.text.substr(r.close), true);
    if (out.size() == start) out.resize(mark);  // nothing to show, nothing to join
  });
}

// ---- The header block ----

// Whether an empty line starts at `at`.
bool IsEmptyLineAt(std::string_view data, std::size_t at) {
  return data.substr(at, 1) == "\n" || data.substr(at, 2) == "\r\n";
}

// Where the header block in `data` ends, the start of its first empty line, if
// that is in `data`; the first `searched` bytes were searched before.
std::optional<std::size_t> FindHeaderEnd(std::string_view data, std::size_t searched) {
  if (searched == 0 && IsEmptyLineAt(data, 0)) return 0;
  for (std::size_t at = data.find('\n', searched > 2 ? searched - 2 : 0);
       at != std::string_view::npos; at = data.find('\n', at + 1)) {
    if (IsEmptyLineAt(data, at + 1)) return at + 1;
  }
  return std::nullopt;
}

// Reads the header block into `buffer`, which holds kMessageHeaderLimit bytes.
std::string_view ReadHeaderBlock(InputFile& message, char* buffer) {
  for (std::size_t size = 0;;) {
    const std::size_t wanted = std::min(kReadSize, kMessageHeaderLimit - size);
    const std::size_t got = message.Read(buffer + size, wanted);
    const std::size_t searched = size;
    size += got;
    const std::string_view data(buffer, size);
    if (const auto end = FindHeaderEnd(data, searched)) return data.substr(0, *end);
    if (got == 0 || size == kMessageHeaderLimit) return data;
  }
}

enum class Field { kFrom, kTo, kCc, kSubject, kDate, kOther };

Field FieldNamed(std::string_view name) {
  static constexpr std::pair<std::string_view, Field> kNames[] = {{"from", Field::kFrom},
                                                                  {"to", Field::kTo},
                                                                  {"cc", Field::kCc},
                                                                  {"subject", Field::kSubject},
                                                                  {"date", Field::kDate}};
  for (const auto& [known, field] : kNames) {
    if (EqualsFolded(name, known)) return field;
  }
  return Field::kOther;
}

struct FieldStart {
  Field field;
  std::size_t value;  // where its value begins in the line
};

// The field `line` starts: a name of visible characters, blanks, then ":".
// kOther for any other line.
FieldStart FieldOf(std::string_view line) {
  std::size_t end = 0;
  while (end < line.size() && line[end] > ' ' && line[end] < 0x7F && line[end] != ':') ++end;
  std::size_t colon = end;
  while (colon < line.size() && (line[colon] == ' ' || line[colon] == '\t')) ++colon;
  if (end == 0 || colon == line.size() || line[colon] != ':') return {Field::kOther, 0};
  return {FieldNamed(line.substr(0, end)), colon + 1};
}

// The fields shown, taken as the header block names them.
class FieldCollector {
 public:
  void Take(Field field, std::string_view raw) {
    if (field == Field::kTo) return AppendAddressList(header_.to, raw);
    if (field == Field::kCc) return AppendAddressList(header_.cc, raw);
    if (field == Field::kOther || seen_[static_cast<int>(field)]) return;
    seen_[static_cast<int>(field)] = true;
    if (field == Field::kFrom) header_.from = DecodeAddressList(raw);
    if (field == Field::kSubject) header_.subject = DecodeHeaderText(raw);
    if (field == Field::kDate) header_.date = DecodeHeaderText(raw);
  }
  MessageHeader Result() { return std::move(header_); }

 private:
  MessageHeader header_;
  std::array<bool, static_cast<int>(Field::kOther)> seen_{};
};

// The fields of a header block: a line that starts with a blank continues the
// field before it.
MessageHeader ParseHeaderBlock(std::string_view block) {
  FieldCollector fields;
  Field field = Field::kOther;
  std::size_t value = 0;
  for (std::size_t line = 0; line < block.size();) {
    const std::size_t next = std::min(block.find('\n', line), block.size() - 1) + 1;
    if (block[line] != ' ' && block[line] != '\t') {
      fields.Take(field, block.substr(value, line - value));
      const FieldStart start = FieldOf(block.substr(line, next - line));
      field = start.field;
      value = line + start.value;
    }
    line = next;
  }
  fields.Take(field, block.substr(value));
  return fields.Result();
}

}  // namespace

std::string DecodeHeaderText(std::string_view raw) {
  std::string out;
  const std::string_view text = Trim(raw);
  HeaderTextDecoder(text, out).Add(text, true);
  return out;
}

std::string DecodeAddressList(std::string_view raw) {
  std::string out;
  AppendAddressList(out, raw);
  return out;
}

MessageHeader ReadMessageHeader(InputFile& message) {
  const auto buffer = std::make_unique_for_overwrite<char[]>(kMessageHeaderLimit);
  return ParseHeaderBlock(ReadHeaderBlock(message, buffer.get()));
}

MessageHeader ReadMessageHeader(Directory& messages, const std::string& name) {
  return ReadMessageHeader(*messages.Open(name, Access::kRead));
}

std::optional<MessageHeader> ParkedHeaders::Read(const std::string& name) {
  try {
    if (!opened_) {
      opened_ = true;
      messages_ = OpenQueue(files_, locations_, Queue::kBadMail).messages;
    }
    if (messages_) return ReadMessageHeader(*messages_, name);
  } catch (const FileError&) {
    // No header to show or to match.
  }
  return std::nullopt;
}

}  // namespace velmoth
