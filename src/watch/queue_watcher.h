// Follows a queue directory and its "messages" subdirectory, and tells which
// parked messages changed since the window last looked: by name, since a
// message's command file and message file share one, or as "look at every
// message again" when names were lost or a directory came, went or was replaced.
#pragma once

#include <array>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "base/file_error.h"
#include "watch/watch_event_source.h"

namespace velmoth {

struct QueueChanges {
  // The files created, deleted, renamed from or to, written or changed in the
  // queue directory or its "messages"; subdirectories are left out.
  std::set<std::string> names;
  // Names were lost, or a followed directory came, went or was replaced: every
  // parked message is to be looked at again. `names` is then empty.
  bool rescan = false;
};

class QueueWatcher {
 public:
  // Follows `queueDirectory` through the kernel; links on the way, its last
  // component's too, are followed, a "messages" link is not. A directory that
  // is not there yet is followed once it comes. Make the watcher before the
  // first scan of the directory, so that no change falls between the two.
  // Throws FileError when the kernel gives no means to watch.
  explicit QueueWatcher(const std::filesystem::path& queueDirectory);
  QueueWatcher(const std::filesystem::path& queueDirectory,
               std::unique_ptr<WatchEventSource> source);

#ifdef _WIN32
  std::span<void* const> waitHandles() const { return source_->waitHandles(); }
#else
  int waitDescriptor() const { return source_->waitDescriptor(); }
#endif

  // Reads what the kernel has said, without waiting, and whether changes wait
  // to be taken. Call it whenever the wait handle fires, so that the kernel's
  // queue of events never fills while the window waits to update.
  bool Collect();

  // Collects, and hands over every change since the last take. When the queue
  // directory is not followed (it was not there), tries again to follow it.
  QueueChanges Take();

  // Why a directory that is there is not followed (no permission, the kernel's
  // limit of watches), until a later attempt follows it.
  std::optional<FileError> failure() const;

 private:
  // How much is to be followed anew, each scope taking in the smaller ones.
  enum class Scope { kNone, kMessages, kQueue, kAll };

  // Reads the kernel's events into the pending changes, following directories
  // anew as they tell.
  void Gather();
  Scope Note(const WatchEvent& event);
  Scope NoteParentEntry(const WatchEvent& event) const;
  Scope NoteQueueEntry(const WatchEvent& event);
  void AddName(const std::string& name);
  void MarkRescan();
  // Follows the directories of `scope` anew; whether the queue directory is followed.
  bool Rewatch(Scope scope);
  bool Follow(WatchedDirectory directory, const std::filesystem::path& path);

  std::unique_ptr<WatchEventSource> source_;
  std::filesystem::path queue_;
  std::filesystem::path parent_;
  std::string queueName_;  // the queue directory's entry in `parent_`; empty at a root
  bool queueFollowed_ = false;
  std::array<std::optional<FileError>, kWatchedDirectories> failures_;
  std::vector<WatchEvent> events_;
  QueueChanges pending_;
};

}  // namespace velmoth
