// UTF-16 text on every platform, as Windows compares and stores names: UTF-8 to
// and from UTF-16, and the letter case that name comparisons ignore.
#pragma once

#include <string>
#include <string_view>

namespace velmoth {

// Moves one character from the front of UTF-8 `text` to the end of `out`. A byte
// that does not start a valid sequence is read as Latin-1, so that text in another
// encoding still comes through.
void TakeUtf8Char(std::string_view& text, std::u16string& out);

// UTF-16 of UTF-8 text, read as TakeUtf8Char reads it.
std::u16string Utf16(std::string_view text);

// UTF-8 of UTF-16 text; a lone surrogate becomes U+FFFD.
std::string Utf8(std::u16string_view text);

// `text` with its small letters made capitals, for the scripts names are written
// in: ASCII, Latin-1, Latin Extended-A, Greek and Cyrillic. Two names that are the
// same without letter case fold to the same text.
std::u16string FoldCase(std::u16string text);

}  // namespace velmoth
