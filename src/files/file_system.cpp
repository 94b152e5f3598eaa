// What the file layer does alike on every platform: temporary names, the names a
// directory takes, the failures of an open that meets no regular file, and the
// plain copy a platform without a quicker one makes.
#include "files/file_system.h"

#include <memory>
#include <random>

namespace velmoth {

std::uint64_t OutputFile::CopyFrom(InputFile& from) {
  constexpr std::size_t kSize = 256 * 1024;
  const auto buffer = std::make_unique_for_overwrite<char[]>(kSize);
  return ReadBlocks(from, buffer.get(), kSize,
                    [this](const char* data, std::size_t size) { Write(data, size); });
}

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

void CheckBareName(const std::string& name, const std::filesystem::path& dir) {
  const bool separator = name.find('/') != std::string::npos
#ifdef _WIN32
                         || name.find('\\') != std::string::npos ||
                         name.find(':') != std::string::npos
#endif
      ;
  if (name.empty() || name == "." || name == ".." || separator ||
      name.find('\0') != std::string::npos) {
    throw FileError(ErrorKind::kNotFound, kErrorInvalidName, "Not the name of a file in the queue",
                    PathText(dir / PathFromText(name)));
  }
}

void ThrowLink(const std::filesystem::path& path) {
  throw FileError(ErrorKind::kLink, kErrorIsLink, "The file is a link, and links are not followed",
                  PathText(path));
}

void ThrowNotRegular(const std::filesystem::path& path) {
  throw FileError(ErrorKind::kNotRegular, kErrorNotRegularFile, "Not a regular file",
                  PathText(path));
}

void DiscardIfSame(Directory& dir, const std::string& name, const FileIdentity& identity) noexcept {
  try {
    const std::string claimed = NewTemporaryName();
    dir.Rename(name, dir, claimed, ExistingName::kKeep);
    const std::optional<FileStatus> status = dir.Status(claimed);
    if (status && status->identity == identity) return dir.Discard(claimed);
    dir.Rename(claimed, dir, name, ExistingName::kKeep);
  } catch (const FileError&) {
    // Gone already, or kept as it is.
  }
}

std::string ReadWhole(InputFile& file) {
  std::string bytes;
  char buffer[1 << 16];
  ReadBlocks(file, buffer, sizeof buffer,
             [&bytes](const char* data, std::size_t size) { bytes.append(data, size); });
  return bytes;
}

}  // namespace velmoth
