#pragma once
// The one injectable clock for fixed waits (reboot waits, polls, protocol pauses) and for
// the network deadlines. The program waits for real; tests install a sleeper that returns
// at once and shortens deadlines (tests/support/FakeSleeper.h), so they run in
// milliseconds.

namespace torvane::platform {

class ISleeper {
public:
    virtual ~ISleeper() = default;
    // A fixed wait of ms milliseconds.
    virtual void Sleep(int ms) = 0;
    // The deadline to use for a network wait of ms milliseconds.
    [[nodiscard]] virtual int Timeout(int ms) { return ms; }
};

// The current context's sleeper (platform/Context.h).
[[nodiscard]] ISleeper& Sleeper();
// Installs a sleeper in the current context (not owned). nullptr restores the real one.
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

} // namespace torvane::platform
