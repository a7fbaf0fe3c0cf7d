#include "platform/Sleeper.h"

#include "platform/Context.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace torvane::platform {

ISleeper& Sleeper() {
    return Context().Sleeper();
}

void SetSleeper(ISleeper* sleeper) {
    Context().SetSleeper(sleeper);
}

void SleepMs(int ms) {
    Sleeper().Sleep(ms);
}

int TimeoutMs(int ms) {
    return Sleeper().Timeout(ms);
}

void TRealSleeper::Sleep(int ms) {
    if (ms > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    }
}

void TScaledSleeper::Sleep(int ms) {
    const auto scaled = static_cast<int>(ms * FFactor);
    if (scaled > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(scaled));
    }
}

int TScaledSleeper::Timeout(int ms) {
    return std::min(ms, std::max(FMinTimeout, static_cast<int>(ms * FFactor)));
}

} // namespace torvane::platform
