// The file layer on Windows, through the wide Win32 calls. Files are opened at the
// reparse point itself and must prove to be plain files; new files are created
// with CREATE_NEW; files are shared so the mail server can go on with them; and
// nothing forces a delete.
#include <windows.h>

#include <algorithm>
#include <string>
#include <utility>

#include "base/file_time.h"
#include "base/wide_text.h"
#include "files/file_system.h"

namespace velmoth {
namespace {

[[noreturn]] void Throw(DWORD number, const fs::path& path) {
  ThrowError(static_cast<int>(number), path);
}

FileDate DateOf(const FILETIME& time) {
  const auto ticks = static_cast<std::int64_t>(
      (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
  return FileDate(std::chrono::seconds(ticks / kTicksPerSecond - kSecondsFrom1601To1970));
}

std::uint64_t SizeOf(DWORD high, DWORD low) {
  return (static_cast<std::uint64_t>(high) << 32) | low;
}

FileIdentity IdentityOf(const BY_HANDLE_FILE_INFORMATION& info) {
  return {info.dwVolumeSerialNumber, SizeOf(info.nFileIndexHigh, info.nFileIndexLow),
          static_cast<std::int64_t>(
              SizeOf(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime))};
}

// What a name with these attributes is; nothing for a directory.
std::optional<FileKind> KindOf(DWORD attributes) {
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return FileKind::kLink;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return std::nullopt;
  if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) return FileKind::kOther;
  return FileKind::kRegular;
}

// Closes a handle however the scope ends.
class Handle {
 public:
  explicit Handle(HANDLE handle) : handle_(handle) {}
  ~Handle() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return handle_; }
  HANDLE release() { return std::exchange(handle_, INVALID_HANDLE_VALUE); }
  bool Close() { return CloseHandle(release()) != 0; }

 private:
  HANDLE handle_;
};

// The status of an open file, its identity among it.
FileStatus StatusOf(HANDLE file, const fs::path& path) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(file, &info)) ThrowLastError(path);
  return {FileKind::kRegular, SizeOf(info.nFileSizeHigh, info.nFileSizeLow),
          DateOf(info.ftLastWriteTime), IdentityOf(info)};
}

class Win32InputFile final : public InputFile {
 public:
  Win32InputFile(HANDLE file, fs::path path, std::optional<FileStatus> status)
      : file_(file), path_(std::move(path)), status_(status) {}

  std::size_t Read(char* buffer, std::size_t size) override {
    const auto wanted = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    DWORD got = 0;
    if (!ReadFile(file_.get(), buffer, wanted, &got, nullptr)) ThrowLastError(path_);
    return got;
  }
  FileStatus Status() override {
    if (!status_) status_ = StatusOf(file_.get(), path_);
    return *status_;
  }
  const fs::path& path() const override { return path_; }

 private:
  Handle file_;
  fs::path path_;
  std::optional<FileStatus> status_;
};

