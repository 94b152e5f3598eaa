// Full case folding through the table that scripts/make-case-folding writes from
// Unicode's CaseFolding.txt; ASCII, the common case, is folded without a look-up.
#include "base/case_fold.h"

#include <algorithm>

#include "base/utf8_text.h"

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

void AppendFolded(char32_t code, std::string& out) {
  if (code < 0x80) {
    out += static_cast<char>(code >= 'A' && code <= 'Z' ? code + ('a' - 'A') : code);
    return;
  }
  const Folding* found = std::ranges::lower_bound(kFoldings, code, {}, &Folding::from);
  if (found == std::end(kFoldings) || found->from != code) return AppendUtf8(out, code);
  for (const char32_t to : found->to) {
    if (to != 0) AppendUtf8(out, to);
  }
}

}  // namespace

std::string CaseFold(std::string_view text) {
  std::string folded;
  folded.reserve(text.size());
  while (!text.empty()) AppendFolded(TakeChar(text), folded);
  return folded;
}

}  // namespace velmoth
