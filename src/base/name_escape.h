// The one escape every name is written in, so that a name the file system holds
// as bytes that are not UTF-8 reaches a terminal, JSON, the arguments of a later
// command and the system log whole and unaltered.
#pragma once

#include <string>
#include <string_view>

namespace velmoth {

// `name` with each backslash doubled and each control character, and each byte
// that is not part of valid UTF-8, written as \xHH (two upper-case hex digits).
// The result is valid UTF-8 on one line; a name without backslash, control
// character or invalid byte comes out as it is.
std::string EscapeName(std::string_view name);

// The inverse of EscapeName: "\\" gives one backslash and \xHH (either case) the
// byte; any other backslash stands for itself, so a name typed as it is comes
// through unless it holds one of those two sequences.
std::string UnescapeName(std::string_view text);

// `text` with only its bytes that are not part of valid UTF-8 written as \xHH,
// for error descriptions and paths, which are read, never handed back.
std::string ValidUtf8Text(std::string_view text);

}  // namespace velmoth
