// When the window may next bring its list up to date after the Bad Mail
// directory changed: soon after a lone change, having gathered the rest of its
// burst; a few times a second at most while the server keeps parking; and after
// a slow update, such as a rescan of a very full directory, only after a rest
// twice its length, so that updating takes at most a third of the window's time.
//
// A window drives it with the queue watcher and a single-shot timer:
//   the watcher's wait handle fires: if (watcher.Collect()) pacer.ChangesArrived(),
//     then the timer is started anew with pacer.Delay();
//   the timer fires: the update takes watcher.Take() and brings the list up to
//     date, then pacer.UpdateRan(the time it took).
#pragma once

#include <chrono>
#include <functional>
#include <optional>

namespace velmoth {

class UpdatePacer {
 public:
  using Clock = std::chrono::steady_clock;
  using Milliseconds = std::chrono::milliseconds;

  // How long after a change the update waits for the rest of its burst.
  static constexpr Milliseconds kGather{100};
  // The least time from one update's start to the next's.
  static constexpr Milliseconds kLeastInterval{250};
  // The rest after an update, in multiples of the time it took.
  static constexpr int kRestPerUpdateTime = 2;

  explicit UpdatePacer(std::function<Clock::time_point()> now = Clock::now);

  // The watcher has changes to take.
  void ChangesArrived();
  // An update ran, ending now, and took `took`; it took every change there was.
  void UpdateRan(Milliseconds took);

  // How long from now until the next update may run; none while no change waits.
  // The window starts its single-shot timer with it after telling either of the above.
  std::optional<Milliseconds> Delay() const;

 private:
  std::function<Clock::time_point()> now_;
  std::optional<Clock::time_point> firstChange_;  // of those waiting for an update
  Clock::time_point rested_{};                    // when the last update's rest is over
};

}  // namespace velmoth
