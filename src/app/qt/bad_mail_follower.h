// Follows the Bad Mail directory the window's list was read from and brings its
// changes to the window at the pace UpdatePacer sets: a socket notifier on the
// watcher's descriptor collects the kernel's events as they come, so that its
// queue never fills, and a single-shot timer runs the window's update when the
// pacer says, at most a few times a second while the server keeps parking.
#pragma once

#include <QObject>
#include <QTimer>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "watch/queue_watcher.h"
#include "watch/update_pacer.h"

class QSocketNotifier;

namespace velmoth::qt {

class BadMailFollower final : public QObject {
 public:
  // Brings the list up to date with `changes`; returns the time its own work
  // took, leaving out any time a message box waited for the operator.
  using Update = std::function<std::chrono::milliseconds(const QueueChanges& changes)>;

  explicit BadMailFollower(Update update, QObject* parent = nullptr);
  ~BadMailFollower() override;

  // Follows `directory` from now on in place of the directory followed before,
  // whose changes not yet taken are dropped; nothing is followed for none. With
  // `rescan`, the first update looks at every message again: for a list read
  // before the watch began. Make the watch before a scan to need no rescan.
  void Follow(const std::optional<std::filesystem::path>& directory, bool rescan);

  // The directory followed, if any.
  const std::optional<std::filesystem::path>& followed() const { return followed_; }
  // Why the directory followed, or one below it, is not watched: the kernel
  // gave no means to watch, or refused a directory; nothing while it is.
  std::optional<FileError> failure() const;

 private:
  // The watcher's descriptor is readable: its events are read at once.
  void Collect();
  // The pacer's time has come: the changes go to the window.
  void RunUpdate();
  // Starts the timer for the next update, if one is due.
  void Schedule();

  Update update_;
  std::optional<std::filesystem::path> followed_;
  std::unique_ptr<QueueWatcher> watcher_;
  std::unique_ptr<QSocketNotifier> notifier_;
  std::optional<FileError> startFailure_;  // the kernel gave no watcher
  UpdatePacer pacer_;
  QTimer timer_;
  bool rescanDue_ = false;
  bool updating_ = false;
};

}  // namespace velmoth::qt
