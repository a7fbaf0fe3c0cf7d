#include "platform/Sleeper.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

namespace torvane::platform {

namespace {
TRealSleeper GRealSleeper;
std::atomic<ISleeper*> GSleeper{nullptr};
} // namespace

ISleeper& Sleeper() {
    ISleeper* s = GSleeper.load();
    return s != nullptr ? *s : GRealSleeper;
}

void SetSleeper(ISleeper* sleeper) {
    GSleeper.store(sleeper);
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
