// The file layer on Windows. A queue directory is opened by its path once, links
// and junctions followed; every name below it is opened relative to the
// directory's handle with FILE_OPEN_REPARSE_POINT, so that a link there is opened
// as itself and refused, never followed. Files are shared for reading, writing
// and deleting, so that the mail server can go on with them; new files are
// created with FILE_CREATE; a parked file is deleted through the very handle that
// read it. Every call goes through Calls().
#include <windows.h>
#include <winternl.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/wide_text.h"
#include "files/file_system.h"
#include "files/opened_path.h"
#include "files/scoped_generic.h"
#include "files/system_calls.h"

namespace velmoth {
namespace {

namespace fs = std::filesystem;

// The few NTSTATUS values told apart here; ntstatus.h does not mix with windows.h.
constexpr NTSTATUS kStatusBufferOverflow = static_cast<NTSTATUS>(0x80000005);
constexpr NTSTATUS kStatusNoMoreFiles = static_cast<NTSTATUS>(0x80000006);
constexpr NTSTATUS kStatusNotImplemented = static_cast<NTSTATUS>(0xC0000002);
constexpr NTSTATUS kStatusInvalidInfoClass = static_cast<NTSTATUS>(0xC0000003);
constexpr NTSTATUS kStatusInvalidParameter = static_cast<NTSTATUS>(0xC000000D);
constexpr NTSTATUS kStatusNoSuchFile = static_cast<NTSTATUS>(0xC000000F);
constexpr NTSTATUS kStatusObjectNameNotFound = static_cast<NTSTATUS>(0xC0000034);
constexpr NTSTATUS kStatusObjectNameCollision = static_cast<NTSTATUS>(0xC0000035);
constexpr NTSTATUS kStatusDeletePending = static_cast<NTSTATUS>(0xC0000056);
constexpr NTSTATUS kStatusFileIsADirectory = static_cast<NTSTATUS>(0xC00000BA);
constexpr NTSTATUS kStatusNotSupported = static_cast<NTSTATUS>(0xC00000BB);
constexpr NTSTATUS kStatusNameTooLong = static_cast<NTSTATUS>(0xC0000106);

// Information classes newer than the headers' enumeration.
constexpr auto kFileDispositionInformationEx = static_cast<FILE_INFORMATION_CLASS>(64);
constexpr ULONG kDispositionDelete = 0x1;
constexpr ULONG kDispositionPosixSemantics = 0x2;

constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Every handle here does synchronous I/O, and a name below a queue directory is
// opened as itself, never as what a reparse point there leads to.
constexpr ULONG kNoFollow = FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_REPARSE_POINT;
constexpr ACCESS_MASK kListAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | SYNCHRONIZE;

// A handle closed through the table, as every call of the file layer is made.
struct FileHandleTraits {
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
  static void Free(HANDLE handle) { Calls().CloseHandle(handle); }
};
using ScopedFileHandle = ScopedGeneric<HANDLE, FileHandleTraits>;

[[noreturn]] void ThrowStatus(NTSTATUS status, const fs::path& path) {
  ThrowError(static_cast<int>(RtlNtStatusToDosError(status)), path);
}

// Whether a relative open found no file of that name, or one on its way out.
bool IsGone(NTSTATUS status) {
  return status == kStatusObjectNameNotFound || status == kStatusDeletePending;
}

FileDate DateOf(const LARGE_INTEGER& time) {
  return FileDate(std::chrono::seconds(time.QuadPart / kTicksPerSecond - kSecondsFrom1601To1970));
}

// What a name with these attributes is; nothing for a directory.
std::optional<FileKind> KindOf(ULONG attributes) {
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return FileKind::kLink;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return std::nullopt;
  if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) return FileKind::kOther;
  return FileKind::kRegular;
}

// Opens `name` relative to the directory `dir`, or `dir` itself again when
// `name` is empty; the handle in `opened`, else the status.
NTSTATUS OpenRelative(HANDLE dir, const std::wstring& name, ACCESS_MASK access, ULONG share,
                      ULONG disposition, ULONG options, ScopedFileHandle& opened,
                      PSECURITY_DESCRIPTOR security = nullptr) {
  // A UNICODE_STRING counts bytes in 16 bits.
  if (name.size() > 0x7FFF) return kStatusNameTooLong;
  UNICODE_STRING text{static_cast<USHORT>(name.size() * sizeof(wchar_t)),
                      static_cast<USHORT>(name.size() * sizeof(wchar_t)),
                      const_cast<wchar_t*>(name.empty() ? nullptr : name.data())};
  OBJECT_ATTRIBUTES attributes{};
  InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, dir, security);
  IO_STATUS_BLOCK io{};
  HANDLE handle = INVALID_HANDLE_VALUE;
  const NTSTATUS status =
      Calls().NtCreateFile(&handle, access | SYNCHRONIZE, &attributes, &io, nullptr,
                           FILE_ATTRIBUTE_NORMAL, share, disposition, options, nullptr, 0);
  if (NT_SUCCESS(status)) opened.reset(handle);
  return status;
}

