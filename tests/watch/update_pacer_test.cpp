// The pace of updates on a made-up clock, for a window that drives the pacer as
// the front ends do, fed a few kinds of bursts.
#include "watch/update_pacer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace velmoth {
namespace {

using std::chrono::milliseconds;

struct Update {
  milliseconds start;
  milliseconds end;
};

// Tells the pacer of changes when not busy updating, starts its single-shot
// timer with the pacer's delay, and updates, taking `took`, when it fires.
std::vector<Update> RunWindow(const std::vector<milliseconds>& changes, milliseconds took) {
  milliseconds now{0};
  UpdatePacer pacer([&] { return UpdatePacer::Clock::time_point(now); });
  std::vector<Update> updates;
  auto change = changes.begin();
  std::optional<milliseconds> due;
  while (change != changes.end() || due) {
    if (change != changes.end() && (!due || *change < *due)) {
      now = *change;
    } else {
      updates.push_back({*due, *due + took});
      now = *due + took;
      pacer.UpdateRan(took);
    }
    // What came meanwhile, during an update too, is one notification.
    if (change != changes.end() && *change <= now) pacer.ChangesArrived();
    while (change != changes.end() && *change <= now) ++change;
    const auto delay = pacer.Delay();
    due = delay ? std::optional(now + *delay) : std::nullopt;
  }
  return updates;
}

std::vector<milliseconds> Every(int step, int from, int until) {
  std::vector<milliseconds> times;
  for (int at = from; at < until; at += step) times.push_back(milliseconds(at));
  return times;
}

struct PacingCase {
  const char* name;
  std::vector<milliseconds> changes;
  int took;
  int longestWait;  // for any change, until an update starts after it
  std::size_t fewest, most, mostInASecond;
  double mostBusy;  // the share of time updating, from the first update's start to the last's
};

const PacingCase kPacingCases[] = {
    {"LoneChangeShowsSoon", Every(1, 0, 1), 5, 200, 1, 1, 1, 0},
    {"ShortBurstIsGatheredIntoOneUpdate", Every(1, 0, 80), 5, 200, 1, 1, 1, 0},
    {"SteadyStreamUpdatesAFewTimesASecond", Every(10, 0, 10'000), 5, 300, 30, 45, 4, 0.05},
    {"SlowUpdatesTakeAThirdOfTheTimeAtMost", Every(10, 0, 60'000), 2'000, 6'100, 8, 12, 1, 0.34},
    {"LoneChangeLongAfterASlowUpdateShowsSoon", Every(30'000, 0, 60'000), 3'000, 200, 2, 2, 1, 1},
    {"ChangesJustAfterASlowUpdateWaitForItsRest", Every(3'300, 0, 6'000), 3'000, 6'000, 2, 2, 1,
     0.34},
};

void PrintTo(const PacingCase& test, std::ostream* out) { *out << test.name; }

class UpdatePacerCase : public ::testing::TestWithParam<PacingCase> {};

TEST_P(UpdatePacerCase, PacesUpdates) {
  const PacingCase& test = GetParam();
  const std::vector<Update> updates = RunWindow(test.changes, milliseconds(test.took));
  ASSERT_GE(updates.size(), test.fewest);
  EXPECT_LE(updates.size(), test.most);
  for (const milliseconds change : test.changes) {
    const auto shown = std::find_if(updates.begin(), updates.end(),
                                    [&](const Update& update) { return update.start >= change; });
    ASSERT_NE(shown, updates.end()) << "a change at " << change.count() << " ms is never shown";
    EXPECT_LE((shown->start - change).count(), test.longestWait) << change.count();
  }
  milliseconds busy{0};
  for (auto update = updates.begin(); update != updates.end(); ++update) {
    const auto second = std::find_if(update, updates.end(), [&](const Update& later) {
      return later.start >= update->start + milliseconds(1000);
    });
    EXPECT_LE(static_cast<std::size_t>(second - update), test.mostInASecond);
    if (update + 1 != updates.end()) busy += update->end - update->start;
  }
  if (updates.size() > 1) {
    const milliseconds span = updates.back().start - updates.front().start;
    EXPECT_LE(static_cast<double>(busy.count()) / static_cast<double>(span.count()), test.mostBusy);
  }
}

INSTANTIATE_TEST_SUITE_P(Bursts, UpdatePacerCase, ::testing::ValuesIn(kPacingCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace velmoth
