#pragma once
// The local date and time, to the millisecond, as the system's time zone gives it.

#include <ctime>

namespace torvane::platform {

struct TLocalTime {
    int Year = 0;
    int Month = 0; // 1..12
    int Day = 0;
    int Hour = 0; // 0..23
    int Minute = 0;
    int Second = 0;
    int Millisecond = 0;
};

[[nodiscard]] TLocalTime CurrentLocalTime();

// The broken-down local time of a moment (localtime_r); false when the system cannot give
// it (out).
[[nodiscard]] bool LocalTimeOf(std::time_t moment, std::tm& out);

} // namespace torvane::platform
