// Registry values off Windows: HKEY_LOCAL_MACHINE is the Wine prefix's system.reg,
// parsed again only when the file has changed since the last parse.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "config/local_path.h"
#include "config/registry.h"
#include "config/wine_registry.h"

namespace velmoth {
namespace {

// What tells one version of a file from another without reading it.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  time_t seconds = 0;
  long nanoseconds = 0;

  bool operator==(const FileIdentity&) const = default;
};

FileIdentity IdentityOf(const struct stat& st) {
  return {st.st_dev, st.st_ino, st.st_size, st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
}

// The whole file, or nullopt when it is not a regular file or cannot be read.
// `identity` is that of the version read.
std::optional<std::string> ReadWhole(const std::filesystem::path& path, FileIdentity& identity) {
  // Non-blocking, so that a FIFO in the file's place cannot hang us.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return std::nullopt;
  std::optional<std::string> text;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    identity = IdentityOf(st);
    text.emplace();
    text->reserve(static_cast<std::size_t>(st.st_size));
    char buffer[1 << 16];
    for (;;) {
      const ssize_t got = ::read(fd, buffer, sizeof buffer);
      if (got == 0) break;
      if (got < 0) {
        if (errno == EINTR) continue;
        text.reset();
        break;
      }
      text->append(buffer, static_cast<std::size_t>(got));
    }
  }
  ::close(fd);
  return text;
}

// The parsed system.reg of the current prefix; null when it cannot be read.
std::shared_ptr<const WineRegistry> SystemRegistry() {
  static std::mutex mutex;
  static std::filesystem::path cachedPath;
  static FileIdentity cachedIdentity;
  static std::shared_ptr<const WineRegistry> cached;

  const std::filesystem::path path = WinePrefix() / "system.reg";
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return nullptr;
  std::lock_guard lock(mutex);
  if (cached && path == cachedPath && IdentityOf(st) == cachedIdentity) return cached;
  FileIdentity identity;
  std::optional<std::string> text = ReadWhole(path, identity);
  if (!text) return nullptr;
  cached = std::make_shared<const WineRegistry>(std::move(*text));
  cachedPath = path;
  cachedIdentity = identity;
  return cached;
}

}  // namespace

std::string GetRegString(const std::string& keyPath, const std::string& valueName) {
  try {
    const auto registry = SystemRegistry();
    return registry ? registry->GetString(keyPath, valueName) : std::string();
  } catch (const std::exception&) {  // no home directory, out of memory
    return {};
  }
}

}  // namespace velmoth
