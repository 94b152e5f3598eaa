#include "app/qt/bad_mail_follower.h"

#include <QSocketNotifier>
#include <utility>

namespace velmoth::qt {

BadMailFollower::BadMailFollower(Update update, QObject* parent)
    : QObject(parent), update_(std::move(update)) {
  timer_.setSingleShot(true);
  // A coarse timer may fire a twentieth early, within the pacer's least interval.
  timer_.setTimerType(Qt::PreciseTimer);
  connect(&timer_, &QTimer::timeout, this, &BadMailFollower::RunUpdate);
}

BadMailFollower::~BadMailFollower() = default;

void BadMailFollower::Follow(const std::optional<std::filesystem::path>& directory, bool rescan) {
  timer_.stop();
  notifier_.reset();
  watcher_.reset();
  startFailure_.reset();
  pacer_ = UpdatePacer();
  followed_ = directory;
  rescanDue_ = false;
  if (!directory) return;
  try {
    watcher_ = std::make_unique<QueueWatcher>(*directory);
  } catch (const FileError& error) {
    startFailure_ = error;
    return;
  }
  notifier_ = std::make_unique<QSocketNotifier>(watcher_->waitDescriptor(), QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, &BadMailFollower::Collect);
  if (!rescan) return;
  rescanDue_ = true;
  pacer_.ChangesArrived();
  Schedule();
}

std::optional<FileError> BadMailFollower::failure() const {
  if (startFailure_) return startFailure_;
  return watcher_ ? watcher_->failure() : std::nullopt;
}

void BadMailFollower::Collect() {
  if (watcher_->Collect()) pacer_.ChangesArrived();
  Schedule();
}

void BadMailFollower::RunUpdate() {
  if (updating_ || !watcher_) return;
  QueueChanges changes = watcher_->Take();
  if (std::exchange(rescanDue_, false)) changes = {{}, true};
  std::chrono::milliseconds took{0};
  if (changes.rescan || !changes.names.empty()) {
    updating_ = true;
    took = update_(changes);
    updating_ = false;
  }
  pacer_.UpdateRan(took);
  // Changes that came while a message box of the update waited, and a rescan
  // asked for by a watch made anew during it, are the next update's.
  if (rescanDue_ || (watcher_ && watcher_->Collect())) pacer_.ChangesArrived();
  Schedule();
}

void BadMailFollower::Schedule() {
  if (updating_) return;  // the update's end schedules the next
  if (const auto delay = pacer_.Delay()) timer_.start(static_cast<int>(delay->count()));
}

}  // namespace velmoth::qt
