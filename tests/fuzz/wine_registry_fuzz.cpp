// Fuzzes the way from a Wine prefix's system.reg to a directory we can open: the
// registry reader, then the drive mapping into a scratch prefix. An input is a key
// path on its first line, a value name on its second and the registry text after them.
#include <stdio.h>
#include <stdlib.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

#include "base/file_error.h"
#include "base/path_text.h"
#include "config/local_path.h"
#include "config/registry_lookup.h"
#include "config/wine_registry.h"
#include "utf8_check.h"

namespace velmoth {
namespace {

namespace fs = std::filesystem;

// A Wine prefix of our own, made on first use and removed when the program ends:
// drives C: and D: mapped onto a few queue directories, no other drive mapped.
class ScratchPrefix {
 public:
  ScratchPrefix() {
    std::string name = (fs::temp_directory_path() / "velmoth-fuzz-XXXXXX").string();
    if (!::mkdtemp(name.data())) throw std::system_error(errno, std::generic_category(), name);
    root_ = name;
    for (const char* dir : {"drive_c/Mail/Bad Mail", "drive_c/Mail/Bad M\u00e4il",
                            "drive_c/Mail/Queue", "drive_d/Server/badmail", "dosdevices"}) {
      fs::create_directories(root_ / dir);
    }
    fs::create_directory_symlink("../drive_c", root_ / "dosdevices/c:");
    fs::create_directory_symlink("../drive_d", root_ / "dosdevices/d:");
    ::setenv("WINEPREFIX", root_.c_str(), 1);
  }
  ~ScratchPrefix() {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }

  // The dosdevices link of a drive letter, whether it is there or not.
  fs::path DriveLink(char letter) const {
    return root_ / "dosdevices" / std::string{static_cast<char>(letter | 0x20), ':'};
  }

 private:
  fs::path root_;
};

const ScratchPrefix& Prefix() {
  static const ScratchPrefix prefix;
  return prefix;
}

// A broken promise: abort, so that libFuzzer keeps the input as a crash.
void Require(bool holds, const char* promise) {
  if (holds) return;
  fprintf(stderr, "Broken: %s\n", promise);
  abort();
}

std::string_view TakeLine(std::string_view& text) {
  const std::size_t end = text.find('\n');
  const std::string_view line = text.substr(0, end);
  text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  return line;
}

std::string AsciiUpper(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return upper;
}

void RequireSame(const RegLookup& a, const RegLookup& b, const char* promise) {
  Require(a.state == b.state && a.error == b.error && a.text == b.text, promise);
}

// The text a 32-bit program finds, checked against what the registry promises,
// whatever the file holds; nullopt when it finds none.
std::optional<std::string> LookUp(const WineRegistry& registry, std::string_view key,
                                  std::string_view name) {
  const RegLookup found = registry.Find(key, name);
  RequireSame(found, registry.Find(AsciiUpper(key), AsciiUpper(name)), "names ignore case");
  RegLookup seen = registry.FindRedirected(key, name);
  if (!registry.win64()) RequireSame(seen, found, "a 32-bit prefix has one view");
  if (seen.state != RegLookup::kFound) return std::nullopt;
  Require(seen.text.find('\0') == std::string::npos, "a value ends at its first NUL");
  Require(fuzz::IsWellFormedUtf8(seen.text), "a value is UTF-8");
  return std::move(seen.text);
}

// A refused directory is named; a drive path on a drive the prefix lacks names
// that drive's missing dosdevices link instead.
void CheckRefusal(const std::string& directory, const FileError& error) {
  if (error.path() == directory) {
    Require(error.number() == EINVAL, "a path that cannot be mapped is an invalid argument");
    return;
  }
  Require(error.number() == ENOENT && error.path() == PathText(Prefix().DriveLink(directory[0])),
          "a missing drive names its dosdevices link");
}

// A drive path maps into its drive, with no "." or ".." left to climb out by, and
// finds a directory that is there whatever the letter case it is written in.
void CheckMapping(const std::string& directory) {
  fs::path path;
  try {
    path = LocalDirectoryPath(directory);
  } catch (const FileError& error) {
    CheckRefusal(directory, error);
    return;
  }
  if (directory.front() == '/') {
    Require(path == PathFromText(directory), "a POSIX path stays as it is");
    return;
  }
  const fs::path root = Prefix().DriveLink(directory[0]);
  auto inside = path.begin();
  for (auto part = root.begin(); part != root.end(); ++part, ++inside) {
    Require(inside != path.end() && *inside == *part, "a drive path maps onto its drive");
  }
  for (; inside != path.end(); ++inside) {
    Require(*inside != "." && *inside != ".." && !inside->empty(), "no name climbs out");
  }
  std::error_code error;
  if (fs::is_directory(path, error)) {
    Require(LocalDirectoryPath(AsciiUpper(directory)) == path, "names are found in any case");
  }
}

}  // namespace
}  // namespace velmoth

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  velmoth::Prefix();
  std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::string_view key = velmoth::TakeLine(input);
  const std::string_view name = velmoth::TakeLine(input);
  const velmoth::WineRegistry registry{std::string(input)};
  if (const auto directory = velmoth::LookUp(registry, key, name)) {
    velmoth::CheckMapping(*directory);
  }
  return 0;
}
