// Character widths as terminals give them: the wide blocks of East Asian scripts
// and the emoji, the combining marks of the common scripts; all else one column.
#include "base/text_width.h"

#include <algorithm>

#include "base/utf8_text.h"

namespace velmoth {
namespace {

struct Range {
  char32_t first, last;
};

constexpr Range kWide[] = {
    {0x1100, 0x115F}, {0x2E80, 0x303E},   {0x3041, 0x33FF},   {0x3400, 0x4DBF},   {0x4E00, 0x9FFF},
    {0xA000, 0xA4CF}, {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},   {0xFE30, 0xFE4F},   {0xFF00, 0xFF60},
    {0xFFE0, 0xFFE6}, {0x1F300, 0x1F64F}, {0x1F900, 0x1F9FF}, {0x20000, 0x3FFFD},
};
constexpr Range kZeroWidth[] = {
    {0x0300, 0x036F}, {0x0483, 0x0489}, {0x0591, 0x05BD}, {0x0610, 0x061A},
    {0x064B, 0x065F}, {0x1AB0, 0x1AFF}, {0x1DC0, 0x1DFF}, {0x200B, 0x200F},
    {0x20D0, 0x20FF}, {0xFE00, 0xFE0F}, {0xFE20, 0xFE2F},
};

template <std::size_t N>
bool InAny(const Range (&ranges)[N], char32_t code) {
  return std::any_of(std::begin(ranges), std::end(ranges),
                     [code](const Range& r) { return code >= r.first && code <= r.last; });
}

std::size_t CharWidth(char32_t code) {
  if (code < 0x300) return 1;
  if (InAny(kZeroWidth, code)) return 0;
  return InAny(kWide, code) ? 2 : 1;
}

}  // namespace

std::size_t TextWidth(std::string_view text) {
  std::size_t width = 0;
  while (!text.empty()) width += CharWidth(TakeChar(text));
  return width;
}

std::string CutToWidth(std::string_view text, std::size_t width) {
  if (TextWidth(text) <= width) return std::string(text);
  std::size_t used = 0;
  std::string_view rest = text;
  while (!rest.empty()) {
    std::string_view after = rest;
    const std::size_t charWidth = CharWidth(TakeChar(after));
    if (used + charWidth + 1 > width) break;
    used += charWidth;
    rest = after;
  }
  std::string cut(text.substr(0, text.size() - rest.size()));
  while (!cut.empty() && (cut.back() == ' ' || cut.back() == '\t')) cut.pop_back();
  return cut + "\xE2\x80\xA6";
}

}  // namespace velmoth
