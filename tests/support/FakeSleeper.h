#pragma once
// The sleeper of the tests: every fixed wait returns at once and is recorded; network
// deadlines are divided by TimeoutDivisor (at least MinTimeoutMs, never more than asked
// for), so an exchange with a loopback peer that stays silent ends in milliseconds.
// TFakeSleeperScope (TestSupport.h) installs one for a scope.

#include "platform/Sleeper.h"

#include <cstdint>
#include <mutex>
#include <vector>

namespace torvane::test {

class TFakeSleeper : public platform::ISleeper {
public:
    void Sleep(int ms) override;
    [[nodiscard]] int Timeout(int ms) override;

    [[nodiscard]] std::vector<int> Waits() const;
    [[nodiscard]] std::int64_t TotalMs() const;
    void Clear();

    int TimeoutDivisor = 40;
    int MinTimeoutMs = 50;

private:
    mutable std::mutex FLock;
    std::vector<int> FWaits;
};

} // namespace torvane::test
