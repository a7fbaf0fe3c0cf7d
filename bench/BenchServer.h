#pragma once
// What the transfer benchmarks share: a loopback server with a thread of its own that hands
// each connection to the benchmark's handler, and a progress sink that costs what the
// upgrade worker's does.

#include "platform/Socket.h"
#include "upgrade/Progress.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>

namespace bench {

// Listens on 127.0.0.1 (an ephemeral port) and runs the handler for one connection at a
// time, on its own thread, until destroyed.
class TLoopbackServer {
public:
    using THandler = std::function<void(torvane::platform::TTcpSocket&)>;

    TLoopbackServer(const char* what, THandler handler) : FHandler(std::move(handler)) {
        if (const auto listening = FListener.Listen(torvane::platform::IPv4Loopback, 0);
            !listening) {
            throw std::runtime_error(std::string(what) + ": " + listening.ErrorText());
        }
        FThread = std::thread([this] { Serve(); });
    }
    ~TLoopbackServer() {
        FStop = true;
        FThread.join();
    }
    TLoopbackServer(const TLoopbackServer&) = delete;
    TLoopbackServer& operator=(const TLoopbackServer&) = delete;
    [[nodiscard]] std::uint16_t Port() const { return FListener.LocalPort(); }

private:
    void Serve() {
        while (!FStop) {
            if (FListener.WaitReadable(100) != torvane::platform::TWaitResult::Ready) {
                continue;
            }
            torvane::platform::TTcpSocket c;
            if (FListener.Accept(c)) {
                FHandler(c);
            }
        }
    }

    THandler FHandler;
    torvane::platform::TTcpListener FListener;
    std::atomic<bool> FStop{false};
    std::thread FThread;
};

// Takes reports as the upgrade worker's sink does: under a lock, the clock read, the latest
// kept; what a transfer pays for reporting its progress. Posts counts the reports the
// worker would hand on (at most one per 100 ms).
class TBenchProgressSink : public torvane::IProgressSink {
public:
    void Report(const torvane::TProgress& progress) override {
        std::lock_guard<std::mutex> g(FLock);
        const auto now = std::chrono::steady_clock::now();
        if (now - FLast >= std::chrono::milliseconds(100)) {
            FLast = now;
            ++Posts;
        }
        Latest = progress;
        ++Reports;
    }
    std::size_t Reports = 0;
    std::size_t Posts = 0;
    torvane::TProgress Latest;

private:
    std::mutex FLock;
    std::chrono::steady_clock::time_point FLast{};
};

} // namespace bench
