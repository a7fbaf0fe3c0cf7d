#include "support/FakeSleeper.h"

#include <algorithm>
#include <numeric>

namespace torvane::test {

void TFakeSleeper::Sleep(int ms) {
    std::lock_guard<std::mutex> g(FLock);
    FWaits.push_back(ms);
}

int TFakeSleeper::Timeout(int ms) {
    return std::min(ms, std::max(MinTimeoutMs, ms / std::max(1, TimeoutDivisor)));
}

std::vector<int> TFakeSleeper::Waits() const {
    std::lock_guard<std::mutex> g(FLock);
    return FWaits;
}

std::int64_t TFakeSleeper::TotalMs() const {
    std::lock_guard<std::mutex> g(FLock);
    return std::accumulate(FWaits.begin(), FWaits.end(), std::int64_t{0});
}

void TFakeSleeper::Clear() {
    std::lock_guard<std::mutex> g(FLock);
    FWaits.clear();
}

} // namespace torvane::test