template <typename Info>
void Query(HANDLE file, FILE_INFORMATION_CLASS kind, Info& info, const fs::path& path) {
  IO_STATUS_BLOCK io{};
  const NTSTATUS status = Calls().NtQueryInformationFile(file, &io, &info, sizeof info, kind);
  if (!NT_SUCCESS(status)) ThrowStatus(status, path);
}

ULONG AttributesOf(HANDLE file, const fs::path& path) {
  FILE_ATTRIBUTE_TAG_INFORMATION tag{};
  Query(file, FileAttributeTagInformation, tag, path);
  return tag.FileAttributes;
}

std::uint64_t IndexOf(HANDLE file, const fs::path& path) {
  FILE_INTERNAL_INFORMATION index{};
  Query(file, FileInternalInformation, index, path);
  return static_cast<std::uint64_t>(index.IndexNumber.QuadPart);
}

// The serial number of the volume a directory and the files opened from it are
// on, asked once: under Wine the question goes to another process and costs up
// to a millisecond.
class VolumeSerial {
 public:
  std::uint64_t Of(HANDLE onTheVolume, const fs::path& path) {
    if (!serial_) {
      // The label follows the serial number; too long a label leaves it intact.
      alignas(FILE_FS_VOLUME_INFORMATION) unsigned char
          buffer[sizeof(FILE_FS_VOLUME_INFORMATION) + 64 * sizeof(wchar_t)];
      IO_STATUS_BLOCK io{};
      const NTSTATUS status = Calls().NtQueryVolumeInformationFile(
          onTheVolume, &io, buffer, sizeof buffer, FileFsVolumeInformation);
      if (!NT_SUCCESS(status) && status != kStatusBufferOverflow) ThrowStatus(status, path);
      serial_ = reinterpret_cast<const FILE_FS_VOLUME_INFORMATION*>(buffer)->VolumeSerialNumber;
    }
    return *serial_;
  }

 private:
  std::optional<std::uint64_t> serial_;
};

// The status of an open file or directory. Wine answers these classes from the
// open file itself, but FileNetworkOpenInformation by the path the file was
// opened under, which may lead elsewhere by now.
FileStatus StatusOf(HANDLE file, VolumeSerial& volume, const fs::path& path) {
  FILE_BASIC_INFORMATION basic{};
  Query(file, FileBasicInformation, basic, path);
  FILE_STANDARD_INFORMATION standard{};
  Query(file, FileStandardInformation, standard, path);
  FileStatus status;
  status.kind = KindOf(basic.FileAttributes).value_or(FileKind::kDirectory);
  status.size = static_cast<std::uint64_t>(standard.EndOfFile.QuadPart);
  status.modified = DateOf(basic.LastWriteTime);
  status.identity = {volume.Of(file, path), IndexOf(file, path)};
  status.changed = basic.ChangeTime.QuadPart;
  status.written = basic.LastWriteTime.QuadPart;
  status.readOnly = (basic.FileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
  return status;
}

// Refuses an open file that is a reparse point, a directory or no disk file.
void CheckRegular(HANDLE file, const fs::path& path) {
  const ULONG attributes = AttributesOf(file, path);
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) ThrowLink(path);
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 || Calls().GetFileType(file) != FILE_TYPE_DISK) {
    ThrowNotRegular(path);
  }
}

class Win32InputFile final : public InputFile {
 public:
  Win32InputFile(ScopedFileHandle file, OpenedPath path, std::shared_ptr<VolumeSerial> volume)
      : file_(std::move(file)), path_(std::move(path)), volume_(std::move(volume)) {}

