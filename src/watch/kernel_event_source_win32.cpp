// The kernel's events on Windows: an overlapped ReadDirectoryChangesW on each
// followed directory, each with an event of its own for the message loop to wait
// on. The directories are opened sharing everything, so that the server still
// renames and deletes in them.
#include <windows.h>

#include <array>
#include <cstddef>

#include "base/file_error.h"
#include "base/wide_text.h"
#include "watch/watch_event_source.h"

namespace velmoth {
namespace {

namespace fs = std::filesystem;

constexpr DWORD kEntryChanges = FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME |
                                FILE_NOTIFY_CHANGE_ATTRIBUTES | FILE_NOTIFY_CHANGE_SIZE |
                                FILE_NOTIFY_CHANGE_LAST_WRITE;

// Beside the queue directory only entries coming and going matter.
DWORD FilterOf(WatchedDirectory directory) {
  return directory == WatchedDirectory::kParent ? FILE_NOTIFY_CHANGE_DIR_NAME : kEntryChanges;
}

// What the kernel keeps while the window is busy updating: a few thousand
// events. A read over the network takes 64 KiB at most.
constexpr DWORD kBufferBytes = 256 * 1024;
constexpr DWORD kNetworkBufferBytes = 64 * 1024;

std::size_t IndexOf(WatchedDirectory directory) { return static_cast<std::size_t>(directory); }

WatchEventKind KindOf(DWORD action) {
  switch (action) {
    case FILE_ACTION_ADDED:
    case FILE_ACTION_RENAMED_NEW_NAME:
      return WatchEventKind::kAdded;
    case FILE_ACTION_REMOVED:
    case FILE_ACTION_RENAMED_OLD_NAME:
      return WatchEventKind::kRemoved;
    default:
      return WatchEventKind::kChanged;
  }
}

// One followed directory: its handle and the read waiting on it.
class DirectoryWatch {
 public:
  DirectoryWatch(HANDLE directory, fs::path path, DWORD filter, HANDLE event)
      : directory_(directory), path_(std::move(path)), filter_(filter) {
    overlapped_.hEvent = event;
  }
  ~DirectoryWatch();
  DirectoryWatch(const DirectoryWatch&) = delete;
  DirectoryWatch& operator=(const DirectoryWatch&) = delete;

  // A directory of its own, no link or other reparse point.
  bool IsPlainDirectory() const;
  // Starts the next read; false when the directory takes none.
  bool Arm();
  bool Done() const { return HasOverlappedIoCompleted(&overlapped_); }
  // Appends what the finished read tells and starts the next; false when the
  // watch is over: the directory went away.
  bool Take(WatchedDirectory directory, std::vector<WatchEvent>& events);

 private:
  void Translate(DWORD bytes, WatchedDirectory directory, std::vector<WatchEvent>& events) const;
  bool IsDirectory(const std::wstring& name) const;

