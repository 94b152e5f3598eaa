// What the kernel says about the directories a queue watch follows, as plain
// events behind one interface, so that the watch's own rules run as well on
// events made up by a test.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#ifdef _WIN32
#include <span>
#endif

namespace velmoth {

// The directories a queue watch follows: the queue directory, its "messages"
// subdirectory, and the directory the queue directory lies in, where it can be
// removed, renamed or made anew.
enum class WatchedDirectory { kParent, kQueue, kMessages };
inline constexpr std::size_t kWatchedDirectories = 3;

enum class WatchEventKind {
  kAdded,    // an entry was created or renamed to the name
  kRemoved,  // an entry was deleted or renamed from the name
  kChanged,  // an entry was written, or its attributes changed
  kLost,     // events were lost, or the directory's own attributes changed
  kGone,     // the directory itself was deleted, moved or unmounted: its watch is over
};

struct WatchEvent {
  WatchedDirectory directory;
  WatchEventKind kind;
  std::string name;          // of the entry, as PathText gives it; empty for kLost and kGone
  bool isDirectory = false;  // the entry is known to be a directory
};

class WatchEventSource {
 public:
  virtual ~WatchEventSource() = default;

  // Follows `path` as `directory`, in place of whatever was followed as it
  // before, whose events not yet read are dropped. False, and nothing followed,
  // when the path is not there or no directory; "messages" is never followed
  // through a link. Throws FileError when it is there but cannot be followed.
  virtual bool Watch(WatchedDirectory directory, const std::filesystem::path& path) = 0;

  // Appends the events that have come, without waiting.
  virtual void Read(std::vector<WatchEvent>& events) = 0;

#ifdef _WIN32
  // The event handles a Win32 message loop waits on beside its messages: one is
  // signalled when events have come. The same handles for the source's life.
  virtual std::span<void* const> waitHandles() const = 0;
#else
  // The descriptor a window waits on: readable when events have come.
  virtual int waitDescriptor() const = 0;
#endif
};

// The kernel's events: inotify on Linux, ReadDirectoryChangesW on Windows.
// Throws FileError when the kernel gives no means to watch.
std::unique_ptr<WatchEventSource> KernelEventSource();

// Whether two entry names name one entry: byte for byte on POSIX, letter case
// aside on Windows.
bool SameEntryName(std::string_view a, std::string_view b);

}  // namespace velmoth
