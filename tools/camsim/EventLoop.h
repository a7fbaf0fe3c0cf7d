#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <vector>

namespace camsim {

// The one poll() loop that runs every camera and the firmware server on a single thread:
// file descriptors with handlers, one-shot timers and deferred calls. Handlers may watch,
// unwatch, add and cancel timers freely, also for themselves.
class TEventLoop {
public:
    using TFdHandler = std::function<void(short revents)>;
    using TTimerId = std::uint64_t;
    using TClock = std::chrono::steady_clock;

    void Watch(int fd, short events, TFdHandler handler);
    void SetEvents(int fd, short events);
    void Unwatch(int fd);

    TTimerId After(std::chrono::milliseconds delay, std::function<void()> action);
    void Cancel(TTimerId id);
    // Runs the action at the start of the next round, outside every handler.
    void Defer(std::function<void()> action);

    // Runs until Stop; throws only what a handler throws.
    void Run();
    void Stop() { FStopped = true; }

private:
    struct TWatch {
        short Events = 0;
        std::uint64_t Generation = 0;
        TFdHandler Handler;
    };
    struct TTimer {
        TClock::time_point Deadline;
        std::function<void()> Action;
    };

    void RunDeferred();
    void RunDueTimers();
    [[nodiscard]] int PollTimeoutMs() const;

    std::map<int, TWatch> FWatches;
    std::map<TTimerId, TTimer> FTimers;
    std::vector<std::function<void()>> FDeferred;
    std::uint64_t FNextGeneration = 1;
    TTimerId FNextTimer = 1;
    bool FStopped = false;
};

} // namespace camsim
