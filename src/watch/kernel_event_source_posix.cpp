// The kernel's events on Linux: one inotify instance, its descriptor non-blocking
// and closed on exec, with a watch for each followed directory.
#include <sys/inotify.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <string>

#include "base/file_error.h"
#include "files/scoped_generic.h"
#include "watch/watch_event_source.h"

namespace velmoth {
namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t kEntryChanges =
    IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_CLOSE_WRITE | IN_ATTRIB;
constexpr std::uint32_t kSelfChanges = IN_DELETE_SELF | IN_MOVE_SELF;

// Beside the queue directory only entries coming and going matter; "messages" is
// never followed through a link, and a link there fails as no directory.
std::uint32_t MaskOf(WatchedDirectory directory) {
  switch (directory) {
    case WatchedDirectory::kParent:
      return IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | kSelfChanges | IN_ONLYDIR;
    case WatchedDirectory::kQueue:
      return kEntryChanges | kSelfChanges | IN_ONLYDIR;
    case WatchedDirectory::kMessages:
      return kEntryChanges | kSelfChanges | IN_ONLYDIR | IN_DONT_FOLLOW;
  }
  return 0;
}

std::size_t IndexOf(WatchedDirectory directory) { return static_cast<std::size_t>(directory); }

WatchEventKind KindOf(std::uint32_t mask) {
  if (mask & (IN_CREATE | IN_MOVED_TO)) return WatchEventKind::kAdded;
  if (mask & (IN_DELETE | IN_MOVED_FROM)) return WatchEventKind::kRemoved;
  return WatchEventKind::kChanged;
}

class InotifySource final : public WatchEventSource {
 public:
  InotifySource() : inotify_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    if (!inotify_.valid()) ThrowLastError("inotify");
    watches_.fill(-1);
  }

  bool Watch(WatchedDirectory directory, const fs::path& path) override;
  void Read(std::vector<WatchEvent>& events) override;
  int waitDescriptor() const override { return inotify_.get(); }

 private:
  void Translate(const inotify_event& event, std::string name, std::vector<WatchEvent>& events);
  bool Find(int watch, WatchedDirectory& directory) const;

  ScopedDescriptor inotify_;
  std::array<int, kWatchedDirectories> watches_;
  // Room for many events per read; the kernel hands out whole events only.
  alignas(inotify_event) std::array<char, 64 * 1024> buffer_;
};

bool InotifySource::Watch(WatchedDirectory directory, const fs::path& path) {
  int& watch = watches_[IndexOf(directory)];
  // The watch may already be over, when the kernel removed it: nothing to undo then.
  if (watch >= 0) ::inotify_rm_watch(inotify_.get(), watch);
  watch = ::inotify_add_watch(inotify_.get(), path.c_str(), MaskOf(directory));
  if (watch >= 0) return true;
  if (KindOfNumber(errno) == ErrorKind::kNotFound || errno == ELOOP) return false;
  ThrowLastError(path);
}

void InotifySource::Read(std::vector<WatchEvent>& events) {
  for (;;) {
    const ssize_t length = ::read(inotify_.get(), buffer_.data(), buffer_.size());
    if (length < 0 && errno == EINTR) continue;
    if (length <= 0) return;  // EAGAIN: nothing more has come
    for (ssize_t offset = 0; offset < length;) {
      inotify_event event;
      const char* const start = buffer_.data() + offset;
      std::memcpy(&event, start, sizeof event);
      // The name is padded with zero bytes to its length.
      const char* const name = start + sizeof event;
      Translate(event, std::string(name, ::strnlen(name, event.len)), events);
      offset += static_cast<ssize_t>(sizeof event + event.len);
    }
  }
}

void InotifySource::Translate(const inotify_event& event, std::string name,
                              std::vector<WatchEvent>& events) {
  if (event.mask & IN_Q_OVERFLOW) {
    events.push_back({WatchedDirectory::kQueue, WatchEventKind::kLost, {}});
    return;
  }
  WatchedDirectory directory;
  // Events of a watch given up since are about a directory no longer followed.
  if (!Find(event.wd, directory)) return;
  if (event.mask & (kSelfChanges | IN_UNMOUNT | IN_IGNORED)) {
    if (event.mask & IN_IGNORED) watches_[IndexOf(directory)] = -1;
    events.push_back({directory, WatchEventKind::kGone, {}});
  } else if (name.empty()) {
    // Without a name the event is about the directory itself: its attributes.
    events.push_back({directory, WatchEventKind::kLost, {}});
  } else {
    events.push_back(
        {directory, KindOf(event.mask), std::move(name), (event.mask & IN_ISDIR) != 0});
  }
}

bool InotifySource::Find(int watch, WatchedDirectory& directory) const {
  for (std::size_t index = 0; index < watches_.size(); ++index) {
    if (watches_[index] == watch) {
      directory = static_cast<WatchedDirectory>(index);
      return true;
    }
  }
  return false;
}

}  // namespace

std::unique_ptr<WatchEventSource> KernelEventSource() { return std::make_unique<InotifySource>(); }

bool SameEntryName(std::string_view a, std::string_view b) { return a == b; }

}  // namespace velmoth
