// The requeue stamp and the local-to-UTC text under fixed TZ settings, with the
// clock pinned to chosen instants.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <cstdint>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>

#include "time/utc_stamp.h"

namespace velmoth {
namespace {

constexpr const char* kPlusOne = "<+01>-1";
constexpr const char* kUtc = "UTC0";
constexpr const char* kCentralEurope = "CET-1CEST,M3.5.0,M10.5.0/3";
constexpr const char* kEasternAustralia = "AEST-10AEDT,M10.1.0,M4.1.0/3";

// Sets TZ for the lifetime of the object and puts the old value back after.
class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* tz) {
    if (const char* old = getenv("TZ")) old_ = old;
    setenv("TZ", tz, 1);
    tzset();
  }
  ~ScopedTimeZone() {
    if (old_) {
      setenv("TZ", old_->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }

 private:
  std::optional<std::string> old_;
};

Clock At(std::int64_t instant) {
  return [instant] { return instant; };
}

struct UtcTextCase {
  const char* tz;
  DateTime local;
  std::int64_t now;
  const char* utc;
};

void PrintTo(const UtcTextCase& c, std::ostream* os) {
  *os << c.tz << " " << DateTimeText(c.local) << " at " << c.now;
}

class LocalDateToUtc : public testing::TestWithParam<UtcTextCase> {};

TEST_P(LocalDateToUtc, UsesTheOffsetInForceNow) {
  const UtcTextCase& c = GetParam();
  ScopedTimeZone zone(c.tz);
  EXPECT_EQ(LocalDateToUtcText(c.local, At(c.now)), c.utc);
}

INSTANTIATE_TEST_SUITE_P(
    Zones, LocalDateToUtc,
    testing::Values(
        UtcTextCase{kPlusOne, {2002, 12, 7, 7, 39, 5}, 1039243145, "2002-12-7 6:39:05"},
        UtcTextCase{kUtc, {2002, 12, 7, 0, 0, 0}, 1039219200, "2002-12-7"},
        UtcTextCase{kPlusOne, {2003, 1, 2, 4, 4, 5}, 1041476645, "2003-1-2 3:04:05"},
        UtcTextCase{kPlusOne, {2003, 1, 1, 0, 30, 0}, 1041476645, "2002-12-31 23:30:00"},
        UtcTextCase{"<-05>5", {2004, 2, 28, 22, 0, 0}, 1078023600, "2004-2-29 3:00:00"},
        UtcTextCase{"<+0530>-5:30", {2020, 3, 1, 5, 0, 0}, 1583019000, "2020-2-29 23:30:00"},
        // Winter date while summer time is in force, and the other way round.
        UtcTextCase{kCentralEurope, {2021, 1, 15, 12, 0, 0}, 1625140800, "2021-1-15 10:00:00"},
        UtcTextCase{kCentralEurope, {2021, 7, 1, 12, 0, 0}, 1610712000, "2021-7-1 11:00:00"},
        UtcTextCase{kEasternAustralia, {2021, 7, 1, 12, 0, 0}, 1610712000, "2021-7-1 1:00:00"}));

TEST(LocalDateToUtcText, RejectsDatesWithoutAFileTime) {
  ScopedTimeZone zone(kPlusOne);
  for (const DateTime& bad : {DateTime{}, DateTime{2002, 2, 30, 12, 0, 0},
                              DateTime{1600, 12, 31, 12, 0, 0}, DateTime{2002, 12, 7, 24, 0, 0}}) {
    EXPECT_THROW(LocalDateToUtcText(bad, At(1039243145)), std::invalid_argument)
        << DateTimeText(bad);
  }
}

struct StampCase {
  const char* tz;
  std::int64_t now;
};

void PrintTo(const StampCase& c, std::ostream* os) { *os << c.tz << " at " << c.now; }

class RequeueStamp : public testing::TestWithParam<StampCase> {};

TEST_P(RequeueStamp, IsTheClocksInstant) {
  const StampCase& c = GetParam();
  ScopedTimeZone zone(c.tz);
  EXPECT_EQ(SecondsSinceEpochUtc(At(c.now)), c.now);
}

INSTANTIATE_TEST_SUITE_P(
    Instants, RequeueStamp,
    testing::Values(StampCase{kPlusOne, 1039243145}, StampCase{kUtc, 1039219200},
                    StampCase{kUtc, 1041476645}, StampCase{kUtc, 0},
                    // Spring forward at 01:00 UTC, fall back at 01:00 UTC; the
                    // last two both read 02:30 on the local clock.
                    StampCase{kCentralEurope, 1616893199}, StampCase{kCentralEurope, 1616893200},
                    StampCase{kCentralEurope, 1635641999}, StampCase{kCentralEurope, 1635642000},
                    StampCase{kCentralEurope, 1635640200}, StampCase{kCentralEurope, 1635643800},
                    StampCase{kEasternAustralia, 1625140800},
                    // Past the signed and unsigned 32-bit limits.
                    StampCase{kCentralEurope, 2147483647}, StampCase{kCentralEurope, 2147483648},
                    StampCase{kCentralEurope, 2222121600}, StampCase{kPlusOne, 4294967295},
                    StampCase{kPlusOne, 4294967296}, StampCase{kCentralEurope, 4294967297},
                    StampCase{kCentralEurope, 253402300799}));

TEST(RequeueStamp, MidnightUtcIsAWholeDay) {
  ScopedTimeZone zone(kUtc);
  EXPECT_EQ(LocalDateToUtcText({2002, 12, 7, 0, 0, 0}, At(1039219200)), "2002-12-7");
  EXPECT_EQ(SecondsSinceEpochUtc(At(1039219200)) % 86400, 0);
}

TEST(RequeueStamp, FollowsTheSystemClock) {
  const std::int64_t before = SystemClock();
  const std::int64_t stamp = SecondsSinceEpochUtc();
  EXPECT_GE(stamp, before);
  EXPECT_LE(stamp, SystemClock());
}

}  // namespace
}  // namespace velmoth
