// Header fields as they are shown: folds made one space, encoded words decoded,
// raw bytes that are not UTF-8 read as Windows-1252, control characters made
// visible, and the recipients of address fields split and joined. The text is
// always valid UTF-8.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velmoth {

// The text of an unstructured field (Subject) for display: folds and the white
// space around them made one space, encoded words decoded, raw bytes that are
// not UTF-8 read as Windows-1252, control characters made visible. An encoded
// word that cannot be decoded is shown as written.
std::string DecodeHeaderText(std::string_view raw);

// The text of an address field (From, To, Cc): each recipient as written, with
// encoded words decoded outside angle brackets, the recipients joined by ", ".
std::string DecodeAddressList(std::string_view raw);
// The same appended to `out`, joined by ", " to the recipients it holds.
void AppendAddressList(std::string& out, std::string_view raw);

// Appends the address of each recipient of an address field to `out`: what its
// angle brackets hold, or the recipient itself when it has none, without
// comments, white space outside quotes, a group's name and ";", or a route; its
// raw bytes shown as DecodeHeaderText shows them. A recipient that leaves
// nothing adds no address.
void AppendAddresses(std::vector<std::string>& out, std::string_view raw);

}  // namespace velmoth
