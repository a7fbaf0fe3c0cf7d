#pragma once
// The one injectable clock for fixed waits (reboot waits, polls, protocol pauses) and for
// the network deadlines. The program waits for real; tests install a sleeper that returns
// at once and shortens deadlines, so they run in milliseconds.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

namespace torvane::platform {

class ISleeper {
public:
    virtual ~ISleeper() = default;
    // A fixed wait of ms milliseconds.
    virtual void Sleep(int ms) = 0;
    // The deadline to use for a network wait of ms milliseconds.
    [[nodiscard]] virtual int Timeout(int ms) { return ms; }
};

[[nodiscard]] ISleeper& Sleeper();
// Installs a sleeper (not owned). nullptr restores the real one.
void SetSleeper(ISleeper* sleeper);

// Shorthands for Sleeper().Sleep and Sleeper().Timeout.
void SleepMs(int ms);
[[nodiscard]] int TimeoutMs(int ms);

class TRealSleeper : public ISleeper {
public:
    void Sleep(int ms) override;
};

// Waits and deadlines multiplied by a factor (0 < factor <= 1), with a floor for deadlines
// so that loopback exchanges still fit. Used by the command line when a test asks for
// shortened waits.
class TScaledSleeper : public ISleeper {
public:
    explicit TScaledSleeper(double factor, int minTimeoutMs = 200)
        : FFactor(factor), FMinTimeout(minTimeoutMs) {}
    void Sleep(int ms) override;
    [[nodiscard]] int Timeout(int ms) override;

private:
    double FFactor;
    int FMinTimeout;
};

// Returns at once and records every wait; deadlines are divided by TimeoutDivisor (at
// least MinTimeoutMs).
class TFakeSleeper : public ISleeper {
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

} // namespace torvane::platform
