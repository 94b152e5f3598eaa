// The pace of updates, on a made-up clock: a window driven by the pacer as the
// front ends drive it, fed the changes of a few kinds of bursts.
#include "watch/update_pacer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace velmoth {
namespace {

using std::chrono::milliseconds;
using Clock = UpdatePacer::Clock;

struct Update {
  milliseconds start;
  milliseconds end;
};

// A window that is told of each change when it is not busy updating, starts its
// single-shot timer with the pacer's delay, and updates when the timer fires.
class PacedWindow {
 public:
  explicit PacedWindow(milliseconds updateTakes)
      : updateTakes_(updateTakes), pacer_([this] { return Clock::time_point(now_); }) {}

  std::vector<Update> Run(const std::vector<milliseconds>& changes) {
    auto change = changes.begin();
    for (;;) {
      const bool changeFirst = change != changes.end() && (!due_ || *change < *due_);
      if (changeFirst) {
        now_ = *change;
        // Whatever came meanwhile is one notification.
        while (change != changes.end() && *change <= now_) ++change;
        pacer_.ChangesArrived();
        StartTimer();
      } else if (due_) {
        now_ = *due_;
        RunUpdate();
        // Changes that came during the update are seen once it is done.
        if (change != changes.end() && *change <= now_) {
          while (change != changes.end() && *change <= now_) ++change;
          pacer_.ChangesArrived();
        }
        StartTimer();
      } else {
        return updates_;
      }
    }
  }

 private:
  void StartTimer() {
    const auto delay = pacer_.Delay();
    due_ = delay ? std::optional(now_ + *delay) : std::nullopt;
  }
  void RunUpdate() {
    const milliseconds start = now_;
    now_ += updateTakes_;
    updates_.push_back({start, now_});
    pacer_.UpdateRan(updateTakes_);
  }

  milliseconds updateTakes_;
  milliseconds now_{0};
  std::optional<milliseconds> due_;
  UpdatePacer pacer_;
  std::vector<Update> updates_;
};

std::vector<milliseconds> Every(milliseconds step, milliseconds from, milliseconds until) {
  std::vector<milliseconds> times;
  for (milliseconds at = from; at < until; at += step) times.push_back(at);
  return times;
}

std::vector<milliseconds> Join(std::vector<milliseconds> a, const std::vector<milliseconds>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// The most updates starting within any one second.
std::size_t MostInASecond(const std::vector<Update>& updates) {
  std::size_t most = 0;
  for (auto first = updates.begin(); first != updates.end(); ++first) {
    const auto last = std::find_if(first, updates.end(), [&](const Update& update) {
      return update.start >= first->start + milliseconds(1000);
    });
    most = std::max(most, static_cast<std::size_t>(last - first));
  }
  return most;
}

// The share of the time from the first update's start to the last one's spent
// updating: the window's own time lies in the rests between.
double BusyShare(const std::vector<Update>& updates) {
  if (updates.size() < 2) return 0;
  milliseconds busy{0};
  for (auto update = updates.begin(); update + 1 != updates.end(); ++update) {
    busy += update->end - update->start;
  }
  return static_cast<double>(busy.count()) /
         static_cast<double>((updates.back().start - updates.front().start).count());
}

// The longest any change waits for an update to start after it.
milliseconds LongestWait(const std::vector<milliseconds>& changes,
                         const std::vector<Update>& updates) {
  milliseconds longest{0};
  for (const milliseconds change : changes) {
    const auto shown = std::find_if(updates.begin(), updates.end(),
                                    [&](const Update& update) { return update.start >= change; });
    if (shown == updates.end()) return milliseconds::max();
    longest = std::max(longest, shown->start - change);
  }
  return longest;
}

struct PacingCase {
  const char* name;
  std::vector<milliseconds> changes;
  milliseconds updateTakes;
  milliseconds longestWait;
  std::size_t fewestUpdates;
  std::size_t mostUpdates;
  std::size_t mostInASecond;
  double mostBusyShare;
};

const PacingCase kPacingCases[] = {
    {"LoneChangeShowsSoon", {milliseconds(0)}, milliseconds(5), milliseconds(200), 1, 1, 1, 0},
    {"ShortBurstIsGatheredIntoOneUpdate", Every(milliseconds(1), milliseconds(0), milliseconds(80)),
     milliseconds(5), milliseconds(200), 1, 1, 1, 0},
    {"SteadyStreamUpdatesAFewTimesASecond",
     Every(milliseconds(10), milliseconds(0), milliseconds(10'000)), milliseconds(5),
     milliseconds(300), 30, 45, 4, 0.05},
    {"SlowUpdatesTakeAThirdOfTheTimeAtMost",
     Every(milliseconds(10), milliseconds(0), milliseconds(60'000)), milliseconds(2'000),
     milliseconds(6'100), 8, 12, 1, 0.34},
    {"LoneChangeLongAfterASlowUpdateShowsSoon",
     {milliseconds(0), milliseconds(30'000)},
     milliseconds(3'000),
     milliseconds(200),
     2,
     2,
     1,
     0.34},
    {"ChangesJustAfterASlowUpdateWaitForItsRest",
     Join({milliseconds(0)}, Every(milliseconds(500), milliseconds(3'200), milliseconds(4'000))),
     milliseconds(3'000), milliseconds(6'000), 2, 2, 1, 0.34},
};

void PrintTo(const PacingCase& test, std::ostream* out) { *out << test.name; }

class UpdatePacerCase : public ::testing::TestWithParam<PacingCase> {};

TEST_P(UpdatePacerCase, PacesUpdates) {
  const PacingCase& test = GetParam();
  PacedWindow window(test.updateTakes);
  const std::vector<Update> updates = window.Run(test.changes);
  ASSERT_GE(updates.size(), test.fewestUpdates);
  EXPECT_LE(updates.size(), test.mostUpdates);
  EXPECT_LE(LongestWait(test.changes, updates), test.longestWait);
  EXPECT_LE(MostInASecond(updates), test.mostInASecond);
  EXPECT_LE(BusyShare(updates), test.mostBusyShare);
}

INSTANTIATE_TEST_SUITE_P(Bursts, UpdatePacerCase, ::testing::ValuesIn(kPacingCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velmoth
