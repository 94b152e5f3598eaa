// The file operations the queue code is built on. A queue directory is opened
// once, following links on the way to it; below it nothing is reached through a
// link: its "messages" subdirectory and every file are opened relative to the
// directory that holds them and refused when they are links. A file is read only
// if it is a regular file; a new file is written under an exclusive temporary
// name and appears under its own name by a rename; a parked file is deleted only
// as the very file that was opened; every failure is a FileError naming the file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/file_error.h"
#include "base/file_time.h"
#include "base/path_text.h"

namespace velmoth {

// What a name in a directory is. Directories are never listed; Status tells one.
enum class FileKind { kRegular, kLink, kDirectory, kOther };

// Which file it is, whatever names it has: the device and the file number (on
// Windows the volume serial number and the file index).
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t file = 0;

  bool operator==(const FileIdentity&) const = default;
};

struct FileStatus {
  FileKind kind = FileKind::kRegular;
  std::uint64_t size = 0;
  FileDate modified{};
  FileIdentity identity{};
  // Moves with every change to the file, its bytes or its attributes, in the
  // finest unit the file system keeps. Zero where a listing gave the status.
  std::int64_t changed = 0;
  // Moves with every write of its bytes, in the same unit, but not with a rename.
  std::int64_t written = 0;
  // Nobody may write it, so a delete that is not forced leaves it.
  bool readOnly = false;
  // This process may read it, as far as its permissions tell.
  bool readable = true;
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
  // Reads up to `size` bytes: 0 only at the end of the file, and possibly fewer
  // than asked for anywhere before it.
  virtual std::size_t Read(char* buffer, std::size_t size) = 0;
  // Reads from the start again.
  virtual void Rewind() = 0;
  // The file's status when it was opened; for a file that a Directory opened on
  // Windows only to read it, when it was first asked for.
  virtual FileStatus Status() = 0;
  // The status of the open file now.
  virtual FileStatus CurrentStatus() = 0;
  virtual const std::filesystem::path& path() const = 0;
};

// A new file opened for writing under a temporary name no file had; closed, and
// removed unless renamed away, when its directory's owner says so.
class OutputFile {
 public:
  virtual ~OutputFile() = default;
  virtual void Write(const char* data, std::size_t size) = 0;
  // Copies what is left of `from` to the end of this file, the platform's
  // quickest way; the bytes copied.
  virtual std::uint64_t CopyFrom(InputFile& from);
  // Gives the file the owner and permissions of `original`, never letting more
  // people read it than may read the original.
  virtual void ShareLike(InputFile& original) = 0;
  // Closes the file, reporting a failed close (a full disk can surface only here).
  virtual void Close() = 0;
  // Its name in its directory.
  virtual const std::string& name() const = 0;
  virtual const std::filesystem::path& path() const = 0;
};

// What a rename does with a file already at its new name.
enum class ExistingName { kReplace, kKeep };

// Whether a file is opened only to be read, or also so that it can be deleted
// through FileSystem::DeleteOpened later.
enum class Access { kRead, kReadAndDelete };

// A directory held open: its files are reached by name relative to it, and a
// name is one name, never a path.
class Directory {
 public:
  virtual ~Directory() = default;
  // Every name directly inside that is not a directory, in the platform's order.
  virtual std::vector<DirectoryEntry> Entries() = 0;
  // The subdirectory `name`; a link there fails as kLink, never followed.
  virtual std::unique_ptr<Directory> OpenDirectory(const std::string& name) = 0;
  // The directory that holds this one; nothing at the root.
  virtual std::unique_ptr<Directory> OpenParent() = 0;
  // Opens the file `name` for reading; a link fails as kLink, a FIFO, socket,
  // device or directory as kNotRegular.
  virtual std::unique_ptr<InputFile> Open(const std::string& name, Access access) = 0;
  // The status of `name` itself, never of what a link points to; nothing when
  // there is no such name.
  virtual std::optional<FileStatus> Status(const std::string& name) = 0;
  // As Status, for a scan that looks at many files and compares none. On Windows
  // the name is looked up by its path, without opening the file, which under Wine
  // costs ten times as much: a link on the way to the directory is followed, and
  // the status has no identity and no change time (both zero).
  virtual std::optional<FileStatus> QuickStatus(const std::string& name) { return Status(name); }
  // Creates a new file in this directory under an unpredictable temporary name
  // that no file had, exclusively, so that two processes never share one.
  virtual std::unique_ptr<OutputFile> CreateTemporary() = 0;
  // Renames `from` in this directory to `to` in `target`, which is this
  // directory or another on the same volume, in one step. A file or link at `to`
  // is replaced, never written through, or with ExistingName::kKeep kept, and
  // the rename fails as kExists.
  virtual void Rename(const std::string& from, Directory& target, const std::string& to,
                      ExistingName existing) = 0;
  // Removes the file `name` if it is there, reporting nothing: the clean-up of
  // a file this process made.
  virtual void Discard(const std::string& name) noexcept = 0;
  // Makes the bytes of the files `names` durable, all before returning; with
  // many, by flushing the whole volume at once.
  virtual void FlushFiles(const std::vector<std::string>& names) = 0;
  // Makes the directory's names durable: the new, renamed and removed ones.
  virtual void FlushNames() = 0;
  virtual FileIdentity Identity() = 0;
  virtual const std::filesystem::path& path() const = 0;
};