  std::size_t Read(char* buffer, std::size_t size) override {
    const auto wanted = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    DWORD got = 0;
    if (!Calls().ReadFile(file_.get(), buffer, wanted, &got, nullptr)) ThrowLastError(path());
    return got;
  }
  void Rewind() override {
    if (!Calls().SetFilePointerEx(file_.get(), LARGE_INTEGER{}, nullptr, FILE_BEGIN)) {
      ThrowLastError(path());
    }
  }
  // Taken when first asked for: a scan reads many files and asks few of them.
  FileStatus Status() override {
    if (!status_) status_ = CurrentStatus();
    return *status_;
  }
  FileStatus CurrentStatus() override { return StatusOf(file_.get(), *volume_, path()); }
  const fs::path& path() const override { return path_.get(); }

  HANDLE handle() const { return file_.get(); }
  // Lets go of a file marked for deletion, so that its name goes now.
  void CloseDeleted() { file_.reset(); }

 private:
  ScopedFileHandle file_;
  OpenedPath path_;
  std::shared_ptr<VolumeSerial> volume_;
  std::optional<FileStatus> status_;
};

class Win32OutputFile final : public OutputFile {
 public:
  Win32OutputFile(ScopedFileHandle file, std::string name, fs::path path)
      : file_(std::move(file)), name_(std::move(name)), path_(std::move(path)) {}

  void Write(const char* data, std::size_t size) override {
    while (size > 0) {
      const auto chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
      DWORD put = 0;
      if (!Calls().WriteFile(file_.get(), data, chunk, &put, nullptr)) ThrowLastError(path_);
      if (put == 0) ThrowError(ERROR_DISK_FULL, path_);
      data += put;
      size -= put;
    }
  }
  void ShareLike(InputFile& original) override;
  void Close() override {
    if (!Calls().CloseHandle(file_.release())) ThrowLastError(path_);
  }
  const std::string& name() const override { return name_; }
  const fs::path& path() const override { return path_; }

 private:
  ScopedFileHandle file_;
  std::string name_;
  fs::path path_;
};

// This process's user: it read the originals, so it may read their copies, and
// it must go on writing, flushing and renaming them.
PSID OurUser() {
  static const std::vector<unsigned char> user = [] {
    std::vector<unsigned char> sid;
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return sid;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<std::uint64_t> info(size / sizeof(std::uint64_t) + 1);
    if (size != 0 && GetTokenInformation(token, TokenUser, info.data(), size, &size)) {
      const PSID found = reinterpret_cast<const TOKEN_USER*>(info.data())->User.Sid;
      const auto* begin = static_cast<const unsigned char*>(found);
      sid.assign(begin, begin + GetLengthSid(found));
    }
    CloseHandle(token);
    return sid;
  }();
  return user.empty() ? nullptr : const_cast<unsigned char*>(user.data());
}

