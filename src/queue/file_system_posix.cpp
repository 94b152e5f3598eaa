// The file layer on POSIX. Files are opened with O_NOFOLLOW and must prove to be
// regular files; new files are created with O_EXCL; a directory's files are
// reached relative to its descriptor; nothing forces a delete.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <set>
#include <utility>

#include "base/descriptor_posix.h"
#include "queue/file_system.h"

namespace velmoth {
namespace {

FileKind KindOf(mode_t mode) {
  if (S_ISREG(mode)) return FileKind::kRegular;
  if (S_ISLNK(mode)) return FileKind::kLink;
  return FileKind::kOther;
}

FileIdentity IdentityOf(const struct stat& st) {
  return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
          static_cast<std::int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec};
}

FileStatus StatusOf(const struct stat& st) {
  return {KindOf(st.st_mode), static_cast<std::uint64_t>(st.st_size),
          FileDate(std::chrono::seconds(st.st_mtim.tv_sec)), IdentityOf(st)};
}

// Where a file was opened: a whole path, or a name in a directory whose path is
// joined to it only when asked for, as a scan of many files rarely needs it.
class OpenedPath {
 public:
  explicit OpenedPath(fs::path path) : path_(std::move(path)) {}
  OpenedPath(std::shared_ptr<const fs::path> dir, std::string name)
      : dir_(std::move(dir)), name_(std::move(name)) {}

  const fs::path& get() const {
    if (dir_) {
      path_ = *dir_ / name_;
      dir_.reset();
    }
    return path_;
  }

 private:
  mutable std::shared_ptr<const fs::path> dir_;
  std::string name_;
  mutable fs::path path_;
};

class PosixInputFile final : public InputFile {
 public:
  PosixInputFile(int fd, OpenedPath path, const struct stat& st)
      : fd_(fd), path_(std::move(path)), status_(StatusOf(st)) {}

  std::size_t Read(char* buffer, std::size_t size) override {
    for (;;) {
      const ssize_t got = ::read(fd_.get(), buffer, size);
      if (got >= 0) return static_cast<std::size_t>(got);
      if (errno != EINTR) ThrowLastError(path());
    }
  }
  FileStatus Status() override { return status_; }
  const fs::path& path() const override { return path_.get(); }