// A file opened from a directory with Access::kReadAndDelete, by its name there.
struct OpenedFile {
  Directory& directory;
  std::string name;
  InputFile& file;
};

// How a DeleteOpened ended: every file was deleted; none was, as every name was
// gone already; none was, as one had changed since it was opened or its name
// led to another file; none was, as one is read-only.
enum class DeleteOutcome { kDeleted, kGone, kChanged, kReadOnly };

// What this process may do in a directory, and as whom: for the advice that goes
// with a refusal.
struct DirectoryAccess {
  bool mayRead = true;    // list it and open its files
  bool mayWrite = true;   // create, rename and delete files in it
  bool elevated = false;  // running as root, or as an administrator with full rights
  std::string user;       // the user name the process runs as
};

// The operations on the queues, behind an interface so that tests can watch
// their order or make any of them fail. NativeFileSystem is the real one.
class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // The directory `dir`, following every link on the way, its last name's
  // included; a missing one fails.
  virtual std::unique_ptr<Directory> OpenDirectory(const std::filesystem::path& dir) = 0;
  // A regular file outside the queues by its whole path, links followed.
  virtual std::unique_ptr<InputFile> OpenForReading(const std::filesystem::path& path) = 0;
  // Deletes the opened files together, or none of them: each only while its
  // name still leads to the very file opened and it has not changed since. The
  // names are claimed first, so that nobody can open or change the files by
  // them; then `unchanged`, when given, has the last word on whether they are
  // still as they were read. A name already gone counts as deleted, unless all
  // are. Nothing is forced. On Windows the deleted files are closed, which lets
  // their names go, so that they can be read no more.
  virtual DeleteOutcome DeleteOpened(const std::vector<OpenedFile>& files,
                                     const std::function<bool()>& unchanged = {}) = 0;
  // What this process may do in the directory `dir`.
  virtual DirectoryAccess AccessTo(const std::filesystem::path& dir) = 0;
};

class NativeFileSystem : public FileSystem {
 public:
  std::unique_ptr<Directory> OpenDirectory(const std::filesystem::path& dir) override;
  std::unique_ptr<InputFile> OpenForReading(const std::filesystem::path& path) override;
  DeleteOutcome DeleteOpened(const std::vector<OpenedFile>& files,
                             const std::function<bool()>& unchanged = {}) override;
  DirectoryAccess AccessTo(const std::filesystem::path& dir) override;
};

// How many files the process may hold open at once, less a reserve for
// everything else it opens; raised to the most the system allows by
// RaiseOpenFileLimit, which a program calls once at its start.
std::size_t OpenFileBudget();
void RaiseOpenFileLimit();

// Temporary names: ".velmoth-" and 16 random hex digits, then ".tmp". The server
// looks in a "messages" directory only for the names its command files give.
inline constexpr char kTemporaryPrefix[] = ".velmoth-";
inline constexpr char kTemporarySuffix[] = ".tmp";
std::string NewTemporaryName();
bool IsTemporaryName(const std::string& name);

// Throws unless `name` is one name in a directory: not empty, "." or "..", and
// without a separator.
void CheckBareName(const std::string& name, const std::filesystem::path& dir);

// The failures of an open that met a link, or something else than a regular
// file, where a regular file was to be opened.
[[noreturn]] void ThrowLink(const std::filesystem::path& path);
[[noreturn]] void ThrowNotRegular(const std::filesystem::path& path);
inline bool IsLinkOrNotRegular(const FileError& error) {
  return error.kind() == ErrorKind::kLink || error.kind() == ErrorKind::kNotRegular;
}

// Reads the whole of `file` in blocks of up to `size` bytes, handing each to
// `block`, until a read gives nothing; the bytes read.
template <typename BlockFunction>
std::uint64_t ReadBlocks(InputFile& file, char* buffer, std::size_t size, BlockFunction&& block) {
  std::uint64_t total = 0;
  for (;;) {
    const std::size_t got = file.Read(buffer, size);
    if (got == 0) return total;
    block(buffer, got);
    total += got;
  }
}

// The whole of a file.
std::string ReadWhole(InputFile& file);

// Removes the file `name` of `dir` only while it is the file `identity` tells,
// claiming the name first: a file another process put in its place stays.
// Reports nothing, as Directory::Discard.
void DiscardIfSame(Directory& dir, const std::string& name, const FileIdentity& identity) noexcept;

}  // namespace velmoth