// Opens `path` for reading. The server may write, rename or delete the file while
// we read it. A link or junction is opened as itself, so that it can be refused,
// never followed, and a console, pipe or other device is refused too. With
// `describe` the file's status is taken as it is when opened, so that a change
// while it is read shows; without, it is taken when first asked for: under Wine
// the call that gives it costs as much as opening and reading a small file.
std::unique_ptr<InputFile> OpenRegular(const fs::path& path, bool describe) {
  Handle file(CreateFileW(
      path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) ThrowLastError(path);
  FILE_ATTRIBUTE_TAG_INFO tag{};
  if (!GetFileInformationByHandleEx(file.get(), FileAttributeTagInfo, &tag, sizeof tag)) {
    ThrowLastError(path);
  }
  if ((tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    ThrowLink(path);
  }
  if (GetFileType(file.get()) != FILE_TYPE_DISK ||
      (tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    ThrowNotRegular(path);
  }
  std::optional<FileStatus> status;
  if (describe) status = StatusOf(file.get(), path);
  return std::make_unique<Win32InputFile>(file.release(), path, status);
}

class Win32OutputFile final : public OutputFile {
 public:
  Win32OutputFile(HANDLE file, fs::path path) : file_(file), path_(std::move(path)) {}

  void Write(const char* data, std::size_t size) override {
    while (size > 0) {
      const auto chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
      DWORD put = 0;
      if (!WriteFile(file_.get(), data, chunk, &put, nullptr)) ThrowLastError(path_);
      if (put == 0) Throw(ERROR_DISK_FULL, path_);
      data += put;
      size -= put;
    }
  }
  void Close() override {
    if (!file_.Close()) ThrowLastError(path_);
  }
  const fs::path& path() const override { return path_; }

 private:
  Handle file_;
  fs::path path_;
};

class Win32Directory final : public Directory {
 public:
  explicit Win32Directory(fs::path path) : path_(std::move(path)) {}

  std::vector<DirectoryEntry> Entries() override;
  std::unique_ptr<InputFile> Open(const std::string& name) override {
    return OpenRegular(path_ / PathFromText(name), false);
  }
  std::optional<FileStatus> Status(const std::string& name) override;
  const fs::path& path() const override { return path_; }

 private:
  fs::path path_;
};

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

bool IsDirectory(const fs::path& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::vector<DirectoryEntry> Win32Directory::Entries() {
  WIN32_FIND_DATAW entry{};
  const HANDLE found = FindFirstFileExW((path_ / L"*").c_str(), FindExInfoBasic, &entry,
                                        FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  std::vector<DirectoryEntry> entries;
  if (found == INVALID_HANDLE_VALUE) {
    const DWORD number = GetLastError();
    // The root of a drive has no "." entry, so an empty one matches nothing.
    if (number == ERROR_FILE_NOT_FOUND && IsDirectory(path_)) return entries;
    Throw(number, path_);
  }
  const FindHandle find(found);
  do {
    // The listing carries each file's date, which saves opening it for that.
    if (const auto kind = KindOf(entry.dwFileAttributes)) {
      entries.push_back({Narrow(entry.cFileName), *kind, DateOf(entry.ftLastWriteTime)});
    }
  } while (FindNextFileW(find.get(), &entry));
  const DWORD number = GetLastError();
  if (number != ERROR_NO_MORE_FILES) Throw(number, path_);
  return entries;
}

std::optional<FileStatus> Win32Directory::Status(const std::string& name) {
  // From the directory entry: a file the server holds open exclusively has one too.
  const fs::path path = path_ / PathFromText(name);
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
    const DWORD number = GetLastError();
    if (number == ERROR_FILE_NOT_FOUND) return std::nullopt;
    Throw(number, path);
  }
  return FileStatus{KindOf(data.dwFileAttributes).value_or(FileKind::kOther),
                    SizeOf(data.nFileSizeHigh, data.nFileSizeLow), DateOf(data.ftLastWriteTime)};
}

void FlushFile(const fs::path& path) {
  // FlushFileBuffers wants write access; the file itself, not what a link points to.
  Handle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) ThrowLastError(path);
  if (!FlushFileBuffers(file.get())) ThrowLastError(path);
}

}  // namespace

std::unique_ptr<Directory> NativeFileSystem::OpenDirectory(const fs::path& dir) {
  // An empty path would be the current directory.
  if (dir.empty()) Throw(ERROR_PATH_NOT_FOUND, dir);
  const DWORD attributes = GetFileAttributesW(dir.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) ThrowLastError(dir);
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) Throw(ERROR_DIRECTORY, dir);
  return std::make_unique<Win32Directory>(dir);
}

std::unique_ptr<InputFile> NativeFileSystem::OpenForReading(const fs::path& path) {
  return OpenRegular(path, true);
}

std::unique_ptr<OutputFile> NativeFileSystem::CreateTemporary(const fs::path& dir) {
  for (int attempt = 0;; ++attempt) {
    const fs::path path = dir / NewTemporaryName();
    // Readers are let in: the server may look at the file before we close it.
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) return std::make_unique<Win32OutputFile>(file, path);
    const DWORD number = GetLastError();
    if ((number != ERROR_FILE_EXISTS && number != ERROR_ALREADY_EXISTS) || attempt == 100) {
      Throw(number, path);
    }
  }
}

// Directories need no flush: Win32 offers none for a directory's names, and
// Rename writes each new name through before it returns.
void NativeFileSystem::Flush(const std::vector<fs::path>& files, const std::vector<fs::path>&) {
  for (const fs::path& file : files) FlushFile(file);
}

void NativeFileSystem::Rename(const fs::path& from, const fs::path& to) {
  // Write-through: the call returns once the new name is on disk.
  if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    ThrowLastError(to);
  }
}

std::optional<FileIdentity> NativeFileSystem::Identity(const fs::path& path) {
  // Only its attributes are read, and the server may do anything with it meanwhile.
  Handle file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) {
    const DWORD number = GetLastError();
    if (IsNotFoundNumber(static_cast<int>(number))) return std::nullopt;
    Throw(number, path);
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(file.get(), &info)) ThrowLastError(path);
  return IdentityOf(info);
}

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
