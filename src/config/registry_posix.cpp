// Registry values off Windows: HKEY_LOCAL_MACHINE is the Wine prefix's system.reg,
// parsed again only when the file may have changed since the last parse.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>

#include "base/descriptor_posix.h"
#include "base/file_error.h"
#include "base/path_text.h"
#include "config/local_path.h"
#include "config/registry.h"
#include "config/registry_lookup.h"
#include "config/wine_registry.h"

namespace velmoth {
namespace {

namespace fs = std::filesystem;

// What tells one version of a file from another without reading it. The change
// time moves on every write, truncation, rename and touch, and nothing can set it
// back; but some file systems keep it to the second only.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  time_t changedSeconds = 0;
  long changedNanoseconds = 0;

  bool operator==(const FileIdentity&) const = default;
};

FileIdentity IdentityOf(const struct stat& st) {
  return {st.st_dev, st.st_ino, st.st_size, st.st_ctim.tv_sec, st.st_ctim.tv_nsec};
}

// How far a version's change time must lie before the moment it was read for any
// later change to give another: the coarsest grain a file system keeps it in,
// with a second to spare for the kernel's clock, which lags the system's.
constexpr time_t kSettledAfter = 2;

struct CachedRegistry {
  fs::path path;
  FileIdentity identity;
  // Whether any change after the version was read is sure to change `identity`.
  bool settled = false;
  std::shared_ptr<const WineRegistry> registry;
};

// Says which is missing or unreadable: the prefix, or only its system.reg.
[[noreturn]] void ThrowNoRegistry(const fs::path& prefix, const fs::path& file, int error) {
  if (error == ENOTDIR) {
    throw FileError(ENOTDIR, "The Wine prefix is not a directory", PathText(prefix));
  }
  if (struct stat st{}; error == ENOENT && ::stat(prefix.c_str(), &st) != 0) {
    const int prefixError = errno;
    throw FileError(prefixError,
                    prefixError == ENOENT
                        ? "The Wine prefix does not exist"
                        : "The Wine prefix cannot be reached: " + ErrorDescription(prefixError),
                    PathText(prefix));
  }
  throw FileError(error, "The Wine registry cannot be read: " + ErrorDescription(error),
                  PathText(file));
}

// The whole file; `identity` is that of the version read.
std::string ReadWhole(const fs::path& path, FileIdentity& identity) {
  // Non-blocking, so that a FIFO in the file's place cannot hang us.
  const Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  struct stat st {};
  if (file.get() < 0 || ::fstat(file.get(), &st) != 0)
    ThrowNoRegistry(path.parent_path(), path, errno);
  if (!S_ISREG(st.st_mode)) {
    throw FileError(kErrorNotRegularFile, "The Wine registry is not a regular file",
                    PathText(path));
  }
  identity = IdentityOf(st);
  std::string text;
  text.reserve(static_cast<std::size_t>(st.st_size));
  char buffer[1 << 16];
  for (;;) {
    const ssize_t got = ::read(file.get(), buffer, sizeof buffer);
    if (got == 0) return text;
    if (got > 0) {
      text.append(buffer, static_cast<std::size_t>(got));
    } else if (errno != EINTR) {
      ThrowNoRegistry(path.parent_path(), path, errno);
    }
  }
}

// The parsed system.reg of the current prefix.
std::shared_ptr<const WineRegistry> SystemRegistry() {
  static std::mutex mutex;
  static CachedRegistry cache;

  const fs::path prefix = WinePrefix();
  const fs::path path = prefix / "system.reg";
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) ThrowNoRegistry(prefix, path, errno);
  std::lock_guard lock(mutex);
  if (cache.settled && path == cache.path && IdentityOf(st) == cache.identity) {
    return cache.registry;
  }
  const std::time_t readAt = std::time(nullptr);
  FileIdentity identity;
  auto registry = std::make_shared<const WineRegistry>(ReadWhole(path, identity));
  cache = {path, identity, identity.changedSeconds + kSettledAfter < readAt, registry};
  return registry;
}

}  // namespace

std::string ReadRegString(const std::string& keyPath, const std::string& valueName) {
  return TextOrThrow(SystemRegistry()->FindRedirected(keyPath, valueName), keyPath, valueName);
}

}  // namespace velmoth
