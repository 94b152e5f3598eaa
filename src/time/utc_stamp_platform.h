// What each platform's utc_stamp source supplies besides LocalDateToUtcText: the
// local date-time of an instant, as that platform's time-zone functions see it.
#pragma once

#include <cstdint>

#include "time/utc_stamp.h"

namespace velmoth::detail {

// The local calendar date-time at `instant` (seconds since 1970-01-01 UTC).
// Throws when the platform cannot place the instant in its calendar.
DateTime LocalDateTimeAt(std::int64_t instant);

}  // namespace velmoth::detail
