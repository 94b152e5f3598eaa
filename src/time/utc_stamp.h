// The requeue time stamp: the current local time turned into whole seconds since
// 1970-01-01 00:00:00 UTC, by way of the calendar record and file time the
// platform converts between; and a date-time turned into an instant, read as UTC
// or as local time.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace velmoth {

// A calendar date with a time of day to whole seconds, without a zone.
struct DateTime {
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
  friend bool operator==(const DateTime&, const DateTime&) = default;
};

// The current instant as seconds since 1970-01-01 00:00:00 UTC; tests fix it.
using Clock = std::function<std::int64_t()>;
std::int64_t SystemClock();

// The date-time as text: year, month, day and hour without leading zeros,
// minute and second with two digits; midnight shows the date alone.
std::string DateTimeText(const DateTime& d);
// Reads DateTimeText back; throws std::invalid_argument for anything else.
DateTime ParseDateTimeText(const std::string& text);

// The UTC form of the local date-time `d` as text, with the UTC offset in force
// at the moment `clock` gives (not the one in force at `d`). On Windows that is
// the system's current bias, so the clock is not consulted. Throws
// std::invalid_argument for a date that names no moment between 1601 and 30827.
std::string LocalDateToUtcText(const DateTime& d, const Clock& clock = SystemClock);

// The local calendar date-time at `instant` (seconds since 1970-01-01 UTC), as the
// platform's time-zone rules place it. Throws when the platform cannot.
DateTime LocalDateTimeAt(std::int64_t instant);

// Seconds since 1970-01-01 00:00:00 UTC of the date-time read as if it were UTC.
std::int64_t CivilSeconds(const DateTime& d);

// The instant (seconds since 1970-01-01 UTC) whose local date-time is `local`:
// the offset in force near it, then the one in force at the instant that gives.
// In a clock change's gap or overlap that is one of the two instants around it.
// Throws when the platform's zone rules cannot place it, as LocalDateTimeAt does.
std::int64_t LocalInstant(const DateTime& local);

// The requeue time stamp for the moment `clock` gives, which is read once. Past
// 2038 it keeps counting: the true number of seconds, never a wrapped one.
std::int64_t SecondsSinceEpochUtc(const Clock& clock = SystemClock);

}  // namespace velmoth
