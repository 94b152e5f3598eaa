// Maps a directory path as the mail server stores it under Wine ("D:\Mail\Badmail")
// onto the prefix's dosdevices links, which lead to where each drive really is,
// finding each name without letter case where the exact one is missing, as Wine does.
#include <pwd.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <system_error>
#include <vector>

#include "base/file_error.h"
#include "base/path_text.h"
#include "base/utf16_text.h"
#include "config/local_path.h"

namespace velmoth {
namespace {

namespace fs = std::filesystem;

bool IsSeparator(char c) { return c == '\\' || c == '/'; }
bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

[[noreturn]] void Reject(const char* why, const std::string& directory) {
  throw FileError(ErrorKind::kNotFound, EINVAL, why, directory);
}

// Whether the path is an absolute POSIX path rather than one on a drive ("X:\").
// Throws for a path that is neither: UNC, or relative to the current directory
// or to the drive's current directory.
bool IsPosixPath(const std::string& directory) {
  if (directory.empty()) Reject("No directory is configured", directory);
  // Windows reads "//server/share" as a network path too.
  if (directory.size() > 1 && IsSeparator(directory[0]) && IsSeparator(directory[1])) {
    Reject("A network (UNC) path cannot be opened under Wine", directory);
  }
  if (directory.front() == '/') return true;
  if (directory.front() == '\\') Reject("The directory path has no drive letter", directory);
  if (directory.size() < 2 || !IsAsciiLetter(directory[0]) || directory[1] != ':') {
    Reject("The directory path is relative", directory);
  }
  if (directory.size() == 2 || !IsSeparator(directory[2])) {
    Reject("The directory path is relative to the drive's current directory", directory);
  }
  return false;
}

// The names after "X:\", with "." and ".." resolved by name, as Windows does, so
// that ".." never climbs out of the drive through the dosdevices link.
std::vector<std::string> NamesOnDrive(const std::string& directory) {
  std::vector<std::string> names;
  std::size_t begin = 3;
  while (begin <= directory.size()) {
    std::size_t end = begin;
    while (end < directory.size() && !IsSeparator(directory[end])) ++end;
    const std::string name = directory.substr(begin, end - begin);
    if (name == "..") {
      if (!names.empty()) names.pop_back();
    } else if (!name.empty() && name != ".") {
      names.push_back(name);
    }
    begin = end + 1;
  }
  return names;
}

// The dosdevices link of the drive `letter`; throws when the prefix maps no such drive.
fs::path DriveRoot(char letter) {
  const char link[] = {static_cast<char>(letter | 0x20), ':', '\0'};
  const fs::path root = WinePrefix() / "dosdevices" / link;
  if (struct stat st{}; ::lstat(root.c_str(), &st) != 0) {
    const int error = errno;
    const std::string drive = {static_cast<char>(letter & ~0x20), ':'};
    throw FileError(KindOfNumber(error), error,
                    KindOfNumber(error) == ErrorKind::kNotFound
                        ? "The drive " + drive + " is not mapped in the Wine prefix"
                        : "The drive " + drive + " cannot be looked up: " + ErrorDescription(error),
                    PathText(root));
  }
  return root;
}

// The entry `name` of `dir` when there is one; else the first entry whose name is
// the same without letter case; else `name` as written.
fs::path EntryNamed(const fs::path& dir, const std::string& name) {
  const fs::path exact = dir / PathFromText(name);
  if (struct stat st{}; ::lstat(exact.c_str(), &st) == 0) return exact;
  const std::u16string wanted = FoldCase(Utf16(name));
  std::error_code error;
  for (fs::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) {
    if (FoldCase(Utf16(PathText(it->path().filename()))) == wanted) return it->path();
  }
  return exact;
}

}  // namespace

std::filesystem::path WinePrefix() {
  if (const char* prefix = ::getenv("WINEPREFIX"); prefix && *prefix) return prefix;
  if (const char* home = ::getenv("HOME"); home && *home) {
    return std::filesystem::path(home) / ".wine";
  }
  if (const passwd* user = ::getpwuid(::getuid()); user && user->pw_dir && *user->pw_dir) {
    return std::filesystem::path(user->pw_dir) / ".wine";
  }
  throw FileError(ErrorKind::kNotFound, ENOENT, "Neither WINEPREFIX nor a home directory is known",
                  "~/.wine");
}

std::filesystem::path LocalDirectoryPath(const std::string& directory) {
  if (IsPosixPath(directory)) return PathFromText(directory);
  const fs::path root = DriveRoot(directory[0]);
  const std::vector<std::string> names = NamesOnDrive(directory);
  fs::path exact = root;
  for (const std::string& name : names) exact /= PathFromText(name);
  // Usually the path is there as written, and no directory need be read.
  if (struct stat st{}; ::stat(exact.c_str(), &st) == 0) return exact;
  fs::path path = root;
  for (const std::string& name : names) path = EntryNamed(path, name);
  return path;
}

}  // namespace velmoth
