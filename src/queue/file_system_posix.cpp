// The file handles and queue-directory operations on POSIX. Nothing here follows
// a symbolic link out of a queue directory or opens anything but a regular file,
// and nothing forces a delete.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "queue/file_system.h"

namespace velmoth {
namespace {

[[noreturn]] void Throw(int number, const fs::path& path) {
  throw FileError(number, std::strerror(number), PathText(path));
}

int Handle(std::intptr_t handle) { return static_cast<int>(handle); }

struct stat StatOf(const fs::path& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) ThrowLastError(path);
  return st;
}

}  // namespace

InputFile::InputFile(const fs::path& path) : path_(path) {
  // Non-blocking open, so that a FIFO planted in a queue cannot hang us before
  // we see that it is not a regular file. On a regular file the flag does nothing.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) ThrowLastError(path);
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    throw FileError(EINVAL, "Not a regular file", PathText(path));
  }
  handle_ = fd;
}

InputFile::~InputFile() { ::close(Handle(handle_)); }

std::size_t InputFile::Read(char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t got = ::read(Handle(handle_), buffer, size);
    if (got >= 0) return static_cast<std::size_t>(got);
    if (errno != EINTR) ThrowLastError(path_);
  }
}

OutputFile::OutputFile(const fs::path& path) : path_(path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) ThrowLastError(path);
  handle_ = fd;
}

OutputFile::~OutputFile() {
  if (handle_ >= 0) ::close(Handle(handle_));
}

void OutputFile::Write(const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t put = ::write(Handle(handle_), data, size);
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) ThrowLastError(path_);
    if (put == 0) Throw(ENOSPC, path_);
    data += put;
    size -= static_cast<std::size_t>(put);
  }
}

void OutputFile::Close() {
  const int fd = Handle(handle_);
  handle_ = -1;
  if (::close(fd) != 0) ThrowLastError(path_);
}

std::vector<DirectoryFile> NativeFileSystem::ListFiles(const fs::path& dir) {
  DIR* stream = ::opendir(dir.empty() ? "" : dir.c_str());
  if (stream == nullptr) ThrowLastError(dir);
  std::vector<DirectoryFile> files;
  const int dirFd = ::dirfd(stream);
  errno = 0;
  while (const dirent* entry = ::readdir(stream)) {
    struct stat st {};
    // A name that vanished since readdir, a link, a FIFO, a socket, a device or a
    // directory is not a parked message.
    if (::fstatat(dirFd, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode)) {
      files.push_back(
          {dir / entry->d_name, entry->d_name, FileDate(std::chrono::seconds(st.st_mtime))});
    }
    errno = 0;
  }
  const int number = errno;
  ::closedir(stream);
  if (number != 0) Throw(number, dir);
  return files;
}

bool NativeFileSystem::Exists(const fs::path& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::uint64_t NativeFileSystem::Size(const fs::path& path) {
  return static_cast<std::uint64_t>(StatOf(path).st_size);
}

void NativeFileSystem::Copy(const fs::path& from, const fs::path& to) {
  InputFile source(from);
  OutputFile copy(to);
  constexpr std::size_t kSize = 256 * 1024;
  const auto buffer = std::make_unique_for_overwrite<char[]>(kSize);
  while (const std::size_t got = source.Read(buffer.get(), kSize)) copy.Write(buffer.get(), got);
  copy.Close();
}

std::unique_ptr<LineWriter> NativeFileSystem::Create(const fs::path& path) {
  return std::make_unique<LineWriter>(path);
}

void NativeFileSystem::Rename(const fs::path& from, const fs::path& to) {
  if (::rename(from.c_str(), to.c_str()) != 0) ThrowLastError(to);
}

namespace {

void Sync(const fs::path& path, int flags) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | flags);
  if (fd < 0) ThrowLastError(path);
  const int result = ::fsync(fd);
  const int number = errno;
  ::close(fd);
  if (result != 0) Throw(number, path);
}

}  // namespace

void NativeFileSystem::SyncFile(const fs::path& path) { Sync(path, O_NOFOLLOW); }

void NativeFileSystem::SyncDirectory(const fs::path& dir) { Sync(dir, O_DIRECTORY); }

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
