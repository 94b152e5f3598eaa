// The file layer on POSIX. A queue directory is opened by its path once; every
// name below it is reached relative to a descriptor with O_NOFOLLOW, so no link
// there is ever followed; new files are created with O_EXCL; a parked file is
// deleted by claiming its name first. Every system call goes through Calls().
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <stdio.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <utility>

#include "files/file_system.h"
#include "files/opened_path.h"
#include "files/scoped_generic.h"
#include "files/system_calls.h"

namespace velmoth {
namespace {

namespace fs = std::filesystem;

// A descriptor closed through the table, as every call of the file layer is made.
struct FileDescriptorTraits {
  static int Invalid() { return -1; }
  static void Free(int fd) { Calls().close(fd); }
};
using ScopedFd = ScopedGeneric<int, FileDescriptorTraits>;

FileKind KindOf(mode_t mode) {
  if (S_ISDIR(mode)) return FileKind::kDirectory;
  if (S_ISREG(mode)) return FileKind::kRegular;
  if (S_ISLNK(mode)) return FileKind::kLink;
  return FileKind::kOther;
}

FileIdentity IdentityOf(const struct stat& st) {
  return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
}

FileStatus StatusOf(const struct stat& st) {
  FileStatus status;
  status.kind = KindOf(st.st_mode);
  status.size = static_cast<std::uint64_t>(st.st_size);
  status.modified = FileDate(std::chrono::seconds(st.st_mtim.tv_sec));
  status.identity = IdentityOf(st);
  status.changed = static_cast<std::int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
  status.written = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  status.readOnly = S_ISREG(st.st_mode) && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
  return status;
}

// Whether the permission bits let this process read the file, as they would let
// its user without privileges.
bool BitsLetUsRead(const struct stat& st) {
  static const uid_t user = ::geteuid();
  if (st.st_uid == user) return (st.st_mode & S_IRUSR) != 0;
  static const std::vector<gid_t> groups = [] {
    std::vector<gid_t> all(static_cast<std::size_t>(std::max(::getgroups(0, nullptr), 0)));
    all.resize(static_cast<std::size_t>(
        std::max(::getgroups(static_cast<int>(all.size()), all.data()), 0)));
    all.push_back(::getegid());
    return all;
  }();
  if (std::find(groups.begin(), groups.end(), st.st_gid) != groups.end()) {
    return (st.st_mode & S_IRGRP) != 0;
  }
  return (st.st_mode & S_IROTH) != 0;
}

struct stat StatOf(int fd, const fs::path& path) {
  struct stat st {};
  if (Calls().fstat(fd, &st) != 0) ThrowLastError(path);
  return st;
}
// The same, the path joined only should the call fail.
struct stat StatOf(int fd, const OpenedPath& path) {
  struct stat st {};
  if (Calls().fstat(fd, &st) != 0) ThrowLastError(path.get());
  return st;
}

class PosixInputFile final : public InputFile {
 public:
  PosixInputFile(ScopedFd fd, OpenedPath path, const struct stat& st)
      : fd_(std::move(fd)), path_(std::move(path)), stat_(st) {}

  std::size_t Read(char* buffer, std::size_t size) override {
    for (;;) {
      const ssize_t got = Calls().read(fd_.get(), buffer, size);
      if (got >= 0) return static_cast<std::size_t>(got);
      if (errno != EINTR) ThrowLastError(path());
    }
  }
  void Rewind() override {
    if (Calls().lseek(fd_.get(), 0, SEEK_SET) != 0) ThrowLastError(path());
  }
  FileStatus Status() override { return StatusOf(stat_); }
  FileStatus CurrentStatus() override { return StatusOf(StatOf(fd_.get(), path_)); }
  const fs::path& path() const override { return path_.get(); }

  int fd() const { return fd_.get(); }
  const struct stat& stat() const { return stat_; }

