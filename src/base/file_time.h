// Time as files carry it: the date of a file to the second, and the constants of
// the Windows file time, which counts 100-nanosecond ticks from 1601-01-01 UTC.
#pragma once

#include <chrono>
#include <cstdint>

namespace velmoth {

using FileDate = std::chrono::sys_seconds;

inline constexpr std::int64_t kTicksPerSecond = 10'000'000;
inline constexpr std::int64_t kSecondsFrom1601To1970 = 11'644'473'600;

}  // namespace velmoth
