#include "watch/update_pacer.h"

#include <algorithm>
#include <utility>

namespace velmoth {

UpdatePacer::UpdatePacer(std::function<Clock::time_point()> now) : now_(std::move(now)) {}

void UpdatePacer::ChangesArrived() {
  if (!firstChange_) firstChange_ = now_();
}

void UpdatePacer::UpdateRan(Milliseconds took) {
  took = std::max(took, Milliseconds::zero());
  const Clock::time_point end = now_();
  rested_ = std::max(end - took + kLeastInterval, end + kRestPerUpdateTime * took);
  firstChange_.reset();
}

std::optional<UpdatePacer::Milliseconds> UpdatePacer::Delay() const {
  if (!firstChange_) return std::nullopt;
  const Clock::time_point due = std::max(*firstChange_ + kGather, rested_);
  // Rounded up, so that a timer never fires before the time.
  return std::max(std::chrono::ceil<Milliseconds>(due - now_()), Milliseconds::zero());
}

}  // namespace velmoth
