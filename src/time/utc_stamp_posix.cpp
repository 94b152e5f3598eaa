// Local date-time to UTC on POSIX: the calendar-record and file-time conversions
// done as 64-bit arithmetic, with the UTC offset taken from localtime_r.
#include <time.h>

#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>

#include "time/civil_days.h"
#include "time/system_time.h"

namespace velmoth {
namespace {

// File times count 100-nanosecond ticks from 1601-01-01 00:00:00.
constexpr std::int64_t kTicksPerMillisecond = 10'000;
constexpr std::int64_t kSecondsPerDay = 86400;
constexpr std::int64_t kDaysFrom1601To1970 = -civil::DaysFromCivil(1601, 1, 1);
static_assert(kDaysFrom1601To1970 == 134774);

// The calendar range a file time can be made from, as on Windows.
constexpr int kFirstYear = 1601;
constexpr int kLastYear = 30827;

std::uint64_t Ticks(const FILETIME& ft) {
  return (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

FILETIME FromTicks(std::uint64_t ticks) {
  return {static_cast<DWORD>(ticks & 0xFFFFFFFFu), static_cast<DWORD>(ticks >> 32)};
}

// Fails for a record that names no real moment (month 13, February 30th, ...)
// or lies outside 1601-30827; the day of the week is not looked at.
bool SystemTimeToFileTime(const SYSTEMTIME& st, FILETIME& ft) {
  if (st.wYear < kFirstYear || st.wYear > kLastYear || st.wMonth < 1 || st.wMonth > 12 ||
      st.wDay < 1 || st.wDay > civil::DaysInMonth(st.wYear, st.wMonth) || st.wHour > 23 ||
      st.wMinute > 59 || st.wSecond > 59 || st.wMilliseconds > 999) {
    return false;
  }
  const std::int64_t days =
      civil::DaysFromCivil(st.wYear, st.wMonth, st.wDay) + kDaysFrom1601To1970;
  const std::int64_t seconds =
      days * kSecondsPerDay + st.wHour * 3600 + st.wMinute * 60 + st.wSecond;
  ft = FromTicks(static_cast<std::uint64_t>(seconds * kTicksPerSecond +
                                            st.wMilliseconds * kTicksPerMillisecond));
  return true;
}

// The broken-down local time at `instant`, from the zone the environment sets.
tm LocalTm(std::int64_t instant) {
  if (instant < std::numeric_limits<time_t>::min() ||
      instant > std::numeric_limits<time_t>::max()) {
    throw std::out_of_range("instant beyond this system's time_t: " + std::to_string(instant));
  }
  const time_t t = static_cast<time_t>(instant);
  tm local{};
  if (localtime_r(&t, &local) == nullptr) {
    throw std::out_of_range("no local time for instant " + std::to_string(instant));
  }
  return local;
}

// Treats `local` as local time and gives the UTC file time, using the offset
// in force at `now` (not the one in force at `local`).
bool LocalFileTimeToFileTime(const FILETIME& local, FILETIME& utc, std::int64_t now) {
  const std::int64_t ticks = static_cast<std::int64_t>(Ticks(local));
  const std::int64_t shifted = ticks - LocalTm(now).tm_gmtoff * kTicksPerSecond;
  if (ticks < 0 || shifted < 0) return false;
  utc = FromTicks(static_cast<std::uint64_t>(shifted));
  return true;
}

// Fails for file times past the signed 64-bit range, as on Windows.
bool FileTimeToSystemTime(const FILETIME& ft, SYSTEMTIME& st) {
  const std::uint64_t ticks = Ticks(ft);
  if (ticks > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) return false;
  const auto seconds = static_cast<std::int64_t>(ticks / kTicksPerSecond);
  const std::int64_t days = seconds / kSecondsPerDay - kDaysFrom1601To1970;
  const std::int64_t secondOfDay = seconds % kSecondsPerDay;
  const civil::YearMonthDay date = civil::CivilFromDays(days);
  st.wYear = static_cast<WORD>(date.year);
  st.wMonth = static_cast<WORD>(date.month);
  st.wDayOfWeek = static_cast<WORD>(civil::DayOfWeek(days));
  st.wDay = static_cast<WORD>(date.day);
  st.wHour = static_cast<WORD>(secondOfDay / 3600);
  st.wMinute = static_cast<WORD>(secondOfDay / 60 % 60);
  st.wSecond = static_cast<WORD>(secondOfDay % 60);
  st.wMilliseconds = static_cast<WORD>(ticks % kTicksPerSecond / kTicksPerMillisecond);
  return true;
}

}  // namespace

DateTime LocalDateTimeAt(std::int64_t instant) {
  const tm local = LocalTm(instant);
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
          local.tm_hour,        local.tm_min,     local.tm_sec};
}

std::string LocalDateToUtcText(const DateTime& d, const Clock& clock) {
  SYSTEMTIME st{};
  DateToSystemTime(d, st);
  FILETIME local{};
  if (!SystemTimeToFileTime(st, local)) {
    throw std::invalid_argument("no file time for local date " + DateTimeText(d));
  }
  FILETIME utc{};
  if (!LocalFileTimeToFileTime(local, utc, clock())) {
    throw std::out_of_range("local date " + DateTimeText(d) + " falls before 1601 in UTC");
  }
  if (!FileTimeToSystemTime(utc, st)) {
    throw std::out_of_range("no calendar record for the UTC time of " + DateTimeText(d));
  }
  return DateTimeText(SystemTimeToDate(st));
}

}  // namespace velmoth
