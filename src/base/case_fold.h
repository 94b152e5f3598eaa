// Text matched without letter case in every script: Unicode's full case folding
// (CaseFolding.txt, statuses C and F), under which "STRASSE" and "straße" are one.
#pragma once

#include <string>
#include <string_view>

namespace velmoth {

// UTF-8 `text` with every character replaced by its full case folding. A byte
// that does not start valid UTF-8 is read as Latin-1, as Utf16 reads it. Two
// texts that differ only in letter case fold to the same text, and a part of
// one is then a part of the other's folding too.
std::string CaseFold(std::string_view text);

}  // namespace velmoth
