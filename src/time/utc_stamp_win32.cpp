// Local date-time to UTC on Windows: the system's own calendar-record and
// file-time conversions, with the system's current time-zone bias.
#include <windows.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <system_error>

#include "time/system_time.h"

namespace velmoth {
namespace {

[[noreturn]] void ThrowLastError(const char* what) {
  throw std::system_error(static_cast<int>(GetLastError()), std::system_category(), what);
}

}  // namespace

DateTime LocalDateTimeAt(std::int64_t instant) {
  if (instant < -kSecondsFrom1601To1970 ||
      instant > (INT64_MAX / kTicksPerSecond) - kSecondsFrom1601To1970) {
    throw std::out_of_range("instant outside the file-time range: " + std::to_string(instant));
  }
  const auto ticks =
      static_cast<std::uint64_t>((instant + kSecondsFrom1601To1970) * kTicksPerSecond);
  const FILETIME utcFile{static_cast<DWORD>(ticks & 0xFFFFFFFFu), static_cast<DWORD>(ticks >> 32)};
  SYSTEMTIME utc{};
  if (!FileTimeToSystemTime(&utcFile, &utc)) ThrowLastError("FileTimeToSystemTime");
  // The zone's rules for that instant, daylight saving included.
  SYSTEMTIME local{};
  if (!SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) {
    ThrowLastError("SystemTimeToTzSpecificLocalTime");
  }
  return {local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute, local.wSecond};
}

// LocalFileTimeToFileTime applies the bias in force now on this machine, which
// is what the clock gives outside tests, so the clock itself is not consulted.
std::string LocalDateToUtcText(const DateTime& d, const Clock&) {
  SYSTEMTIME st{};
  DateToSystemTime(d, st);
  FILETIME local{};
  if (!SystemTimeToFileTime(&st, &local)) {
    throw std::invalid_argument("no file time for local date " + DateTimeText(d));
  }
  FILETIME utc{};
  if (!LocalFileTimeToFileTime(&local, &utc)) ThrowLastError("LocalFileTimeToFileTime");
  if (!FileTimeToSystemTime(&utc, &st)) ThrowLastError("FileTimeToSystemTime");
  return DateTimeText(SystemTimeToDate(st));
}

}  // namespace velmoth
