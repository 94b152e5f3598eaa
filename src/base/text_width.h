// How much room UTF-8 text takes where it is shown, in the columns of a terminal,
// and text cut to a room with "…" so that one long field cannot crowd out the rest.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace velmoth {

// The columns `text` takes: two for a wide East Asian character or emoji, none
// for a combining mark or a zero-width character, one for any other character
// and for a byte that starts no UTF-8 sequence.
std::size_t TextWidth(std::string_view text);

// `text` as it is when it takes at most `width` (at least 1) columns; else its
// longest start that leaves a column for "…", without the blanks it ends with,
// and the "…".
std::string CutToWidth(std::string_view text, std::size_t width);

}  // namespace velmoth
