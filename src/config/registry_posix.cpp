// Registry values off Windows: HKEY_LOCAL_MACHINE is the Wine prefix's system.reg,
// parsed again only when the file may have changed since the last parse.
#include <time.h>

#include <cerrno>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>

#include "base/file_error.h"
#include "base/path_text.h"
#include "config/local_path.h"
#include "config/registry.h"
#include "config/registry_lookup.h"
#include "config/wine_registry.h"
#include "files/file_system.h"

namespace velmoth {
namespace {

namespace fs = std::filesystem;

// What tells one version of a file from another without reading it. The change
// time moves on every write, truncation, rename and touch, and nothing can set it
// back; but some file systems keep it to the second only.
struct Version {
  FileIdentity identity;
  std::uint64_t size = 0;
  std::int64_t changed = 0;

  explicit Version(const FileStatus& status)
      : identity(status.identity), size(status.size), changed(status.changed) {}
  Version() = default;
  bool operator==(const Version&) const = default;
};

// How far a version's change time must lie before the moment it was read for any
// later change to give another: the coarsest grain a file system keeps it in,
// with a second to spare for the kernel's clock, which lags the system's.
constexpr std::int64_t kSettledAfterNanoseconds = 2'000'000'000;

struct CachedRegistry {
  fs::path path;
  Version version;
  // Whether any change after the version was read is sure to change `version`.
  bool settled = false;
  std::shared_ptr<const WineRegistry> registry;
};

// Says which is missing or unreadable: the prefix, or only its system.reg.
[[noreturn]] void ThrowNoRegistry(const fs::path& prefix, const FileError& error) {
  if (error.kind() == ErrorKind::kNotRegular) {
    throw FileError(error.kind(), error.number(), "The Wine registry is not a regular file",
                    error.path());
  }
  if (error.kind() == ErrorKind::kNotFound) {
    std::error_code failed;
    const fs::file_type type = fs::status(prefix, failed).type();
    if (type == fs::file_type::not_found) {
      throw FileError(ErrorKind::kNotFound, ENOENT, "The Wine prefix does not exist",
                      PathText(prefix));
    }
    if (failed && type == fs::file_type::none) {
      throw FileError(KindOfNumber(failed.value()), failed.value(),
                      "The Wine prefix cannot be reached: " + ErrorDescription(failed.value()),
                      PathText(prefix));
    }
    if (type != fs::file_type::directory) {
      throw FileError(ErrorKind::kNotFound, ENOTDIR, "The Wine prefix is not a directory",
                      PathText(prefix));
    }
  }
  throw FileError(error.kind(), error.number(),
                  "The Wine registry cannot be read: " + error.description(), error.path());
}

std::int64_t NowNanoseconds() {
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// The parsed system.reg of the current prefix.
std::shared_ptr<const WineRegistry> SystemRegistry() {
  static std::mutex mutex;
  static CachedRegistry cache;

  NativeFileSystem files;
  const fs::path prefix = WinePrefix();
  const fs::path path = prefix / "system.reg";
  const std::int64_t openedAt = NowNanoseconds();
  std::unique_ptr<InputFile> file;
  try {
    file = files.OpenForReading(path);
  } catch (const FileError& error) {
    ThrowNoRegistry(prefix, error);
  }
  const Version version(file->Status());
  std::lock_guard lock(mutex);
  if (cache.settled && path == cache.path && version == cache.version) return cache.registry;
  std::string text;
  try {
    text = ReadWhole(*file);
  } catch (const FileError& error) {
    ThrowNoRegistry(prefix, error);
  }
  auto registry = std::make_shared<const WineRegistry>(std::move(text));
  cache = {path, version, version.changed + kSettledAfterNanoseconds < openedAt, registry};
  return registry;
}

}  // namespace

std::string ReadRegString(const std::string& keyPath, const std::string& valueName) {
  return TextOrThrow(SystemRegistry()->FindRedirected(keyPath, valueName), keyPath, valueName);
}

}  // namespace velmoth
