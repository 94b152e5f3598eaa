// Full case folding through the table that scripts/make-case-folding writes from
// Unicode's CaseFolding.txt; ASCII, the common case, is folded without a look-up.
#include "base/case_fold.h"

#include <algorithm>

#include "base/utf16_text.h"

namespace velmoth {
namespace {

struct Folding {
  char32_t from;
  char32_t to[3];  // unused places are 0
};

constexpr Folding kFoldings[] = {
#include "case_fold_table.inc"
};
static_assert(std::ranges::is_sorted(kFoldings, {}, &Folding::from));

void AppendUtf16(char32_t code, std::u16string& out) {
  if (code < 0x10000) {
    out += static_cast<char16_t>(code);
    return;
  }
  code -= 0x10000;
  out += static_cast<char16_t>(0xD800 + (code >> 10));
  out += static_cast<char16_t>(0xDC00 + (code & 0x3FF));
}

void AppendFolded(char32_t code, std::u16string& out) {
  if (code < 0x80) {
    out += static_cast<char16_t>(code >= 'A' && code <= 'Z' ? code + ('a' - 'A') : code);
    return;
  }
  const Folding* found = std::ranges::lower_bound(kFoldings, code, {}, &Folding::from);
  if (found == std::end(kFoldings) || found->from != code) return AppendUtf16(code, out);
  for (const char32_t to : found->to) {
    if (to != 0) AppendUtf16(to, out);
  }
}

}  // namespace

std::string CaseFold(std::string_view text) {
  const std::u16string utf16 = Utf16(text);
  std::u16string folded;
  folded.reserve(utf16.size());
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    char32_t code = utf16[i];
    // Utf16 pairs only the surrogates of one character.
    if (code >= 0xD800 && code <= 0xDBFF && i + 1 < utf16.size()) {
      code = 0x10000 + ((code - 0xD800) << 10) + (utf16[++i] - 0xDC00);
    }
    AppendFolded(code, folded);
  }
  return Utf8(folded);
}

}  // namespace velmoth
