// Reads the text files in which Wine keeps a prefix's registry (system.reg holds
// HKEY_LOCAL_MACHINE) and finds string values in them. Only the key headers are
// indexed up front; a key's values are read when they are asked for.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "config/registry_lookup.h"

namespace velmoth {

class WineRegistry {
 public:
  // Indexes `text`, a whole registry file. A text that does not open with Wine's
  // header line holds no keys; lines that cannot be read are passed over.
  explicit WineRegistry(std::string text);

  // Whether the prefix is 64-bit ("#arch=win64"): there 32-bit programs see
  // SOFTWARE under Software\Wow6432Node.
  bool win64() const { return win64_; }

  // The value `valueName` ("" for the key's default value) of `keyPath` (UTF-8,
  // relative to the file's root, one backslash between names), with its text as
  // UTF-8 up to its first NUL; or how far the lookup got: the key or the value
  // missing (an error of kErrorNotFound), or the value not of a string type. Names
  // compare without letter case.
  RegLookup Find(std::string_view keyPath, std::string_view valueName) const;

  // The value as a 32-bit program sees it: in a 64-bit prefix a key under SOFTWARE
  // is looked for under Software\Wow6432Node first, then as it is. When it is
  // missing in both, the lookup that got further.
  RegLookup FindRedirected(std::string_view keyPath, std::string_view valueName) const;

 private:
  struct Range {
    std::size_t begin;
    std::size_t end;
  };

  std::string text_;
  // Case-folded key path -> the stretches of text holding its values, in file order.
  std::unordered_map<std::u16string, std::vector<Range>> keys_;
  bool win64_ = false;
};

}  // namespace velmoth
