#include "platform/LocalTime.h"

#include <chrono>
#include <ctime>

namespace torvane::platform {

TLocalTime CurrentLocalTime() {
    const auto now = std::chrono::system_clock::now();
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()) % 1000;
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm parts{};
    (void)::localtime_r(&seconds, &parts);
    TLocalTime t;
    t.Year = parts.tm_year + 1900;
    t.Month = parts.tm_mon + 1;
    t.Day = parts.tm_mday;
    t.Hour = parts.tm_hour;
    t.Minute = parts.tm_min;
    t.Second = parts.tm_sec;
    t.Millisecond = static_cast<int>(ms.count());
    return t;
}

bool LocalTimeOf(std::time_t moment, std::tm& out) {
    return ::localtime_r(&moment, &out) != nullptr;
}

} // namespace torvane::platform
