// The file handles and queue-directory operations on Windows, through the wide
// Win32 calls. Files are opened so that the mail server can go on reading them,
// listings leave out directories and reparse points, and nothing forces a delete.
#include <windows.h>

#include <algorithm>
#include <string>

#include "queue/file_system.h"
#include "base/wide_text.h"
#include "base/file_time.h"

namespace velmoth {
namespace {

[[noreturn]] void Throw(DWORD number, const fs::path& path) {
  ThrowError(static_cast<int>(number), path);
}

HANDLE Handle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

std::intptr_t Stored(HANDLE handle) { return reinterpret_cast<std::intptr_t>(handle); }

FileDate DateOf(const FILETIME& time) {
  const auto ticks = static_cast<std::int64_t>(
      (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
  return FileDate(std::chrono::seconds(ticks / kTicksPerSecond - kSecondsFrom1601To1970));
}

// A listing entry that may be a parked message: a plain file, not a directory,
// a link or junction, or a device.
bool IsPlainFile(const WIN32_FIND_DATAW& entry) {
  constexpr DWORD kNotPlain =
      FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE;
  return (entry.dwFileAttributes & kNotPlain) == 0;
}

bool IsDirectory(const fs::path& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Closes a find handle however the listing ends.
class FindHandle {
 public:
  explicit FindHandle(HANDLE handle) : handle_(handle) {}
  ~FindHandle() { FindClose(handle_); }
  FindHandle(const FindHandle&) = delete;
  FindHandle& operator=(const FindHandle&) = delete;
  HANDLE get() const { return handle_; }

 private:
  HANDLE handle_;
};

}  // namespace

InputFile::InputFile(const fs::path& path) : path_(path) {
  // The server may write, rename or delete the file while we read it.
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) ThrowLastError(path);
  // A console, pipe or other device name is not a queue file.
  if (GetFileType(file) != FILE_TYPE_DISK) {
    CloseHandle(file);
    throw FileError(ERROR_BAD_FILE_TYPE, "Not a regular file", PathText(path));
  }
  handle_ = Stored(file);
}

InputFile::~InputFile() { CloseHandle(Handle(handle_)); }

std::size_t InputFile::Read(char* buffer, std::size_t size) {
  const auto wanted = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
  DWORD got = 0;
  if (!ReadFile(Handle(handle_), buffer, wanted, &got, nullptr)) ThrowLastError(path_);
  return got;
}

OutputFile::OutputFile(const fs::path& path) : path_(path) {
  // Readers are let in: the server may look at the file before we close it.
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) ThrowLastError(path);
  handle_ = Stored(file);
}

OutputFile::~OutputFile() {
  if (Handle(handle_) != INVALID_HANDLE_VALUE) CloseHandle(Handle(handle_));
}

void OutputFile::Write(const char* data, std::size_t size) {
  while (size > 0) {
    const auto chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    DWORD put = 0;
    if (!WriteFile(Handle(handle_), data, chunk, &put, nullptr)) ThrowLastError(path_);
    if (put == 0) Throw(ERROR_DISK_FULL, path_);
    data += put;
    size -= put;
  }
}

void OutputFile::Close() {
  const HANDLE file = Handle(handle_);
  handle_ = Stored(INVALID_HANDLE_VALUE);
  if (!CloseHandle(file)) ThrowLastError(path_);
}

std::vector<DirectoryFile> NativeFileSystem::ListFiles(const fs::path& dir) {
  // An empty path would list the current directory.
  if (dir.empty()) Throw(ERROR_PATH_NOT_FOUND, dir);
  WIN32_FIND_DATAW entry{};
  const HANDLE found = FindFirstFileExW((dir / L"*").c_str(), FindExInfoBasic, &entry,
                                        FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  std::vector<DirectoryFile> files;
  if (found == INVALID_HANDLE_VALUE) {
    const DWORD number = GetLastError();
    // The root of a drive has no "." entry, so an empty one matches nothing.
    if (number == ERROR_FILE_NOT_FOUND && IsDirectory(dir)) return files;
    Throw(number, dir);
  }
  const FindHandle find(found);
  do {
    if (IsPlainFile(entry)) {
      files.push_back(
          {dir / entry.cFileName, Narrow(entry.cFileName), DateOf(entry.ftLastWriteTime)});
    }
  } while (FindNextFileW(find.get(), &entry));
  const DWORD number = GetLastError();
  if (number != ERROR_NO_MORE_FILES) Throw(number, dir);
  return files;
}

bool NativeFileSystem::Exists(const fs::path& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

std::uint64_t NativeFileSystem::Size(const fs::path& path) {
  // From the directory entry: a file the server holds open exclusively has a size too.
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) ThrowLastError(path);
  return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

void NativeFileSystem::Copy(const fs::path& from, const fs::path& to) {
  if (!CopyFileW(from.c_str(), to.c_str(), FALSE)) {
    const DWORD number = GetLastError();
    // A source that is there leaves the destination to blame.
    Throw(number, GetFileAttributesW(from.c_str()) == INVALID_FILE_ATTRIBUTES ? from : to);
  }
  // CopyFileW carries a read-only attribute over; the server must be able to
  // delete the copy once it has sent it.
  const DWORD attributes = GetFileAttributesW(to.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0 &&
      !SetFileAttributesW(to.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY)) {
    ThrowLastError(to);
  }
}

std::unique_ptr<LineWriter> NativeFileSystem::Create(const fs::path& path) {
  return std::make_unique<LineWriter>(path);
}

void NativeFileSystem::Rename(const fs::path& from, const fs::path& to) {
  // Write-through: the call returns once the new name is on disk.
  if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    ThrowLastError(to);
  }
}

void NativeFileSystem::SyncFile(const fs::path& path) {
  // FlushFileBuffers wants write access; the file itself, not what a link points to.
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) ThrowLastError(path);
  const bool flushed = FlushFileBuffers(file);
  const DWORD number = GetLastError();
  CloseHandle(file);
  if (!flushed) Throw(number, path);
}

// Nothing to do: Win32 offers no flush for a directory's entries, and the one
// change the requeue needs durable, the rename, is written through by Rename.
void NativeFileSystem::SyncDirectory(const fs::path&) {}

void NativeFileSystem::Delete(const fs::path& path) {
  // DeleteFileW itself refuses a read-only file; we only say why.
  if (DeleteFileW(path.c_str())) return;
  const DWORD number = GetLastError();
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (number == ERROR_ACCESS_DENIED && attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    throw FileError(static_cast<int>(number), "The file is read-only and was not deleted",
                    PathText(path));
  }
  Throw(number, path);
}

void NativeFileSystem::Discard(const fs::path& path) noexcept { DeleteFileW(path.c_str()); }

}  // namespace velmoth