  HANDLE directory_;
  fs::path path_;
  DWORD filter_;
  OVERLAPPED overlapped_{};
  std::vector<DWORD> buffer_ = std::vector<DWORD>(kBufferBytes / sizeof(DWORD));
  bool reading_ = false;
};

DirectoryWatch::~DirectoryWatch() {
  if (reading_ && !Done()) {
    // The kernel writes into the buffer until the read is over.
    CancelIoEx(directory_, &overlapped_);
    DWORD bytes = 0;
    GetOverlappedResult(directory_, &overlapped_, &bytes, TRUE);
  }
  ResetEvent(overlapped_.hEvent);
  CloseHandle(directory_);
}

bool DirectoryWatch::IsPlainDirectory() const {
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(directory_, &information)) return false;
  const DWORD attributes = information.dwFileAttributes;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool DirectoryWatch::Arm() {
  ResetEvent(overlapped_.hEvent);
  for (;;) {
    const DWORD bytes = static_cast<DWORD>(buffer_.size() * sizeof(DWORD));
    reading_ = ReadDirectoryChangesW(directory_, buffer_.data(), bytes, FALSE, filter_, nullptr,
                                     &overlapped_, nullptr);
    if (reading_) return true;
    if (GetLastError() != ERROR_INVALID_PARAMETER || bytes == kNetworkBufferBytes) return false;
    buffer_.resize(kNetworkBufferBytes / sizeof(DWORD));
  }
}

bool DirectoryWatch::Take(WatchedDirectory directory, std::vector<WatchEvent>& events) {
  reading_ = false;
  DWORD bytes = 0;
  if (!GetOverlappedResult(directory_, &overlapped_, &bytes, FALSE)) {
    if (GetLastError() != ERROR_NOTIFY_ENUM_DIR) return false;
    bytes = 0;
  }
  // Nothing read is the kernel's own buffer having overflowed.
  if (bytes == 0) {
    events.push_back({directory, WatchEventKind::kLost, {}});
  } else {
    Translate(bytes, directory, events);
  }
  return Arm();
}

void DirectoryWatch::Translate(DWORD bytes, WatchedDirectory directory,
                               std::vector<WatchEvent>& events) const {
  // A record is as long as its name: the last one may end before the struct's
  // own size would.
  constexpr DWORD kHeader = offsetof(FILE_NOTIFY_INFORMATION, FileName);
  const auto* start = reinterpret_cast<const char*>(buffer_.data());
  for (DWORD offset = 0; offset + kHeader <= bytes;) {
    const auto* record = reinterpret_cast<const FILE_NOTIFY_INFORMATION*>(start + offset);
    if (offset + kHeader + record->FileNameLength > bytes) break;
    const std::wstring name(record->FileName, record->FileNameLength / sizeof(wchar_t));
    const WatchEventKind kind = KindOf(record->Action);
    // A name gone can no longer be looked at: it is told as a file.
    const bool isDirectory = kind != WatchEventKind::kRemoved && IsDirectory(name);
    events.push_back({directory, kind, Narrow(name), isDirectory});
    if (record->NextEntryOffset == 0) break;
    offset += record->NextEntryOffset;
  }
}

bool DirectoryWatch::IsDirectory(const std::wstring& name) const {
  const DWORD attributes = GetFileAttributesW((path_ / name).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// One manual-reset event per followed directory, closed however the source's
// life ends.
class WatchEvents {
 public:
  WatchEvents() {
    for (HANDLE& event : events_) {
      event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
      if (event == nullptr) {
        const DWORD error = GetLastError();
        Close();
        ThrowError(static_cast<int>(error), "directory change events");
      }
    }
  }
  ~WatchEvents() { Close(); }
  WatchEvents(const WatchEvents&) = delete;
  WatchEvents& operator=(const WatchEvents&) = delete;

  HANDLE operator[](std::size_t index) const { return events_[index]; }
  std::span<void* const> all() const { return events_; }

 private:
  void Close() {
    for (HANDLE event : events_) {
      if (event != nullptr) CloseHandle(event);
    }
  }

  std::array<HANDLE, kWatchedDirectories> events_{};
};

class DirectoryChangesSource final : public WatchEventSource {
 public:
  bool Watch(WatchedDirectory directory, const fs::path& path) override;
  void Read(std::vector<WatchEvent>& events) override;
  std::span<void* const> waitHandles() const override { return events_.all(); }

 private:
  WatchEvents events_;  // outlives the watches, whose reads signal them
  std::array<std::unique_ptr<DirectoryWatch>, kWatchedDirectories> watches_;
};

bool DirectoryChangesSource::Watch(WatchedDirectory directory, const fs::path& path) {
  const std::size_t index = IndexOf(directory);
  watches_[index].reset();
  // "messages" is opened as it is, a link too, so that a link is refused below.
  const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED |
                      (directory == WatchedDirectory::kMessages ? FILE_FLAG_OPEN_REPARSE_POINT : 0);
  const HANDLE handle = CreateFileW(path.c_str(), FILE_LIST_DIRECTORY,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, flags, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (KindOfNumber(static_cast<int>(error)) == ErrorKind::kNotFound || error == ERROR_DIRECTORY) {
      return false;
    }
    ThrowError(static_cast<int>(error), path);
  }
  auto watch = std::make_unique<DirectoryWatch>(handle, path, FilterOf(directory), events_[index]);
  if (!watch->IsPlainDirectory()) return false;
  if (!watch->Arm()) ThrowLastError(path);
  watches_[index] = std::move(watch);
  return true;
}

void DirectoryChangesSource::Read(std::vector<WatchEvent>& events) {
  for (std::size_t index = 0; index < watches_.size(); ++index) {
    auto& watch = watches_[index];
    if (!watch || !watch->Done()) continue;
    const auto directory = static_cast<WatchedDirectory>(index);
    if (!watch->Take(directory, events)) {
      // Closed at once: a directory deleted is gone only once every handle is.
      watch.reset();
      events.push_back({directory, WatchEventKind::kGone, {}});
    }
  }
}

}  // namespace

std::unique_ptr<WatchEventSource> KernelEventSource() {
  return std::make_unique<DirectoryChangesSource>();
}

bool SameEntryName(std::string_view a, std::string_view b) {
  const std::wstring wideA = Widen(a);
  const std::wstring wideB = Widen(b);
  return CompareStringOrdinal(wideA.data(), static_cast<int>(wideA.size()), wideB.data(),
                              static_cast<int>(wideB.size()), TRUE) == CSTR_EQUAL;
}

}  // namespace velmoth