// A protected access list, which takes nothing from the directory the file is
// in: `original`'s entries, if any, then one that gives this process's user all.
class CopyAccess {
 public:
  explicit CopyAccess(const ACL* original) {
    const PSID user = OurUser();
    DWORD size = sizeof(ACL) + sizeof(ACCESS_ALLOWED_ACE) + (user ? GetLengthSid(user) : 0);
    DWORD revision = ACL_REVISION;
    DWORD entryBytes = 0;
    if (original != nullptr) {
      revision = std::max<DWORD>(revision, original->AclRevision);
      for (DWORD i = 0; i < original->AceCount; ++i) {
        void* entry = nullptr;
        if (GetAce(const_cast<ACL*>(original), i, &entry)) {
          entryBytes += static_cast<const ACE_HEADER*>(entry)->AceSize;
        }
      }
      size += entryBytes;
    }
    acl_.resize(size / sizeof(DWORD) + 1);
    auto* acl = reinterpret_cast<ACL*>(acl_.data());
    void* first = nullptr;
    ok_ = InitializeAcl(acl, size, revision) &&
          (entryBytes == 0 || (GetAce(const_cast<ACL*>(original), 0, &first) &&
                               AddAce(acl, revision, MAXDWORD, first, entryBytes))) &&
          (user == nullptr || AddAccessAllowedAce(acl, revision, FILE_ALL_ACCESS, user)) &&
          InitializeSecurityDescriptor(&descriptor_, SECURITY_DESCRIPTOR_REVISION) &&
          SetSecurityDescriptorDacl(&descriptor_, TRUE, acl, FALSE) &&
          SetSecurityDescriptorControl(&descriptor_, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
  }
  CopyAccess(const CopyAccess&) = delete;
  CopyAccess& operator=(const CopyAccess&) = delete;

  // Nothing when the list could not be made.
  PSECURITY_DESCRIPTOR get() { return ok_ ? &descriptor_ : nullptr; }

 private:
  std::vector<DWORD> acl_;
  SECURITY_DESCRIPTOR descriptor_{};
  bool ok_ = false;
};

// What a new temporary file gets until ShareLike gives it the original's list:
// this process's user alone may open it.
PSECURITY_DESCRIPTOR OnlyOurUser() {
  static CopyAccess access(nullptr);
  return OurUser() != nullptr ? access.get() : nullptr;
}

// A copy gets the original's access list, protected from what its new directory
// would pass on, so that no one may read it who may not read the original. Where
// the original has no list, anyone may read either.
void Win32OutputFile::ShareLike(InputFile& original) {
  const auto* input = dynamic_cast<Win32InputFile*>(&original);
  // Anything else is no file on disk: the copy stays this process's user's alone.
  if (input == nullptr) return;
  DWORD size = 0;
  Calls().GetKernelObjectSecurity(input->handle(), DACL_SECURITY_INFORMATION, nullptr, 0, &size);
  std::vector<std::uint64_t> security(
      std::max<DWORD>(size, SECURITY_DESCRIPTOR_MIN_LENGTH) / sizeof(std::uint64_t) + 1);
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  ACL* acl = nullptr;
  if (!Calls().GetKernelObjectSecurity(input->handle(), DACL_SECURITY_INFORMATION, security.data(),
                                       static_cast<DWORD>(security.size() * sizeof(std::uint64_t)),
                                       &size) ||
      !GetSecurityDescriptorDacl(security.data(), &present, &acl, &defaulted)) {
    ThrowLastError(original.path());
  }
  if (present && acl != nullptr) {
    CopyAccess access(acl);
    if (access.get() == nullptr) ThrowLastError(path_);
    if (!Calls().SetKernelObjectSecurity(file_.get(), DACL_SECURITY_INFORMATION, access.get())) {
      ThrowLastError(path_);
    }
    return;
  }
  SECURITY_DESCRIPTOR open{};
  if (!InitializeSecurityDescriptor(&open, SECURITY_DESCRIPTOR_REVISION) ||
      !SetSecurityDescriptorDacl(&open, TRUE, nullptr, FALSE) ||
      !Calls().SetKernelObjectSecurity(file_.get(), DACL_SECURITY_INFORMATION, &open)) {
    ThrowLastError(path_);
  }
}

// The directory above `dir` by its path: nothing at the root of a drive or share.
std::optional<fs::path> ParentPath(fs::path dir) {
  if (!dir.has_filename() && dir.has_relative_path()) dir = dir.parent_path();  // "C:\Mail\"
  if (!dir.has_relative_path()) return std::nullopt;
  // In \\server\share\dir the share is the first relative name, yet its root.
  const std::wstring& text = dir.native();
  const bool share = text.size() > 2 && (text[0] == L'\\' || text[0] == L'/') &&
                     (text[1] == L'\\' || text[1] == L'/');
  if (share && std::distance(dir.relative_path().begin(), dir.relative_path().end()) < 2) {
    return std::nullopt;
  }
  return dir.parent_path();
}

class Win32Directory final : public Directory {
 public:
  Win32Directory(ScopedFileHandle handle, fs::path path, std::shared_ptr<VolumeSerial> volume)
      : handle_(std::move(handle)),
        path_(std::make_shared<const fs::path>(std::move(path))),
        volume_(std::move(volume)) {}

  std::vector<DirectoryEntry> Entries() override;
  std::unique_ptr<Directory> OpenDirectory(const std::string& name) override;
  std::unique_ptr<Directory> OpenParent() override;
  std::unique_ptr<InputFile> Open(const std::string& name, Access access) override;
  std::optional<FileStatus> Status(const std::string& name) override;
  std::optional<FileStatus> QuickStatus(const std::string& name) override;
  std::unique_ptr<OutputFile> CreateTemporary() override;
  void Rename(const std::string& from, Directory& target, const std::string& to,
              ExistingName existing) override;
  void Discard(const std::string& name) noexcept override;
  void FlushFiles(const std::vector<std::string>& names) override;
  void FlushNames() override;
  FileIdentity Identity() override {
    return {volume_->Of(handle_.get(), *path_), IndexOf(handle_.get(), *path_)};
  }
  const fs::path& path() const override { return *path_; }

  HANDLE handle() const { return handle_.get(); }
  fs::path PathOf(const std::string& name) const { return *path_ / PathFromText(name); }
  // Which file `name` is, by its index on the volume; nothing when it is gone.
  std::optional<std::uint64_t> IndexOfName(const std::string& name);

