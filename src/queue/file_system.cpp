// The temporary names every new queue file is written under before it is renamed
// into place, and the failures of a read that meets no regular file.
#include "queue/file_system.h"

#include <random>

#include "base/path_text.h"

namespace velmoth {

std::string NewTemporaryName() {
  static constexpr char kHex[] = "0123456789abcdef";
  // The device is made once: making one costs far more than drawing from it.
  static thread_local std::random_device random;
  std::string name = kTemporaryPrefix;
  for (int word = 0; word < 2; ++word) {
    std::uint32_t bits = random();
    for (int digit = 0; digit < 8; ++digit, bits >>= 4) name += kHex[bits & 0xF];
  }
  return name + kTemporarySuffix;
}

bool IsTemporaryName(const std::string& name) {
  const std::string_view prefix = kTemporaryPrefix;
  const std::string_view suffix = kTemporarySuffix;
  return name.size() > prefix.size() + suffix.size() && name.starts_with(prefix) &&
         name.ends_with(suffix);
}

void ThrowLink(const fs::path& path) {
  throw FileError(kErrorIsLink, "The file is a link, and links are not followed", PathText(path));
}

void ThrowNotRegular(const fs::path& path) {
  throw FileError(kErrorNotRegularFile, "Not a regular file", PathText(path));
}

bool IsLinkOrNotRegular(const FileError& error) {
  return error.number() == kErrorIsLink || error.number() == kErrorNotRegularFile;
}

}  // namespace velmoth
