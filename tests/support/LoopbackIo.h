#pragma once
// Internal helpers of the loopback peers: a stop signal that every wait of a peer thread
// watches, and bounded send and receive loops over the platform sockets. Peer threads wait
// in slices of SliceMs so that a peer's destructor ends them quickly.

#include "platform/Socket.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>

namespace torvane::test::detail {

constexpr int SliceMs = 20;

class TStopSignal {
public:
    void Raise();
    [[nodiscard]] bool Raised() const { return FRaised.load(); }
    // Waits ms milliseconds of real time, or less when the signal is raised. True when the
    // whole time passed.
    bool WaitFor(int ms) const;

private:
    std::atomic<bool> FRaised{false};
    mutable std::mutex FLock;
    mutable std::condition_variable FRaisedCv;
};

using TClock = std::chrono::steady_clock;

[[nodiscard]] inline TClock::time_point DeadlineIn(int ms) {
    return TClock::now() + std::chrono::milliseconds(ms);
}

enum class TIoResult { Done, Closed, TimedOut, Stopped, Failed };

// Sends all bytes (the socket is non-blocking) until done, the deadline, the stop signal, or
// an error (a peer that went away; its errno in error when given).
TIoResult SendAll(platform::TTcpSocket& socket, std::string_view data, const TStopSignal& stop,
                  TClock::time_point deadline, int* error = nullptr);

// Receives once, appending at most maxBytes to out: Done when bytes came.
TIoResult ReceiveSome(platform::TTcpSocket& socket, std::string& out, std::size_t maxBytes,
                      const TStopSignal& stop, TClock::time_point deadline);

} // namespace torvane::test::detail