 private:
  ScopedFileHandle handle_;
  std::shared_ptr<const fs::path> path_;
  std::shared_ptr<VolumeSerial> volume_;
};

// Opens the directory `dir` by its path, links and junctions followed.
std::unique_ptr<Win32Directory> OpenDirectoryByPath(const fs::path& dir) {
  ScopedFileHandle handle(Calls().CreateFileW(dir.c_str(), kListAccess, kShareAll, nullptr,
                                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!handle.valid()) ThrowLastError(dir);
  if ((AttributesOf(handle.get(), dir) & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    ThrowError(ERROR_DIRECTORY, dir);
  }
  return std::make_unique<Win32Directory>(std::move(handle), dir, std::make_shared<VolumeSerial>());
}

std::vector<DirectoryEntry> Win32Directory::Entries() {
  // The listing gets a handle of its own, so that each listing starts at the top.
  ScopedFileHandle listing;
  const NTSTATUS opened = OpenRelative(handle_.get(), {}, FILE_LIST_DIRECTORY, kShareAll, FILE_OPEN,
                                       FILE_DIRECTORY_FILE | kNoFollow, listing);
  if (!NT_SUCCESS(opened)) ThrowStatus(opened, *path_);
  std::vector<DirectoryEntry> entries;
  // A whole number of 64-bit words, as the entries are aligned to them.
  std::vector<std::uint64_t> buffer(64 * 1024 / sizeof(std::uint64_t));
  for (BOOLEAN first = TRUE;; first = FALSE) {
    IO_STATUS_BLOCK io{};
    const NTSTATUS status =
        Calls().NtQueryDirectoryFile(listing.get(), nullptr, nullptr, nullptr, &io, buffer.data(),
                                     static_cast<ULONG>(buffer.size() * sizeof(std::uint64_t)),
                                     FileFullDirectoryInformation, FALSE, nullptr, first);
    // An empty drive root has not even "." to list.
    if (status == kStatusNoMoreFiles || status == kStatusNoSuchFile) break;
    if (!NT_SUCCESS(status)) ThrowStatus(status, *path_);
    if (io.Information == 0) break;
    const auto* bytes = reinterpret_cast<const unsigned char*>(buffer.data());
    for (ULONG offset = 0;;) {
      const auto* entry = reinterpret_cast<const FILE_FULL_DIR_INFORMATION*>(bytes + offset);
      const std::wstring_view name(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
      // The listing carries each file's date, which saves opening it for that.
      const auto kind = KindOf(entry->FileAttributes);
      if (kind && name != L"." && name != L"..") {
        entries.push_back({Narrow(name), *kind, DateOf(entry->LastWriteTime)});
      }
      if (entry->NextEntryOffset == 0) break;
      offset += entry->NextEntryOffset;
    }
  }
  return entries;
}

std::unique_ptr<Directory> Win32Directory::OpenDirectory(const std::string& name) {
  CheckBareName(name, *path_);
  const fs::path path = PathOf(name);
  ScopedFileHandle handle;
  const NTSTATUS status = OpenRelative(handle_.get(), Widen(name), kListAccess, kShareAll,
                                       FILE_OPEN, FILE_DIRECTORY_FILE | kNoFollow, handle);
  if (!NT_SUCCESS(status)) ThrowStatus(status, path);
  if ((AttributesOf(handle.get(), path) & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    throw FileError(ErrorKind::kLink, kErrorIsLink,
                    "The directory is a link, and links below a queue directory are not followed",
                    PathText(path));
  }
  // Not through a reparse point, so on the same volume.
  return std::make_unique<Win32Directory>(std::move(handle), path, volume_);
}

std::unique_ptr<Directory> Win32Directory::OpenParent() {
  const auto parent = ParentPath(*path_);
  if (!parent) return nullptr;
  return OpenDirectoryByPath(*parent);
}

std::unique_ptr<InputFile> Win32Directory::Open(const std::string& name, Access access) {
  CheckBareName(name, *path_);
  OpenedPath path(path_, name);
  ScopedFileHandle file;
  const NTSTATUS status = OpenRelative(
      handle_.get(), Widen(name),
      access == Access::kReadAndDelete ? GENERIC_READ | DELETE : GENERIC_READ, kShareAll, FILE_OPEN,
      FILE_NON_DIRECTORY_FILE | FILE_SEQUENTIAL_ONLY | kNoFollow, file);
  if (status == kStatusFileIsADirectory) ThrowNotRegular(path.get());
  if (!NT_SUCCESS(status)) ThrowStatus(status, path.get());
  CheckRegular(file.get(), path.get());
  auto input = std::make_unique<Win32InputFile>(std::move(file), std::move(path), volume_);
  // A file that may be deleted is to be as it was when opened: a change after
  // that must show.
  if (access == Access::kReadAndDelete) input->Status();
  return input;
}

std::optional<FileStatus> Win32Directory::Status(const std::string& name) {
  CheckBareName(name, *path_);
  // Attributes alone: no sharing mode keeps this out, not even an exclusive one.
  ScopedFileHandle file;
  const NTSTATUS status = OpenRelative(handle_.get(), Widen(name), FILE_READ_ATTRIBUTES, kShareAll,
                                       FILE_OPEN, kNoFollow, file);
  if (IsGone(status)) return std::nullopt;
  if (!NT_SUCCESS(status)) ThrowStatus(status, PathOf(name));
  return StatusOf(file.get(), *volume_, PathOf(name));
}

std::optional<FileStatus> Win32Directory::QuickStatus(const std::string& name) {
  CheckBareName(name, *path_);
  // The attributes of the name itself: a reparse point is not followed.
  const fs::path path = PathOf(name);
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!Calls().GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) {
    const DWORD number = GetLastError();
    if (number == ERROR_FILE_NOT_FOUND) return std::nullopt;
    ThrowError(static_cast<int>(number), path);
  }
  FileStatus status;
  status.kind = KindOf(data.dwFileAttributes).value_or(FileKind::kDirectory);
  status.size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  status.modified = DateOf(LARGE_INTEGER{{data.ftLastWriteTime.dwLowDateTime,
                                          static_cast<LONG>(data.ftLastWriteTime.dwHighDateTime)}});
  status.readOnly = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
  return status;
}

std::optional<std::uint64_t> Win32Directory::IndexOfName(const std::string& name) {
  ScopedFileHandle file;
  const NTSTATUS status = OpenRelative(handle_.get(), Widen(name), FILE_READ_ATTRIBUTES, kShareAll,
                                       FILE_OPEN, kNoFollow, file);
  if (IsGone(status)) return std::nullopt;
  if (!NT_SUCCESS(status)) ThrowStatus(status, PathOf(name));
  return IndexOf(file.get(), PathOf(name));
}

std::unique_ptr<OutputFile> Win32Directory::CreateTemporary() {
  for (int attempt = 0;; ++attempt) {
    std::string name = NewTemporaryName();
    ScopedFileHandle file;
    // Readers are let in: the server may look at the file before we close it.
    const NTSTATUS status = OpenRelative(handle_.get(), Widen(name), GENERIC_WRITE | WRITE_DAC,
                                         FILE_SHARE_READ | FILE_SHARE_DELETE, FILE_CREATE,
                                         FILE_NON_DIRECTORY_FILE | kNoFollow, file, OnlyOurUser());
    if (NT_SUCCESS(status)) {
      fs::path path = PathOf(name);
      return std::make_unique<Win32OutputFile>(std::move(file), std::move(name), std::move(path));
    }
    if (status != kStatusObjectNameCollision || attempt == 100) ThrowStatus(status, PathOf(name));
  }
}

Win32Directory& NativeDirectory(Directory& directory) {
  return dynamic_cast<Win32Directory&>(directory);
}

void Win32Directory::Rename(const std::string& from, Directory& target, const std::string& to,
                            ExistingName existing) {
  CheckBareName(from, *path_);
  Win32Directory& into = NativeDirectory(target);
  CheckBareName(to, into.path());
  // Written through where the file system honours it; FlushNames makes the new
  // name durable wherever it does not (Wine).
  ScopedFileHandle file;
  const NTSTATUS opened =
      OpenRelative(handle_.get(), Widen(from), DELETE, kShareAll, FILE_OPEN,
                   FILE_NON_DIRECTORY_FILE | FILE_WRITE_THROUGH | kNoFollow, file);
  if (!NT_SUCCESS(opened)) ThrowStatus(opened, PathOf(from));
  const std::wstring name = Widen(to);
  const ULONG nameBytes = static_cast<ULONG>(name.size() * sizeof(wchar_t));
  std::vector<std::uint64_t> buffer(
      (offsetof(FILE_RENAME_INFORMATION, FileName) + nameBytes) / sizeof(std::uint64_t) + 1);
  auto* info = reinterpret_cast<FILE_RENAME_INFORMATION*>(buffer.data());
  info->ReplaceIfExists = existing == ExistingName::kReplace;
  info->RootDirectory = into.handle();
  info->FileNameLength = nameBytes;
  std::memcpy(info->FileName, name.data(), nameBytes);
  // Straight to ntdll: Wine's SetFileInformationByHandle makes the name a whole
  // path, which no root directory may go with.
  IO_STATUS_BLOCK io{};
  const NTSTATUS status = Calls().NtSetInformationFile(
      file.get(), &io, info, static_cast<ULONG>(buffer.size() * sizeof(std::uint64_t)),
      FileRenameInformation);
  if (!NT_SUCCESS(status)) ThrowStatus(status, into.PathOf(to));
}

// Whether this process has found POSIX deletion unknown to the system (Wine
// answers STATUS_NOT_IMPLEMENTED) and asks no more.
std::atomic<bool>& PosixDeleteUnknown() {
  static std::atomic<bool> unknown = false;
  return unknown;
}

// How a file was marked for deletion, so that the mark can be taken back.
enum class Mark { kNone, kPosix, kClassic };

// Marks the open file for deletion: the POSIX way where the system knows it,
// which takes the name away as soon as this handle closes, whoever else still
// has the file open; else the classic way, where the name goes with the last
// handle.
NTSTATUS MarkForDeletion(HANDLE file, Mark& mark) {
  IO_STATUS_BLOCK io{};
  if (!PosixDeleteUnknown()) {
    ULONG flags = kDispositionDelete | kDispositionPosixSemantics;
    const NTSTATUS status = Calls().NtSetInformationFile(file, &io, &flags, sizeof flags,
                                                         kFileDispositionInformationEx);
    if (NT_SUCCESS(status)) {
      mark = Mark::kPosix;
      return status;
    }
    if (status != kStatusNotImplemented && status != kStatusInvalidInfoClass &&
        status != kStatusInvalidParameter && status != kStatusNotSupported) {
      return status;
    }
    PosixDeleteUnknown() = true;
  }
  FILE_DISPOSITION_INFORMATION disposition{TRUE};
  const NTSTATUS status = Calls().NtSetInformationFile(file, &io, &disposition, sizeof disposition,
                                                       FileDispositionInformation);
  if (NT_SUCCESS(status)) mark = Mark::kClassic;
  return status;
}

void Unmark(HANDLE file, Mark& mark) {
  IO_STATUS_BLOCK io{};
  if (mark == Mark::kPosix) {
    ULONG flags = 0;
    Calls().NtSetInformationFile(file, &io, &flags, sizeof flags, kFileDispositionInformationEx);
  } else if (mark == Mark::kClassic) {
    FILE_DISPOSITION_INFORMATION disposition{FALSE};
    Calls().NtSetInformationFile(file, &io, &disposition, sizeof disposition,
                                 FileDispositionInformation);
  }
  mark = Mark::kNone;
}

void Win32Directory::Discard(const std::string& name) noexcept {
  ScopedFileHandle file;
  OpenRelative(handle_.get(), Widen(name), DELETE, kShareAll, FILE_OPEN,
               FILE_NON_DIRECTORY_FILE | kNoFollow, file);
  Mark mark = Mark::kNone;
  if (file.valid()) MarkForDeletion(file.get(), mark);
}

void Win32Directory::FlushFiles(const std::vector<std::string>& names) {
  // Windows flushes no volume for a process that is not an administrator: each
  // file is flushed on its own.
  for (const std::string& name : names) {
    ScopedFileHandle file;
    const NTSTATUS status = OpenRelative(handle_.get(), Widen(name), GENERIC_WRITE, kShareAll,
                                         FILE_OPEN, FILE_NON_DIRECTORY_FILE | kNoFollow, file);
    if (!NT_SUCCESS(status)) ThrowStatus(status, PathOf(name));
    if (!Calls().FlushFileBuffers(file.get())) ThrowLastError(PathOf(name));
  }
}

void Win32Directory::FlushNames() {
  // The directory opened again with the right to add files, which flushing asks.
  ScopedFileHandle handle;
  const NTSTATUS status = OpenRelative(handle_.get(), {}, FILE_ADD_FILE, kShareAll, FILE_OPEN,
                                       FILE_DIRECTORY_FILE | kNoFollow, handle);
  if (!NT_SUCCESS(status)) ThrowStatus(status, *path_);
  if (Calls().FlushFileBuffers(handle.get())) return;
  const DWORD number = GetLastError();
  // A file system that cannot flush a directory: its renames were written through.
  if (number == ERROR_INVALID_FUNCTION || number == ERROR_NOT_SUPPORTED) return;
  ThrowError(static_cast<int>(number), *path_);
}

// One parked file to be deleted.
struct Doomed {
  Win32Directory& directory;
  const std::string& name;
  Win32InputFile& file;
  bool there = true;
  Mark mark = Mark::kNone;
};

void UnmarkAll(std::vector<Doomed>& doomed) {
  for (Doomed& file : doomed) Unmark(file.file.handle(), file.mark);
}

}  // namespace

std::unique_ptr<Directory> NativeFileSystem::OpenDirectory(const fs::path& dir) {
  // An empty path would be the current directory.
  if (dir.empty()) ThrowError(ERROR_PATH_NOT_FOUND, dir);
  return OpenDirectoryByPath(dir);
}

std::unique_ptr<InputFile> NativeFileSystem::OpenForReading(const fs::path& path) {
  ScopedFileHandle file(Calls().CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr,
                                            OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file.valid()) ThrowLastError(path);
  CheckRegular(file.get(), path);
  auto input = std::make_unique<Win32InputFile>(std::move(file), OpenedPath(path),
                                                std::make_shared<VolumeSerial>());
  // Its status as it is when opened, so that a change while it is read shows.
  input->Status();
  return input;
}

DeleteOutcome NativeFileSystem::DeleteOpened(const std::vector<OpenedFile>& files,
                                             const std::function<bool()>& unchanged) {
  std::vector<Doomed> doomed;
  for (const OpenedFile& opened : files) {
    doomed.push_back({NativeDirectory(opened.directory), opened.name,
                      dynamic_cast<Win32InputFile&>(opened.file)});
  }
  // A name that is gone was taken away by the server, whatever it did with the
  // file; one that is there must lead to the very file opened, as it was. The
  // server may have moved that file away, even put another in its place.
  for (Doomed& file : doomed) {
    const auto index = file.directory.IndexOfName(file.name);
    file.there = index.has_value();
    if (!file.there) continue;
    const FileStatus opened = file.file.Status();
    const FileStatus now = file.file.CurrentStatus();
    if (*index != opened.identity.file) return DeleteOutcome::kChanged;
    if (now.readOnly) return DeleteOutcome::kReadOnly;
    if (now.changed != opened.changed) return DeleteOutcome::kChanged;
  }
  if (std::none_of(doomed.begin(), doomed.end(), [](const Doomed& file) { return file.there; })) {
    return DeleteOutcome::kGone;
  }
  for (Doomed& file : doomed) {
    if (!file.there) continue;
    const NTSTATUS status = MarkForDeletion(file.file.handle(), file.mark);
    if (!NT_SUCCESS(status)) {
      UnmarkAll(doomed);
      ThrowStatus(status, file.file.path());
    }
  }
  // Marked, the files can no longer be opened by their names: what they hold now
  // is what they will hold when deleted.
  bool still = false;
  try {
    still = std::all_of(doomed.begin(), doomed.end(),
                        [](Doomed& file) {
                          return !file.there ||
                                 file.file.CurrentStatus().written == file.file.Status().written;
                        }) &&
            (!unchanged || unchanged());
  } catch (const FileError&) {
    UnmarkAll(doomed);
    throw;
  }
  if (!still) {
    UnmarkAll(doomed);
    return DeleteOutcome::kChanged;
  }
  for (Doomed& file : doomed) {
    if (file.mark != Mark::kNone) file.file.CloseDeleted();
  }
  return DeleteOutcome::kDeleted;
}

DirectoryAccess NativeFileSystem::AccessTo(const fs::path&) {
  DirectoryAccess access;
  HANDLE opened = nullptr;
  if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &opened)) {
    const ScopedHandle token(opened);
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    access.elevated =
        GetTokenInformation(token.get(), TokenElevation, &elevation, sizeof elevation, &size) &&
        elevation.TokenIsElevated != 0;
  }
  // Windows gives write rights by access lists: a process not elevated is what
  // keeps an administrator from a queue under Program Files.
  access.mayRead = access.mayWrite = access.elevated;
  wchar_t name[256 + 1] = {};
  DWORD length = static_cast<DWORD>(std::size(name));
  if (GetUserNameW(name, &length)) access.user = Narrow(name);
  return access;
}

// Handles are not counted against a small limit the way descriptors are.
std::size_t OpenFileBudget() { return 1 << 16; }

void RaiseOpenFileLimit() {}

}  // namespace velmoth
