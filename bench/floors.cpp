// The scan and requeue floors, written as a hurried C programmer would: one
// buffer, no error checks, every file closed as soon as it is done with.
#include "floors.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace velmoth::bench {
namespace {

namespace fs = std::filesystem;

void CopyFile(const fs::path& from, const fs::path& to) {
  const int in = ::open(from.c_str(), O_RDONLY);
  const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  static char buffer[256 * 1024];
  ssize_t got = 0;
  while ((got = ::read(in, buffer, sizeof buffer)) > 0) {
    if (::write(out, buffer, static_cast<std::size_t>(got)) != got) break;
  }
  ::close(in);
  ::close(out);
}

}  // namespace

namespace {

std::size_t Scan(const fs::path& badMail, bool readHeaders) {
  DIR* dir = ::opendir(badMail.c_str());
  const int messages = ::open((badMail / "messages").c_str(), O_RDONLY | O_DIRECTORY);
  std::size_t found = 0;
  static char buffer[64 * 1024];
  while (const dirent* entry = ::readdir(dir)) {
    if (entry->d_type != DT_REG) continue;
    const int fd = ::openat(::dirfd(dir), entry->d_name, O_RDONLY);
    struct stat st {};
    ::fstat(fd, &st);
    while (::read(fd, buffer, sizeof buffer) > 0) {
    }
    ::close(fd);
    if (::fstatat(messages, entry->d_name, &st, 0) != 0) continue;
    ++found;
    if (!readHeaders) continue;
    const int message = ::openat(messages, entry->d_name, O_RDONLY);
    ::read(message, buffer, 4096);
    ::close(message);
  }
  ::close(messages);
  ::closedir(dir);
  return found;
}

}  // namespace

std::size_t ScanFloor(const fs::path& badMail) { return Scan(badMail, false); }

std::size_t ListFloor(const fs::path& badMail) { return Scan(badMail, true); }

void RequeueFloor(const fs::path& badMail, const fs::path& outbound,
                  const std::vector<std::string>& names) {
  int number = 0;
  for (const std::string& name : names) {
    CopyFile(badMail / "messages" / name, outbound / "messages" / name);
    const fs::path temporary = outbound / "messages" / (".floor-" + std::to_string(++number));
    CopyFile(badMail / name, temporary);
    ::rename(temporary.c_str(), (outbound / name).c_str());
  }
  const int fd = ::open(outbound.c_str(), O_RDONLY | O_DIRECTORY);
  ::syncfs(fd);
  ::close(fd);
  for (const std::string& name : names) {
    ::unlink((badMail / "messages" / name).c_str());
    ::unlink((badMail / name).c_str());
  }
}

}  // namespace velmoth::bench
