// Maps a directory path as the mail server stores it under Wine ("D:\Mail\Badmail")
// onto the prefix's dosdevices links, which lead to where each drive really is.
#include <pwd.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "base/file_error.h"
#include "base/path_text.h"
#include "config/local_path.h"

namespace velmoth {
namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }
bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

[[noreturn]] void Reject(const char* why, const std::string& directory) {
  throw FileError(EINVAL, why, directory);
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
  throw FileError(ENOENT, "Neither WINEPREFIX nor a home directory is known", "~/.wine");
}

std::filesystem::path LocalDirectoryPath(const std::string& directory) {
  if (directory.empty()) Reject("No directory is configured", directory);
  // Windows reads "//server/share" as a network path too.
  if (directory.size() > 1 && IsSeparator(directory[0]) && IsSeparator(directory[1])) {
    Reject("A network (UNC) path cannot be opened under Wine", directory);
  }
  if (directory.front() == '/') return PathFromText(directory);
  if (directory.front() == '\\') Reject("The directory path has no drive letter", directory);
  if (directory.size() < 2 || !IsAsciiLetter(directory[0]) || directory[1] != ':') {
    Reject("The directory path is relative", directory);
  }
  if (directory.size() == 2 || !IsSeparator(directory[2])) {
    Reject("The directory path is relative to the drive's current directory", directory);
  }

  // Resolve "." and ".." by name, as Windows does, so that ".." never climbs out
  // of the drive through the dosdevices link.
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

  const char drive[] = {static_cast<char>(directory[0] | 0x20), ':', '\0'};
  std::filesystem::path path = WinePrefix() / "dosdevices" / drive;
  for (const std::string& name : names) path /= PathFromText(name);
  return path;
}

}  // namespace velmoth
