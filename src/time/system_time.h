// The Windows calendar record and file time through which the requeue time stamp
// is made: the platform's own types on Windows, look-alikes elsewhere, and the
// copies between a record and a date-time. Only the time sources and their tests
// include this; it brings <windows.h> with it on Windows.
#pragma once

#include <cstdint>

#ifdef _WIN32
#include <windows.h>
#endif

#include "base/file_time.h"
#include "time/utc_stamp.h"

namespace velmoth {

#ifndef _WIN32
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
struct SYSTEMTIME {
  WORD wYear;
  WORD wMonth;
  WORD wDayOfWeek;
  WORD wDay;
  WORD wHour;
  WORD wMinute;
  WORD wSecond;
  WORD wMilliseconds;
};
struct FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
};
#endif

// Copies year, month, day, hour, minute and second into the record and leaves
// wDayOfWeek and wMilliseconds as they were. Throws std::invalid_argument for a
// field that does not fit a WORD.
void DateToSystemTime(const DateTime& d, SYSTEMTIME& st);
// By way of the text "2002-12-7 6:39:05"; throws std::invalid_argument when that
// text does not read back as a date-time.
DateTime SystemTimeToDate(const SYSTEMTIME& st);

}  // namespace velmoth
