// The platform-neutral half of the requeue time stamp: the date-time text, the
// calendar-record field copies, the stamp's read-back of the UTC text, and the
// date-time to instant arithmetic built on the platform's local-time reading.
#include <chrono>
#include <limits>
#include <stdexcept>
#include <string_view>

#include "time/civil_days.h"
#include "time/system_time.h"

namespace velmoth {
namespace {

constexpr std::int64_t kSecondsPerDay = 86400;

[[noreturn]] void Unreadable(std::string_view text) {
  throw std::invalid_argument("not a date-time: \"" + std::string(text) + "\"");
}

WORD ToWord(int value, const char* field) {
  if (value < 0 || value > std::numeric_limits<WORD>::max()) {
    throw std::invalid_argument(std::string(field) +
                                " out of range for a calendar record: " + std::to_string(value));
  }
  return static_cast<WORD>(value);
}

// Reads a run of between minDigits and maxDigits decimal digits at `pos` and
// moves past it.
bool ReadNumber(std::string_view text, std::size_t& pos, std::size_t minDigits,
                std::size_t maxDigits, int& value) {
  std::size_t end = pos;
  while (end < text.size() && end - pos < maxDigits && text[end] >= '0' && text[end] <= '9') {
    ++end;
  }
  if (end - pos < minDigits) return false;
  value = 0;
  for (; pos < end; ++pos) value = value * 10 + (text[pos] - '0');
  return true;
}

bool ReadChar(std::string_view text, std::size_t& pos, char expected) {
  if (pos >= text.size() || text[pos] != expected) return false;
  ++pos;
  return true;
}

void AppendTwoDigits(std::string& out, int value) {
  out += static_cast<char>('0' + value / 10);
  out += static_cast<char>('0' + value % 10);
}

}  // namespace

std::int64_t SystemClock() {
  const auto now = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
  return now.time_since_epoch().count();
}

void DateToSystemTime(const DateTime& d, SYSTEMTIME& st) {
  st.wYear = ToWord(d.year, "year");
  st.wMonth = ToWord(d.month, "month");
  st.wDay = ToWord(d.day, "day");
  st.wHour = ToWord(d.hour, "hour");
  st.wMinute = ToWord(d.minute, "minute");
  st.wSecond = ToWord(d.second, "second");
}

DateTime SystemTimeToDate(const SYSTEMTIME& st) {
  // Always the full form, even at midnight: the reader takes both.
  std::string text = std::to_string(st.wYear) + '-' + std::to_string(st.wMonth) + '-' +
                     std::to_string(st.wDay) + ' ' + std::to_string(st.wHour) + ':';
  if (st.wMinute < 10) text += '0';
  text += std::to_string(st.wMinute) + ':';
  if (st.wSecond < 10) text += '0';
  text += std::to_string(st.wSecond);
  return ParseDateTimeText(text);
}

std::string DateTimeText(const DateTime& d) {
  std::string text =
      std::to_string(d.year) + '-' + std::to_string(d.month) + '-' + std::to_string(d.day);
  if (d.hour == 0 && d.minute == 0 && d.second == 0) return text;
  text += ' ' + std::to_string(d.hour) + ':';
  AppendTwoDigits(text, d.minute);
  text += ':';
  AppendTwoDigits(text, d.second);
  return text;
}

DateTime ParseDateTimeText(const std::string& text) {
  DateTime d;
  std::size_t pos = 0;
  if (!ReadNumber(text, pos, 1, 4, d.year) || !ReadChar(text, pos, '-') ||
      !ReadNumber(text, pos, 1, 2, d.month) || !ReadChar(text, pos, '-') ||
      !ReadNumber(text, pos, 1, 2, d.day)) {
    Unreadable(text);
  }
  if (pos < text.size()) {
    if (!ReadChar(text, pos, ' ') || !ReadNumber(text, pos, 1, 2, d.hour) ||
        !ReadChar(text, pos, ':') || !ReadNumber(text, pos, 2, 2, d.minute) ||
        !ReadChar(text, pos, ':') || !ReadNumber(text, pos, 2, 2, d.second) || pos != text.size()) {
      Unreadable(text);
    }
  }
  if (d.year < 1 || d.month < 1 || d.month > 12 || d.day < 1 ||
      d.day > civil::DaysInMonth(d.year, d.month) || d.hour > 23 || d.minute > 59 ||
      d.second > 59) {
    Unreadable(text);
  }
  return d;
}

std::int64_t CivilSeconds(const DateTime& d) {
  return civil::DaysFromCivil(d.year, d.month, d.day) * kSecondsPerDay + d.hour * 3600 +
         d.minute * 60 + d.second;
}

std::int64_t LocalInstant(const DateTime& local) {
  const std::int64_t wall = CivilSeconds(local);
  const auto offsetAt = [](std::int64_t instant) {
    return CivilSeconds(LocalDateTimeAt(instant)) - instant;
  };
  return wall - offsetAt(wall - offsetAt(wall));
}

std::int64_t SecondsSinceEpochUtc(const Clock& clock) {
  // One reading of the clock serves both the local "now" and the offset used to
  // turn it back into UTC, so a daylight-saving change cannot fall in between.
  const std::int64_t instant = clock();
  const DateTime now = LocalDateTimeAt(instant);
  const DateTime utc = ParseDateTimeText(LocalDateToUtcText(now, [instant] { return instant; }));
  return CivilSeconds(utc);
}

}  // namespace velmoth
