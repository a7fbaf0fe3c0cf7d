#include "support/LoopbackIo.h"

#include <algorithm>
#include <cerrno>

namespace torvane::test::detail {

void TStopSignal::Raise() {
    {
        std::lock_guard<std::mutex> g(FLock);
        FRaised.store(true);
    }
    FRaisedCv.notify_all();
}

bool TStopSignal::WaitFor(int ms) const {
    std::unique_lock<std::mutex> g(FLock);
    return !FRaisedCv.wait_for(g, std::chrono::milliseconds(ms < 0 ? 0 : ms),
                               [this] { return FRaised.load(); });
}

namespace {

// The next slice to wait: at most SliceMs, never past the deadline. The socket waits pass
// it through TimeoutMs, which can only shorten it.
int NextSlice(TClock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now()).count();
    return static_cast<int>(std::max<long long>(0, std::min<long long>(SliceMs, left)));
}

} // namespace

TIoResult SendAll(platform::TTcpSocket& socket, std::string_view data, const TStopSignal& stop,
                  TClock::time_point deadline, int* error) {
    std::size_t sent = 0;
    while (sent < data.size()) {
        if (stop.Raised()) {
            return TIoResult::Stopped;
        }
        const platform::TSocketResult n = socket.Send(data.data() + sent, data.size() - sent);
        if (n.Ok() && n.Count > 0) {
            sent += n.Count;
            continue;
        }
        if (!n.Ok() && !n.WouldBlock()) {
            if (error != nullptr) {
                *error = n.Error;
            }
            return TIoResult::Failed;
        }
        if (TClock::now() >= deadline) {
            return TIoResult::TimedOut;
        }
        if (socket.WaitWritable(NextSlice(deadline)) == platform::TWaitResult::Failed) {
            return TIoResult::Failed;
        }
    }
    return TIoResult::Done;
}

TIoResult ReceiveSome(platform::TTcpSocket& socket, std::string& out, std::size_t maxBytes,
                      const TStopSignal& stop, TClock::time_point deadline) {
    char buffer[16384];
    const std::size_t want = std::min(maxBytes, sizeof(buffer));
    for (;;) {
        if (stop.Raised()) {
            return TIoResult::Stopped;
        }
        const platform::TSocketResult n = socket.Receive(buffer, want);
        if (n.Ok() && n.Count > 0) {
            out.append(buffer, n.Count);
            return TIoResult::Done;
        }
        if (n.Ok()) {
            return TIoResult::Closed;
        }
        if (!n.WouldBlock()) {
            // A reset after the client went away counts as its close.
            return n.Error == ECONNRESET ? TIoResult::Closed : TIoResult::Failed;
        }
        if (TClock::now() >= deadline) {
            return TIoResult::TimedOut;
        }
        if (socket.WaitReadable(NextSlice(deadline)) == platform::TWaitResult::Failed) {
            return TIoResult::Failed;
        }
    }
}

} // namespace torvane::test::detail
