// The time stamp under the zone the system gives the process. CTest runs this
// once per zone, with TZ (which Wine maps to the Windows zone) and the zone's
// offset east of UTC in VELMOTH_TEST_UTC_OFFSET.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "time/utc_stamp.h"

namespace velmoth {
namespace {

TEST(UtcStampZone, LocalTimeBecomesUtcWithTheZonesOffset) {
  const char* offset = std::getenv("VELMOTH_TEST_UTC_OFFSET");
  if (offset == nullptr) GTEST_SKIP() << "run by CTest once per zone";
  // 2002-12-07 06:39:05 UTC as the local time of each zone.
  const struct {
    int offset;
    DateTime local;
  } zones[] = {{3600, {2002, 12, 7, 7, 39, 5}}, {-19800, {2002, 12, 7, 1, 9, 5}}};
  bool known = false;
  for (const auto& zone : zones) {
    if (zone.offset != std::stoi(offset)) continue;
    known = true;
    EXPECT_EQ(LocalDateToUtcText(zone.local), "2002-12-7 6:39:05");
  }
  EXPECT_TRUE(known) << offset;
  for (const std::int64_t instant : {1039243145LL, 1039219200LL, 2147483648LL, 4294967296LL}) {
    EXPECT_EQ(SecondsSinceEpochUtc([instant] { return instant; }), instant);
  }
}

}  // namespace
}  // namespace velmoth
