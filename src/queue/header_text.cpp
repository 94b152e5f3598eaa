// Header text shown as it reads: each character a terminal or a list can show,
// tab, line ends and every other control character made harmless, and an
// address field split into its recipients at the commas that separate them.
#include "queue/header_text.h"

#include <algorithm>

#include "base/utf8_text.h"
#include "queue/encoded_words.h"

namespace velmoth {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
  return text;
}

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

void AppendShownWindows1252(std::string& out, std::string_view text) {
  for (char c : text) AppendChar(out, Windows1252Char(static_cast<unsigned char>(c)));
}

// A field's parts appended to `out` as they are shown. Raw text is read as UTF-8
// when the whole field is UTF-8, else as Windows-1252, as a mailer that writes
// raw 8-bit headers on Windows most likely meant.
class ShownText final : public HeaderTextParts {
 public:
  ShownText(bool utf8, std::string& out) : out_(out), utf8_(utf8) {}
  ShownText(std::string_view field, std::string& out) : ShownText(IsUtf8(field), out) {}

  // White space that holds a line end (a fold) as one space, other white space
  // kept, the rest as UTF-8 or Windows-1252.
  void Written(std::string_view text) override {
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
        AppendShownWindows1252(out_, part);
      }
    }
  }
  void Decoded(std::string_view utf8) override { AppendShownUtf8(out_, utf8); }

 private:
  std::string& out_;
  const bool utf8_;
};

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

// The address `text` holds, an addr-spec with the comments, the white space
// outside quotes, a group's name or a route before ":" and a group's ";" taken
// out. A domain literal's ":" ("[IPv6:...]") stays.
std::string BareAddress(std::string_view text) {
  std::string address;
  bool quoted = false, literal = false;
  int comment = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (comment > 0) {
      if (c == '\\') ++i;
      comment += (c == '(') - (c == ')');
    } else if (quoted || literal) {
      address += c;
      if (c == '\\' && i + 1 < text.size()) address += text[++i];
      quoted = quoted && c != '"';
      literal = literal && c != ']';
    } else if (c == '(') {
      comment = 1;
    } else if (c == ':') {
      address.clear();
    } else if (c == ';') {
      break;
    } else if (!IsSpace(c)) {
      address += c;
      quoted = c == '"';
      literal = c == '[';
    }
  }
  return address;
}

}  // namespace

std::string DecodeHeaderText(std::string_view raw) {
  std::string out;
  const std::string_view text = Trim(raw);
  ShownText shown(text, out);
  EncodedWordDecoder(shown).Add(text, true);
  return out;
}

std::string DecodeAddressList(std::string_view raw) {
  std::string out;
  AppendAddressList(out, raw);
  return out;
}

void AppendAddressList(std::string& out, std::string_view raw) {
  ShownText shown(raw, out);
  EncodedWordDecoder decoder(shown);
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

void AppendAddresses(std::vector<std::string>& out, std::string_view raw) {
  const bool utf8 = IsUtf8(raw);
  ForEachRecipient(raw, [&](const Recipient& r) {
    const std::size_t inside = r.open < r.text.size() ? r.open + 1 : 0;
    std::string_view text = r.text.substr(inside, r.close - inside);
    if (inside > 0 && text.ends_with('>')) text.remove_suffix(1);
    const std::string address = BareAddress(text);
    if (address.empty()) return;
    std::string& shown = out.emplace_back();
    ShownText(utf8, shown).Written(address);
  });
}

}  // namespace velmoth
