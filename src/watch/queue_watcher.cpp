// The queue watch's rules over the events of its source: names gathered into one
// set, and the directories followed anew whenever one of them may have been
// replaced, with a rescan, since changes may have been missed meanwhile.
#include "watch/queue_watcher.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "base/path_text.h"

namespace velmoth {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kMessagesDirectory = "messages";

std::size_t IndexOf(WatchedDirectory directory) { return static_cast<std::size_t>(directory); }

// "/srv/mail/Bad Mail/" and "/srv/mail/Bad Mail" are one directory.
fs::path WithoutTrailingSeparator(const fs::path& path) {
  const fs::path normal = path.lexically_normal();
  return normal.has_filename() || !normal.has_relative_path() ? normal : normal.parent_path();
}

bool NamesEntry(const WatchEvent& event, std::string_view name) {
  return event.kind != WatchEventKind::kChanged && SameEntryName(event.name, name);
}

}  // namespace

QueueWatcher::QueueWatcher(const fs::path& queueDirectory)
    : QueueWatcher(queueDirectory, KernelEventSource()) {}

QueueWatcher::QueueWatcher(const fs::path& queueDirectory, std::unique_ptr<WatchEventSource> source)
    : source_(std::move(source)), queue_(WithoutTrailingSeparator(queueDirectory)) {
  const fs::path name = queue_.filename();
  if (name != "." && name != "..") queueName_ = PathText(name);
  parent_ = queue_.has_parent_path() ? queue_.parent_path() : fs::path(".");
  Rewatch(Scope::kAll);
}

bool QueueWatcher::Collect() {
  Gather();
  return pending_.rescan || !pending_.names.empty();
}

QueueChanges QueueWatcher::Take() {
  Gather();
  // A queue directory that was not there may be by now, with no event to tell
  // of it when even the directory it lies in was gone.
  if (!queueFollowed_ && !pending_.rescan && Rewatch(Scope::kAll)) MarkRescan();
  return std::exchange(pending_, {});
}

std::optional<FileError> QueueWatcher::failure() const {
  for (const auto& failure : failures_) {
    if (failure) return failure;
  }
  return std::nullopt;
}

void QueueWatcher::Gather() {
  events_.clear();
  source_->Read(events_);
  Scope scope = Scope::kNone;
  for (const WatchEvent& event : events_) scope = std::max(scope, Note(event));
  if (scope == Scope::kNone) return;
  Rewatch(scope);
  MarkRescan();
}

QueueWatcher::Scope QueueWatcher::Note(const WatchEvent& event) {
  switch (event.kind) {
    case WatchEventKind::kLost:
      // Lost events may have told of any directory being replaced.
      return Scope::kAll;
    case WatchEventKind::kGone:
      return event.directory == WatchedDirectory::kParent  ? Scope::kAll
             : event.directory == WatchedDirectory::kQueue ? Scope::kQueue
                                                           : Scope::kMessages;
    default:
      break;
  }
  switch (event.directory) {
    case WatchedDirectory::kParent:
      return NoteParentEntry(event);
    case WatchedDirectory::kQueue:
      return NoteQueueEntry(event);
    case WatchedDirectory::kMessages:
      if (!event.isDirectory) AddName(event.name);
      return Scope::kNone;
  }
  return Scope::kNone;
}

// Only the queue directory's own entry matters beside it: made, removed or
// renamed, it may now be another directory or none.
QueueWatcher::Scope QueueWatcher::NoteParentEntry(const WatchEvent& event) const {
  return !queueName_.empty() && NamesEntry(event, queueName_) ? Scope::kQueue : Scope::kNone;
}

// A written "messages" is only its times changing as files come and go in it;
// made, removed or renamed, it may now be another directory, a link or none.
QueueWatcher::Scope QueueWatcher::NoteQueueEntry(const WatchEvent& event) {
  if (SameEntryName(event.name, kMessagesDirectory)) {
    return NamesEntry(event, kMessagesDirectory) ? Scope::kMessages : Scope::kNone;
  }
  if (!event.isDirectory) AddName(event.name);
  return Scope::kNone;
}

void QueueWatcher::AddName(const std::string& name) {
  if (!pending_.rescan) pending_.names.insert(name);
}

void QueueWatcher::MarkRescan() {
  pending_.rescan = true;
  pending_.names.clear();
}

bool QueueWatcher::Rewatch(Scope scope) {
  if (scope == Scope::kAll && !queueName_.empty()) Follow(WatchedDirectory::kParent, parent_);
  if (scope >= Scope::kQueue) queueFollowed_ = Follow(WatchedDirectory::kQueue, queue_);
  Follow(WatchedDirectory::kMessages, queue_ / kMessagesDirectory);
  return queueFollowed_;
}

bool QueueWatcher::Follow(WatchedDirectory directory, const fs::path& path) {
  auto& failure = failures_[IndexOf(directory)];
  failure.reset();
  try {
    return source_->Watch(directory, path);
  } catch (const FileError& error) {
    failure = error;
    return false;
  }
}

}  // namespace velmoth