 private:
  ScopedFd fd_;
  OpenedPath path_;
  struct stat stat_;
};

// Opens `name` relative to `dirFd` (or a whole path, links followed, with
// AT_FDCWD and no O_NOFOLLOW) for reading; never anything but a regular file.
std::unique_ptr<InputFile> OpenRegular(int dirFd, const char* name, int flags, OpenedPath path) {
  // Non-blocking, so that a FIFO planted in a queue cannot hang us before we see
  // what it is; on a regular file the flag does nothing.
  ScopedFd fd(Calls().openat(dirFd, name, O_RDONLY | O_CLOEXEC | O_NONBLOCK | flags, 0));
  if (!fd.valid()) {
    if (errno == ELOOP && (flags & O_NOFOLLOW) != 0) ThrowLink(path.get());
    // A socket, or a device without its driver, cannot be opened at all.
    if (errno == ENXIO) ThrowNotRegular(path.get());
    ThrowLastError(path.get());
  }
  const struct stat st = StatOf(fd.get(), path);
  if (!S_ISREG(st.st_mode)) ThrowNotRegular(path.get());
  return std::make_unique<PosixInputFile>(std::move(fd), std::move(path), st);
}

class PosixOutputFile final : public OutputFile {
 public:
  PosixOutputFile(ScopedFd fd, std::string name, fs::path path)
      : fd_(std::move(fd)), name_(std::move(name)), path_(std::move(path)) {}

  void Write(const char* data, std::size_t size) override {
    while (size > 0) {
      const ssize_t put = Calls().write(fd_.get(), data, size);
      if (put < 0 && errno == EINTR) continue;
      if (put < 0) ThrowLastError(path_);
      if (put == 0) ThrowError(ENOSPC, path_);
      data += put;
      size -= static_cast<std::size_t>(put);
    }
  }
  std::uint64_t CopyFrom(InputFile& from) override;
  void ShareLike(InputFile& original) override;
  void Close() override {
    if (Calls().close(fd_.release()) != 0) ThrowLastError(path_);
  }
  const std::string& name() const override { return name_; }
  const fs::path& path() const override { return path_; }

 private:
  ScopedFd fd_;
  std::string name_;
  fs::path path_;
};

// Whether copy_file_range cannot copy between these two files at all, so that
// reading and writing must.
bool KernelCopyUnsupported(int number) {
  return number == EXDEV || number == ENOSYS || number == EOPNOTSUPP || number == EINVAL;
}

std::uint64_t PosixOutputFile::CopyFrom(InputFile& from) {
  auto* input = dynamic_cast<PosixInputFile*>(&from);
  if (input == nullptr) return OutputFile::CopyFrom(from);
  constexpr std::size_t kChunk = 1 << 30;
  std::uint64_t copied = 0;
  for (;;) {
    const ssize_t got =
        Calls().copy_file_range(input->fd(), nullptr, fd_.get(), nullptr, kChunk, 0);
    if (got == 0) return copied;
    if (got > 0) {
      copied += static_cast<std::uint64_t>(got);
    } else if (errno == EINTR) {
      continue;
    } else if (copied == 0 && KernelCopyUnsupported(errno)) {
      return OutputFile::CopyFrom(from);
    } else {
      // A failed read and a failed write look alike here: name the copy.
      ThrowLastError(path_);
    }
  }
}

void PosixOutputFile::ShareLike(InputFile& original) {
  const auto* input = dynamic_cast<PosixInputFile*>(&original);
  mode_t mode = S_IRUSR | S_IWUSR;
  if (input != nullptr) {
    const struct stat& source = input->stat();
    // The server deletes the copy once it is sent: its owner may always write it.
    mode = (source.st_mode & (S_IRUSR | S_IRGRP | S_IWGRP | S_IROTH | S_IWOTH)) | S_IWUSR;
    // Root gives the copy the original's owner and group; anyone else keeps the
    // group only where the system lets it, and else shares nothing with a group.
    const uid_t owner = ::geteuid() == 0 ? source.st_uid : static_cast<uid_t>(-1);
    if (Calls().fchown(fd_.get(), owner, source.st_gid) != 0) mode &= ~(S_IRGRP | S_IWGRP);
  }
  if (Calls().fchmod(fd_.get(), mode) != 0) ThrowLastError(path_);
}

class PosixDirectory final : public Directory {
 public:
  PosixDirectory(ScopedFd fd, fs::path path)
      : fd_(std::move(fd)), path_(std::make_shared<const fs::path>(std::move(path))) {}

  std::vector<DirectoryEntry> Entries() override;
  std::unique_ptr<Directory> OpenDirectory(const std::string& name) override;
  std::unique_ptr<Directory> OpenParent() override;
  std::unique_ptr<InputFile> Open(const std::string& name, Access) override {
    CheckBareName(name, *path_);
    return OpenRegular(fd_.get(), name.c_str(), O_NOFOLLOW, OpenedPath(path_, name));
  }
  std::optional<FileStatus> Status(const std::string& name) override;
  std::unique_ptr<OutputFile> CreateTemporary() override;
  void Rename(const std::string& from, Directory& target, const std::string& to,
              ExistingName existing) override;
  void Discard(const std::string& name) noexcept override {
    Calls().unlinkat(fd_.get(), name.c_str(), 0);
  }
  void FlushFiles(const std::vector<std::string>& names) override;
  void FlushNames() override {
    if (Calls().fsync(fd_.get()) != 0) ThrowLastError(*path_);
  }
  FileIdentity Identity() override { return IdentityOf(StatOf(fd_.get(), *path_)); }
  const fs::path& path() const override { return *path_; }

