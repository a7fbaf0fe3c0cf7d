#include "series/MainThreadPump.h"

#include "platform/Host.h"

#include <chrono>
#include <mutex>
#include <thread>

namespace torvane {

namespace {

std::mutex GPumpLock;
TMainThreadPump GPump;

// The queue of the current host when the calling thread is its main thread, else nullptr.
platform::TMainQueue* PumpableQueue() {
    platform::TMainQueue* queue = platform::Host().MainQueue();
    return queue != nullptr && queue->IsMainThread() ? queue : nullptr;
}

} // namespace

void SetMainThreadPump(TMainThreadPump pump) {
    std::lock_guard<std::mutex> g(GPumpLock);
    GPump = std::move(pump);
}

void WaitPumpingMainThread(const std::function<bool()>& done) {
    constexpr int RoundMs = 2;
    while (!done()) {
        TMainThreadPump pump;
        {
            std::lock_guard<std::mutex> g(GPumpLock);
            pump = GPump;
        }
        if (pump) {
            pump(RoundMs);
        } else if (platform::TMainQueue* queue = PumpableQueue()) {
            queue->WaitAndRun(RoundMs);
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(RoundMs));
        }
    }
}

} // namespace torvane
