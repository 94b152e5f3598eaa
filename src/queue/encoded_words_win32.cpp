// Charsets of encoded words through the Windows code pages. ISO-8859-10 and -14,
// which no code page holds, come from tables here; ISO-2022-JP is moved into the
// Shift_JIS it maps onto, as Wine has no code page for it.
#include <windows.h>

#include <array>
#include <optional>
#include <string>

#include "base/wide_text.h"
#include "queue/encoded_words.h"

namespace velmoth {
namespace {

// A charset's characters for the bytes 0xA0 to 0xFF; below them it is ASCII and
// the C1 controls.
using HighHalf = std::array<char16_t, 96>;

constexpr HighHalf kIso8859_10 = {
    0x00A0, 0x0104, 0x0112, 0x0122, 0x012A, 0x0128, 0x0136, 0x00A7, 0x013B, 0x0110, 0x0160, 0x0166,
    0x017D, 0x00AD, 0x016A, 0x014A, 0x00B0, 0x0105, 0x0113, 0x0123, 0x012B, 0x0129, 0x0137, 0x00B7,
    0x013C, 0x0111, 0x0161, 0x0167, 0x017E, 0x2015, 0x016B, 0x014B, 0x0100, 0x00C1, 0x00C2, 0x00C3,
    0x00C4, 0x00C5, 0x00C6, 0x012E, 0x010C, 0x00C9, 0x0118, 0x00CB, 0x0116, 0x00CD, 0x00CE, 0x00CF,
    0x00D0, 0x0145, 0x014C, 0x00D3, 0x00D4, 0x00D5, 0x00D6, 0x0168, 0x00D8, 0x0172, 0x00DA, 0x00DB,
    0x00DC, 0x00DD, 0x00DE, 0x00DF, 0x0101, 0x00E1, 0x00E2, 0x00E3, 0x00E4, 0x00E5, 0x00E6, 0x012F,
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x0117, 0x00ED, 0x00EE, 0x00EF, 0x00F0, 0x0146, 0x014D, 0x00F3,
    0x00F4, 0x00F5, 0x00F6, 0x0169, 0x00F8, 0x0173, 0x00FA, 0x00FB, 0x00FC, 0x00FD, 0x00FE, 0x0138,
};
constexpr HighHalf kIso8859_14 = {
    0x00A0, 0x1E02, 0x1E03, 0x00A3, 0x010A, 0x010B, 0x1E0A, 0x00A7, 0x1E80, 0x00A9, 0x1E82, 0x1E0B,
    0x1EF2, 0x00AD, 0x00AE, 0x0178, 0x1E1E, 0x1E1F, 0x0120, 0x0121, 0x1E40, 0x1E41, 0x00B6, 0x1E56,
    0x1E81, 0x1E57, 0x1E83, 0x1E60, 0x1EF3, 0x1E84, 0x1E85, 0x1E61, 0x00C0, 0x00C1, 0x00C2, 0x00C3,
    0x00C4, 0x00C5, 0x00C6, 0x00C7, 0x00C8, 0x00C9, 0x00CA, 0x00CB, 0x00CC, 0x00CD, 0x00CE, 0x00CF,
    0x0174, 0x00D1, 0x00D2, 0x00D3, 0x00D4, 0x00D5, 0x00D6, 0x1E6A, 0x00D8, 0x00D9, 0x00DA, 0x00DB,
    0x00DC, 0x00DD, 0x0176, 0x00DF, 0x00E0, 0x00E1, 0x00E2, 0x00E3, 0x00E4, 0x00E5, 0x00E6, 0x00E7,
    0x00E8, 0x00E9, 0x00EA, 0x00EB, 0x00EC, 0x00ED, 0x00EE, 0x00EF, 0x0175, 0x00F1, 0x00F2, 0x00F3,
    0x00F4, 0x00F5, 0x00F6, 0x1E6B, 0x00F8, 0x00F9, 0x00FA, 0x00FB, 0x00FC, 0x00FD, 0x0177, 0x00FF,
};

constexpr UINT kShiftJis = 932;

// The names of the code pages that are not "windows-N", "cp-N" or "iso-8859-N".
// The labels mailers write for Microsoft's code pages come here as "cp-N".
struct NamedCodePage {
  std::string_view key;
  UINT codePage;
};
constexpr NamedCodePage kCodePages[] = {
    {"koi8r", 20866}, {"koi8u", 21866}, {"gb18030", 54936}, {"eucjp", 20932}, {"tis620", 874}};

// The name without letter case, "-" or "_": "ISO_8859-2" and "iso-8859-2" are one.
std::string Key(std::string_view charset) {
  std::string key;
  for (char c : charset) {
    if (c != '-' && c != '_') key += c;
  }
  return key;
}

// The number `key` ends with after `prefix`; nothing when it is not that.
std::optional<UINT> NumberAfter(std::string_view key, std::string_view prefix) {
  if (!key.starts_with(prefix) || key.size() == prefix.size() || key.size() > prefix.size() + 5) {
    return std::nullopt;
  }
  UINT number = 0;
  for (char c : key.substr(prefix.size())) {
    if (c < '0' || c > '9') return std::nullopt;
    number = number * 10 + static_cast<UINT>(c - '0');
  }
  return number;
}

std::optional<UINT> CodePageOf(std::string_view key) {
  for (const auto& [name, codePage] : kCodePages) {
    if (key == name) return codePage;
  }
  const auto windows = NumberAfter(key, "windows");
  if (windows) return windows;
  const auto cp = NumberAfter(key, "cp");
  if (cp && *cp >= 37) return cp;  // not CP_ACP and the others that follow the system
  const auto iso = NumberAfter(key, "iso8859");
  if (iso && *iso >= 1 && *iso <= 16) return *iso == 11 ? 874 : 28590 + *iso;
  return std::nullopt;
}

bool ToWide(UINT codePage, std::string_view bytes, std::wstring& wide) {
  if (bytes.empty()) return true;
  const int length = static_cast<int>(bytes.size());
  const int size =
      MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), length, nullptr, 0);
  if (size <= 0) return false;
  wide.resize(static_cast<std::size_t>(size));
  return MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, bytes.data(), length, wide.data(),
                             size) == size;
}