  int fd() const { return fd_.get(); }
  fs::path PathOf(const std::string& name) const { return *path_ / name; }

 private:
  ScopedFd fd_;
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
  if (Calls().fstatat(dirFd, entry.d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || S_ISDIR(st.st_mode)) {
    return std::nullopt;
  }
  return KindOf(st.st_mode);
}

std::vector<DirectoryEntry> PosixDirectory::Entries() {
  // The listing gets a descriptor of its own, so that each listing starts at the top.
  ScopedFd listing(Calls().openat(fd_.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
  if (!listing.valid()) ThrowLastError(*path_);
  DIR* stream = Calls().fdopendir(listing.get());
  if (stream == nullptr) ThrowLastError(*path_);
  listing.release();
  std::vector<DirectoryEntry> entries;
  for (;;) {
    errno = 0;
    const dirent* entry = Calls().readdir(stream);
    if (entry == nullptr) break;
    if (const auto kind = EntryKind(fd_.get(), *entry)) {
      entries.push_back({entry->d_name, *kind, std::nullopt});
    }
  }
  const int number = errno;
  Calls().closedir(stream);
  if (number != 0) ThrowError(number, *path_);
  return entries;
}

std::unique_ptr<Directory> PosixDirectory::OpenDirectory(const std::string& name) {
  CheckBareName(name, *path_);
  const fs::path path = PathOf(name);
  ScopedFd fd(
      Calls().openat(fd_.get(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC, 0));
  if (!fd.valid()) {
    struct stat st {};
    const int number = errno;
    if (number == ELOOP ||
        (Calls().fstatat(fd_.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
         S_ISLNK(st.st_mode))) {
      throw FileError(ErrorKind::kLink, kErrorIsLink,
                      "The directory is a link, and links below a queue directory are not "
                      "followed",
                      PathText(path));
    }
    ThrowError(number, path);
  }
  return std::make_unique<PosixDirectory>(std::move(fd), path);
}

std::unique_ptr<Directory> PosixDirectory::OpenParent() {
  ScopedFd fd(Calls().openat(fd_.get(), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
  if (!fd.valid()) ThrowLastError(*path_ / "..");
  if (IdentityOf(StatOf(fd.get(), *path_)) == Identity()) return nullptr;  // the root
  return std::make_unique<PosixDirectory>(std::move(fd), path_->parent_path());
}

std::optional<FileStatus> PosixDirectory::Status(const std::string& name) {
  CheckBareName(name, *path_);
  struct stat st {};
  if (Calls().fstatat(fd_.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
    if (errno == ENOENT) return std::nullopt;
    ThrowLastError(PathOf(name));
  }
  FileStatus status = StatusOf(st);
  // The bits are the quick answer; the system has the last word where they say
  // no, as privileges or an access list may still let us read.
  status.readable = status.kind != FileKind::kRegular || BitsLetUsRead(st) ||
                    Calls().faccessat(fd_.get(), name.c_str(), R_OK, AT_EACCESS) == 0;
  return status;
}

std::unique_ptr<OutputFile> PosixDirectory::CreateTemporary() {
  for (int attempt = 0;; ++attempt) {
    std::string name = NewTemporaryName();
    // Only we may read it until it is complete and given its final permissions.
    ScopedFd fd(Calls().openat(fd_.get(), name.c_str(),
                               O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                               S_IRUSR | S_IWUSR));
    if (fd.valid()) {
      fs::path path = PathOf(name);
      return std::make_unique<PosixOutputFile>(std::move(fd), std::move(name), std::move(path));
    }
    if (errno != EEXIST || attempt == 100) ThrowLastError(PathOf(name));
  }
}

PosixDirectory& NativeDirectory(Directory& directory) {
  return dynamic_cast<PosixDirectory&>(directory);
}

void PosixDirectory::Rename(const std::string& from, Directory& target, const std::string& to,
                            ExistingName existing) {
  CheckBareName(from, *path_);
  PosixDirectory& into = NativeDirectory(target);
  CheckBareName(to, into.path());
  const unsigned flags = existing == ExistingName::kKeep ? RENAME_NOREPLACE : 0;
  if (Calls().renameat2(fd_.get(), from.c_str(), into.fd(), to.c_str(), flags) == 0) return;
  // Which of the two names a failure is about: the one that is not there, or the
  // one the file could not take.
  if (errno == ENOENT) ThrowLastError(PathOf(from));
  // A file system that knows no rename flags: a new link fails on a name taken.
  if (flags != 0 && errno == EINVAL &&
      Calls().linkat(fd_.get(), from.c_str(), into.fd(), to.c_str(), 0) == 0) {
    Calls().unlinkat(fd_.get(), from.c_str(), 0);
    return;
  }
  ThrowLastError(into.PathOf(to));
}

void PosixDirectory::FlushFiles(const std::vector<std::string>& names) {
  // A few files are flushed one by one; for many, flushing their file system
  // whole is one journal commit instead of one per file.
  constexpr std::size_t kOneByOne = 4;
  if (names.size() > kOneByOne) {
    if (Calls().syncfs(fd_.get()) != 0) ThrowLastError(*path_);
    return;
  }
  for (const std::string& name : names) {
    const ScopedFd fd(
        Calls().openat(fd_.get(), name.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW, 0));
    if (!fd.valid() || Calls().fsync(fd.get()) != 0) ThrowLastError(PathOf(name));
  }
}

// One parked file being deleted: claimed first by a rename to a private name in
// its own directory, so that nobody else's file can take its name meanwhile.
struct Claim {
  PosixDirectory& directory;
  const std::string& name;
  PosixInputFile& file;
  std::string privateName = {};
  bool claimed = false;
};

enum class Renamed { kDone, kTaken, kMissing };

// Renames `from` to `to` in `dir` unless `to` is taken or `from` is missing; a
// failure names `path`.
Renamed RenameNoReplace(PosixDirectory& dir, const std::string& from, const std::string& to,
                        const fs::path& path) {
  if (Calls().renameat2(dir.fd(), from.c_str(), dir.fd(), to.c_str(), RENAME_NOREPLACE) == 0) {
    return Renamed::kDone;
  }
  // A file system that knows no rename flags: a new link fails on a name taken.
  if (errno == EINVAL && Calls().linkat(dir.fd(), from.c_str(), dir.fd(), to.c_str(), 0) == 0) {
    if (Calls().unlinkat(dir.fd(), from.c_str(), 0) != 0) ThrowLastError(dir.PathOf(from));
    return Renamed::kDone;
  }
  if (errno == EEXIST) return Renamed::kTaken;
  if (errno == ENOENT) return Renamed::kMissing;
  ThrowLastError(path);
}

// Whether the file under the private name is the one opened, unchanged: its bytes
// not written since it was read. The claim's rename moved its change time.
bool IsOursUnchanged(const Claim& claim) {
  struct stat st {};
  if (Calls().fstatat(claim.directory.fd(), claim.privateName.c_str(), &st, AT_SYMLINK_NOFOLLOW) !=
      0) {
    ThrowLastError(claim.directory.PathOf(claim.privateName));
  }
  const FileStatus opened = claim.file.Status();
  const FileStatus now = StatusOf(st);
  return now.identity == opened.identity && now.written == opened.written &&
         now.size == opened.size;
}

// Puts a claimed file back under its name. When the name was taken meanwhile, a
// file that is the one opened and read goes, as it would have; any other stays
// under the private name, which the error gives.
void GiveBack(Claim& claim) {
  if (!claim.claimed) return;
  claim.claimed = false;
  const fs::path path = claim.directory.PathOf(claim.name);
  if (RenameNoReplace(claim.directory, claim.privateName, claim.name, path) == Renamed::kDone) {
    return;
  }
  if (IsOursUnchanged(claim) &&
      Calls().unlinkat(claim.directory.fd(), claim.privateName.c_str(), 0) == 0) {
    return;
  }
  throw FileError(ErrorKind::kExists, EEXIST,
                  "Another file took this name while the file was being deleted; the file was "
                  "kept as " +
                      claim.privateName,
                  PathText(path));
}

// Gives every claim back, the first failure reported once all were tried.
void GiveAllBack(std::vector<Claim>& claims) {
  std::optional<FileError> failure;
  for (Claim& claim : claims) {
    try {
      GiveBack(claim);
    } catch (const FileError& error) {
      if (!failure) failure = error;
    }
  }
  if (failure) throw *failure;
}

// Claims every name that is still there.
void ClaimAll(std::vector<Claim>& claims) {
  for (Claim& claim : claims) {
    const fs::path path = claim.directory.PathOf(claim.name);
    for (int attempt = 0;; ++attempt) {
      claim.privateName = NewTemporaryName();
      const Renamed renamed = RenameNoReplace(claim.directory, claim.name, claim.privateName, path);
      claim.claimed = renamed == Renamed::kDone;
      if (renamed != Renamed::kTaken) break;
      if (attempt == 100) ThrowError(EEXIST, claim.directory.PathOf(claim.privateName));
    }
  }
}

}  // namespace

std::unique_ptr<Directory> NativeFileSystem::OpenDirectory(const fs::path& dir) {
  // An empty path would be the current directory.
  if (dir.empty()) ThrowError(ENOENT, dir);
  ScopedFd fd(Calls().openat(AT_FDCWD, dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0));
  if (!fd.valid()) ThrowLastError(dir);
  return std::make_unique<PosixDirectory>(std::move(fd), dir);
}

std::unique_ptr<InputFile> NativeFileSystem::OpenForReading(const fs::path& path) {
  return OpenRegular(AT_FDCWD, path.c_str(), 0, OpenedPath(path));
}

DeleteOutcome NativeFileSystem::DeleteOpened(const std::vector<OpenedFile>& files,
                                             const std::function<bool()>& unchanged) {
  std::vector<Claim> claims;
  for (const OpenedFile& opened : files) {
    auto& file = dynamic_cast<PosixInputFile&>(opened.file);
    const struct stat st = StatOf(file.fd(), file.path());
    if (st.st_nlink == 0) continue;  // gone already: its last name was removed
    const FileStatus now = StatusOf(st);
    if (now.readOnly) return DeleteOutcome::kReadOnly;
    if (now.changed != file.Status().changed) return DeleteOutcome::kChanged;
    claims.push_back({NativeDirectory(opened.directory), opened.name, file});
  }
  try {
    ClaimAll(claims);
  } catch (const FileError&) {
    GiveAllBack(claims);
    throw;
  }
  if (std::none_of(claims.begin(), claims.end(),
                   [](const Claim& claim) { return claim.claimed; })) {
    return DeleteOutcome::kGone;
  }
  // Claimed, the files can no longer be opened by their names: what they hold
  // now is what they will hold when deleted.
  bool ours = false;
  try {
    ours =
        std::all_of(claims.begin(), claims.end(),
                    [](const Claim& claim) { return !claim.claimed || IsOursUnchanged(claim); }) &&
        (!unchanged || unchanged());
  } catch (const FileError&) {
    GiveAllBack(claims);
    throw;
  }
  if (!ours) {
    GiveAllBack(claims);
    return DeleteOutcome::kChanged;
  }
  bool deletedOne = false;
  for (Claim& claim : claims) {
    if (!claim.claimed) continue;
    if (Calls().unlinkat(claim.directory.fd(), claim.privateName.c_str(), 0) != 0) {
      const int number = errno;
      const fs::path path = claim.directory.PathOf(claim.name);
      GiveAllBack(claims);
      // No two files go in one step: one already deleted stays deleted.
      throw FileError(KindOfNumber(number), number,
                      ErrorDescription(number) +
                          (deletedOne ? "; the file stays, the one deleted before it is gone" : ""),
                      PathText(path));
    }
    claim.claimed = false;
    deletedOne = true;
  }
  return DeleteOutcome::kDeleted;
}

DirectoryAccess NativeFileSystem::AccessTo(const fs::path& dir) {
  DirectoryAccess access;
  access.mayRead = Calls().faccessat(AT_FDCWD, dir.c_str(), R_OK | X_OK, AT_EACCESS) == 0;
  access.mayWrite = Calls().faccessat(AT_FDCWD, dir.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
  access.elevated = ::geteuid() == 0;
  const passwd* user = ::getpwuid(::geteuid());
  access.user = user != nullptr ? user->pw_name : "uid " + std::to_string(::geteuid());
  return access;
}

std::size_t OpenFileBudget() {
  struct rlimit limit {};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return 512;
  return static_cast<std::size_t>(limit.rlim_cur) / 2;
}

void RaiseOpenFileLimit() {
  constexpr rlim_t kEnough = 8192;
  struct rlimit limit {};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= kEnough) return;
  limit.rlim_cur = std::min(limit.rlim_max, kEnough);
  ::setrlimit(RLIMIT_NOFILE, &limit);
}

}  // namespace velmoth