 private:
  Descriptor fd_;
  OpenedPath path_;
  FileStatus status_;
};

// Opens `name` relative to `dirFd` (or a whole path with AT_FDCWD) for reading:
// never through a link at the name itself, never anything but a regular file.
std::unique_ptr<InputFile> OpenRegular(int dirFd, const char* name, OpenedPath path) {
  // Non-blocking, so that a FIFO planted in a queue cannot hang us before we see
  // what it is; on a regular file the flag does nothing.
  Descriptor fd(::openat(dirFd, name, O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
  if (fd.get() < 0) {
    if (errno == ELOOP) ThrowLink(path.get());
    // A socket, or a device without its driver, cannot be opened at all.
    if (errno == ENXIO) ThrowNotRegular(path.get());
    ThrowLastError(path.get());
  }
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) ThrowLastError(path.get());
  if (!S_ISREG(st.st_mode)) ThrowNotRegular(path.get());
  return std::make_unique<PosixInputFile>(fd.release(), std::move(path), st);
}

class PosixOutputFile final : public OutputFile {
 public:
  PosixOutputFile(int fd, fs::path path) : fd_(fd), path_(std::move(path)) {}

  void Write(const char* data, std::size_t size) override {
    while (size > 0) {
      const ssize_t put = ::write(fd_.get(), data, size);
      if (put < 0 && errno == EINTR) continue;
      if (put < 0) ThrowLastError(path_);
      if (put == 0) ThrowError(ENOSPC, path_);
      data += put;
      size -= static_cast<std::size_t>(put);
    }
  }
  void Close() override {
    if (::close(fd_.release()) != 0) ThrowLastError(path_);
  }
  const fs::path& path() const override { return path_; }

 private:
  Descriptor fd_;
  fs::path path_;
};

class PosixDirectory final : public Directory {
 public:
  PosixDirectory(int fd, fs::path path)
      : fd_(fd), path_(std::make_shared<const fs::path>(std::move(path))) {}

  std::vector<DirectoryEntry> Entries() override;
  std::unique_ptr<InputFile> Open(const std::string& name) override {
    return OpenRegular(fd_.get(), name.c_str(), OpenedPath(path_, name));
  }
  std::optional<FileStatus> Status(const std::string& name) override {
    struct stat st {};
    if (::fstatat(fd_.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) return StatusOf(st);
    if (errno == ENOENT) return std::nullopt;
    ThrowLastError(*path_ / name);
  }
  const fs::path& path() const override { return *path_; }

 private:
  Descriptor fd_;
  std::shared_ptr<const fs::path> path_;
};

// What a listed name is, from the type that comes with it on most file systems,
// else from its own status; nothing for a directory or a name gone since.
std::optional<FileKind> EntryKind(int dirFd, const dirent& entry) {
  switch (entry.d_type) {
    case DT_REG:
      return FileKind::kRegular;
    case DT_LNK:
      return FileKind::kLink;
    case DT_DIR:
      return std::nullopt;
    case DT_UNKNOWN:
      break;
    default:
      return FileKind::kOther;
  }
  struct stat st {};
  if (::fstatat(dirFd, entry.d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || S_ISDIR(st.st_mode)) {
    return std::nullopt;
  }
  return KindOf(st.st_mode);
}

std::vector<DirectoryEntry> PosixDirectory::Entries() {
  // The listing gets a descriptor of its own, so that each listing starts at the top.
  Descriptor listing(::openat(fd_.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (listing.get() < 0) ThrowLastError(*path_);
  DIR* stream = ::fdopendir(listing.get());
  if (stream == nullptr) ThrowLastError(*path_);
  listing.release();
  std::vector<DirectoryEntry> entries;
  for (;;) {
    errno = 0;
    const dirent* entry = ::readdir(stream);
    if (entry == nullptr) break;
    if (const auto kind = EntryKind(fd_.get(), *entry)) {
      entries.push_back({entry->d_name, *kind, std::nullopt});
    }
  }
  const int number = errno;
  ::closedir(stream);
  if (number != 0) ThrowError(number, *path_);
  return entries;
}

void Sync(const fs::path& path, int flags) {
  const Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | flags));
  if (fd.get() < 0) ThrowLastError(path);
  if (::fsync(fd.get()) != 0) ThrowLastError(path);
}

// One syncfs for each file system the directories lie on: it writes out every
// file and name there, the ones asked for among them.
void SyncFileSystems(const std::vector<fs::path>& dirs) {
  std::set<dev_t> done;
  for (const fs::path& dir : dirs) {
    const Descriptor fd(::open(dir.c_str(), O_RDONLY | O_CLOEXEC | O_DIRECTORY));
    struct stat st {};
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0) ThrowLastError(dir);
    if (!done.insert(st.st_dev).second) continue;
    if (::syncfs(fd.get()) != 0) ThrowLastError(dir);
  }
}

}  // namespace

std::unique_ptr<Directory> NativeFileSystem::OpenDirectory(const fs::path& dir) {
  // An empty path would be the current directory.
  if (dir.empty()) ThrowError(ENOENT, dir);
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) ThrowLastError(dir);
  return std::make_unique<PosixDirectory>(fd, dir);
}

std::unique_ptr<InputFile> NativeFileSystem::OpenForReading(const fs::path& path) {
  return OpenRegular(AT_FDCWD, path.c_str(), OpenedPath(path));
}

std::unique_ptr<OutputFile> NativeFileSystem::CreateTemporary(const fs::path& dir) {
  for (int attempt = 0;; ++attempt) {
    const fs::path path = dir / NewTemporaryName();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd >= 0) return std::make_unique<PosixOutputFile>(fd, path);
    if (errno != EEXIST || attempt == 100) ThrowLastError(path);
  }
}

void NativeFileSystem::Flush(const std::vector<fs::path>& files,
                             const std::vector<fs::path>& dirs) {
  // A few files are flushed one by one; for many, flushing their file systems
  // whole is one journal commit instead of one per file.
  constexpr std::size_t kOneByOne = 4;
  if (files.size() + dirs.size() <= kOneByOne) {
    for (const fs::path& file : files) Sync(file, 0);
    for (const fs::path& dir : dirs) Sync(dir, O_DIRECTORY);
    return;
  }
  std::vector<fs::path> holders(dirs);
  for (const fs::path& file : files) holders.push_back(file.parent_path());
  SyncFileSystems(holders);
}

void NativeFileSystem::Rename(const fs::path& from, const fs::path& to) {
  if (::rename(from.c_str(), to.c_str()) != 0) ThrowLastError(to);
}

std::optional<FileIdentity> NativeFileSystem::Identity(const fs::path& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0) return IdentityOf(st);
  if (IsNotFoundNumber(errno)) return std::nullopt;
  ThrowLastError(path);
}

void NativeFileSystem::Delete(const fs::path& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) ThrowLastError(path);
  // Not forced: a file that nobody may write is read-only and stays, even for root.
  if (S_ISREG(st.st_mode) && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
    throw FileError(EACCES, "The file is read-only and was not deleted", PathText(path));
  }
  if (::unlink(path.c_str()) != 0) ThrowLastError(path);
}

void NativeFileSystem::Discard(const fs::path& path) noexcept { ::unlink(path.c_str()); }

}  // namespace velmoth