void FromTable(const HighHalf& table, std::string_view bytes, std::wstring& wide) {
  for (char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    wide += static_cast<wchar_t>(byte < 0xA0 ? byte : table[byte - 0xA0]);
  }
}

// Appends the Shift_JIS bytes of the JIS X 0208 character `first`, `second`.
void AppendShiftJis(std::string& sjis, unsigned first, unsigned second) {
  sjis += static_cast<char>(((first + 1) >> 1) + (first <= 0x5E ? 0x70 : 0xB0));
  sjis += static_cast<char>(second + ((first & 1) == 0 ? 0x7E : (second >= 0x60 ? 0x20 : 0x1F)));
}

bool IsJisByte(unsigned byte) { return byte >= 0x21 && byte <= 0x7E; }

// Shift_JIS of ISO-2022-JP text: ASCII (and JIS-Roman) as it is, JIS X 0208 pairs
// moved into Shift_JIS's ranges, half-width katakana as single bytes; false at an
// escape to another set or a byte the set in use does not have.
bool Iso2022JpToShiftJis(std::string_view text, std::string& sjis) {
  enum class Set { kAscii, kJis0208, kKatakana } set = Set::kAscii;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0u;
    if (byte == 0x1B) {
      const std::string_view escape = text.substr(i + 1, 2);
      if (escape == "(B" || escape == "(J") {
        set = Set::kAscii;
      } else if (escape == "$@" || escape == "$B") {
        set = Set::kJis0208;
      } else if (escape == "(I") {
        set = Set::kKatakana;
      } else {
        return false;
      }
      i += 2;
    } else if (byte >= 0x80) {
      return false;
    } else if (set == Set::kAscii) {
      sjis += static_cast<char>(byte);
    } else if (set == Set::kKatakana) {
      if (byte < 0x21 || byte > 0x5F) return false;
      sjis += static_cast<char>(byte + 0x80);
    } else {
      if (!IsJisByte(byte) || !IsJisByte(next)) return false;
      AppendShiftJis(sjis, byte, next);
      ++i;
    }
  }
  return true;
}

bool ToWide(const std::string& key, std::string_view bytes, std::wstring& wide) {
  if (key == "iso885910") {
    FromTable(kIso8859_10, bytes, wide);
    return true;
  }
  if (key == "iso885914") {
    FromTable(kIso8859_14, bytes, wide);
    return true;
  }
  if (key == "iso2022jp") {
    std::string sjis;
    return Iso2022JpToShiftJis(bytes, sjis) && ToWide(kShiftJis, sjis, wide);
  }
  const auto codePage = CodePageOf(key);
  return codePage && ToWide(*codePage, bytes, wide);
}

}  // namespace

bool ConvertCharset(std::string_view charset, std::string_view bytes, std::string& out) {
  std::wstring wide;
  if (!ToWide(Key(charset), bytes, wide)) return false;
  out += Narrow(wide);
  return true;
}

}  // namespace velmoth
