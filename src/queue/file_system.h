// The file operations the queue code is built on. A file is read only if it is a
// regular file reached without following a link at its own name; a new file is
// written under an exclusive temporary name and appears under its own name by a
// rename; every failure is a FileError naming the file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/file_error.h"
#include "base/file_time.h"
#include "base/path_text.h"

namespace velmoth {

namespace fs = std::filesystem;

// What a name in a directory is. Directories are never listed.
enum class FileKind { kRegular, kLink, kOther };

// What tells a file from another that takes its name later, and from itself
// before a change: the device and file number and the time of the last change
// to the finest unit kept (on Windows the volume serial number, the file index
// and the last write time).
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t file = 0;
  std::int64_t changed = 0;

  bool operator==(const FileIdentity&) const = default;
};

struct FileStatus {
  FileKind kind = FileKind::kRegular;
  std::uint64_t size = 0;
  FileDate modified{};
  FileIdentity identity{};  // of an opened file; empty from a directory's listing
};

// One name directly inside a directory, as the listing gives it.
struct DirectoryEntry {
  std::string name;  // bytes on POSIX, UTF-8 on Windows
  FileKind kind = FileKind::kRegular;
  // The last-modified date when the listing carries it (Windows); else the
  // file's own status gives it.
  std::optional<FileDate> modified;
};

// A regular file opened for reading; closed when destroyed.
class InputFile {
 public:
  virtual ~InputFile() = default;
  // Reads up to `size` bytes; fewer only at the end of the file, 0 there.
  virtual std::size_t Read(char* buffer, std::size_t size) = 0;
  // The file's status: as it was when opened for a file FileSystem::OpenForReading
  // opened; for one a Directory opened, it may be taken when first asked for.
  virtual FileStatus Status() = 0;
  virtual const fs::path& path() const = 0;
};

// A file opened for writing under a name no other file had; closed when destroyed.
class OutputFile {
 public:
  virtual ~OutputFile() = default;
  virtual void Write(const char* data, std::size_t size) = 0;
  // Closes the file, reporting a failed close (a full disk can surface only here).
  virtual void Close() = 0;
  virtual const fs::path& path() const = 0;
};

// A queue directory opened once, its files reached by name: a scan resolves the
// directory's path once, not once per file.
class Directory {
 public:
  virtual ~Directory() = default;
  // Every name directly inside that is not a directory, in the platform's order.
  virtual std::vector<DirectoryEntry> Entries() = 0;
  // Opens the file `name` for reading; a link, FIFO or device fails.
  virtual std::unique_ptr<InputFile> Open(const std::string& name) = 0;
  // The status of `name` itself, never of what a link points to; nothing when
  // there is no such name.
  virtual std::optional<FileStatus> Status(const std::string& name) = 0;
  virtual const fs::path& path() const = 0;
};

// The operations the scan and the requeue perform on the queue directories,
// behind an interface so that tests can watch their order or cut them short.
// NativeFileSystem is the real one.
class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // A missing directory fails.
  virtual std::unique_ptr<Directory> OpenDirectory(const fs::path& dir) = 0;
  // Opens a regular file for reading; a link at `path` itself fails.
  virtual std::unique_ptr<InputFile> OpenForReading(const fs::path& path) = 0;
  // Creates a new file in `dir` under an unpredictable temporary name that no
  // file had, exclusively, so two processes never share one.
  virtual std::unique_ptr<OutputFile> CreateTemporary(const fs::path& dir) = 0;
  // Makes the content of `files` and the names in `dirs` (new, renamed and
  // removed ones) durable, all of them before returning.
  virtual void Flush(const std::vector<fs::path>& files, const std::vector<fs::path>& dirs) = 0;
  // Renames `from` over `to` in one step; a link at `to` is replaced, never
  // written through.
  virtual void Rename(const fs::path& from, const fs::path& to) = 0;
  // The identity of the file at `path` itself, never of what a link points to;
  // nothing when there is no such file.
  virtual std::optional<FileIdentity> Identity(const fs::path& path) = 0;
  // Deletes a file; a read-only file is not deleted and fails.
  virtual void Delete(const fs::path& path) = 0;
  // Removes a file if it is there, reporting nothing (clean-up after a failure).
  virtual void Discard(const fs::path& path) noexcept = 0;
};

class NativeFileSystem : public FileSystem {
 public:
  std::unique_ptr<Directory> OpenDirectory(const fs::path& dir) override;
  std::unique_ptr<InputFile> OpenForReading(const fs::path& path) override;
  std::unique_ptr<OutputFile> CreateTemporary(const fs::path& dir) override;
  void Flush(const std::vector<fs::path>& files, const std::vector<fs::path>& dirs) override;
  void Rename(const fs::path& from, const fs::path& to) override;
  std::optional<FileIdentity> Identity(const fs::path& path) override;
  void Delete(const fs::path& path) override;
  void Discard(const fs::path& path) noexcept override;
};

// Temporary names: ".velmoth-" and 16 random hex digits, then ".tmp". The server
// looks in a "messages" directory only for the names its command files give.
inline constexpr char kTemporaryPrefix[] = ".velmoth-";
inline constexpr char kTemporarySuffix[] = ".tmp";
std::string NewTemporaryName();
bool IsTemporaryName(const std::string& name);

// The failures of a read that met a link, or something else than a regular file,
// where a regular file was to be opened.
[[noreturn]] void ThrowLink(const fs::path& path);
[[noreturn]] void ThrowNotRegular(const fs::path& path);
bool IsLinkOrNotRegular(const FileError& error);

// Reads the whole of `file` in blocks of up to `size` bytes, handing each to
// `block`; stops after the first short read, which on a regular file is its end.
template <typename BlockFunction>
void ReadBlocks(InputFile& file, char* buffer, std::size_t size, BlockFunction&& block) {
  for (;;) {
    const std::size_t got = file.Read(buffer, size);
    if (got > 0) block(buffer, got);
    if (got < size) return;
  }
}

}  // namespace velmoth
