// Date bounds in a zone with daylight saving: each is read with the offset in
// force on its own day, not today's.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include "queue/message_filter.h"
#include "support/saved_env.h"

namespace velmoth {
namespace {

using std::chrono::hours;
using std::chrono::minutes;
using std::chrono::sys_days;

TEST(ParseDateBoundPosix, ReadsLocalTimeWithTheOffsetOfItsOwnDay) {
  struct ReadAgain {
    ~ReadAgain() { ::tzset(); }  // the zone put back below, once it is
  } readAgain;
  const testing::SavedEnv saved("TZ");
  ::setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
  ::tzset();
  const struct {
    const char* typed;
    FileDate utc;
  } cases[] = {
      {"2026-12-07 08:15", sys_days{std::chrono::December / 7 / 2026} + hours(7) + minutes(15)},
      {"2026-07-01", sys_days{std::chrono::June / 30 / 2026} + hours(22)},
      {"2026-03-29 03:00", sys_days{std::chrono::March / 29 / 2026} + hours(1)},  // just after
  };
  for (const auto& c : cases) EXPECT_EQ(ParseDateBound(c.typed), c.utc) << c.typed;
}

}  // namespace
}  // namespace velmoth
