#include "support/LoopbackTcpPeer.h"

#include "platform/Socket.h"
#include "support/LoopbackIo.h"
#include "support/TestSupport.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace torvane::test {

using detail::DeadlineIn;
using detail::TIoResult;

TTcpStep TTcpStep::Expect(std::size_t count, int timeoutMs) {
    TTcpStep s;
    s.Kind = TKind::Expect;
    s.Count = count;
    s.Ms = timeoutMs;
    return s;
}

TTcpStep TTcpStep::ExpectUntil(std::string delimiter, int timeoutMs) {
    TTcpStep s;
    s.Kind = TKind::ExpectUntil;
    s.Data = std::move(delimiter);
    s.Ms = timeoutMs;
    return s;
}

TTcpStep TTcpStep::ExpectClose(int timeoutMs) {
    TTcpStep s;
    s.Kind = TKind::ExpectClose;
    s.Ms = timeoutMs;
    return s;
}

TTcpStep TTcpStep::Send(std::string bytes) {
    TTcpStep s;
    s.Kind = TKind::Send;
    s.Data = std::move(bytes);
    return s;
}

TTcpStep TTcpStep::Wait(int ms) {
    TTcpStep s;
    s.Kind = TKind::Wait;
    s.Ms = ms;
    return s;
}

TTcpStep TTcpStep::Close() {
    TTcpStep s;
    s.Kind = TKind::Close;
    return s;
}

struct TLoopbackTcpPeer::TImpl {
    platform::TTcpListener Listener;
    detail::TStopSignal Stop;
    std::thread AcceptThread;

    mutable std::mutex Lock;
    mutable std::condition_variable Changed;
    std::deque<TTcpScript> Scripts;
    TTcpScript DefaultScript{TTcpStep::ExpectClose(2000)};
    int LingerMs = 2000;
    std::vector<TTcpConnectionRecord> Records;
    std::vector<std::thread> Threads;

    void AcceptLoop();
    void Run(std::size_t index, platform::TTcpSocket socket, const TTcpScript& script);

    // Updates record index under the lock.
    template <typename F> void Update(std::size_t index, F f) {
        {
            std::lock_guard<std::mutex> g(Lock);
            f(Records[index]);
        }
        Changed.notify_all();
    }
};

TLoopbackTcpPeer::TLoopbackTcpPeer(const std::string& address, std::uint16_t port)
    : FImpl(std::make_unique<TImpl>()), FAddress(address) {
    std::uint32_t ip = 0;
    if (!platform::ParseIPv4(address, ip) || !IsLoopbackAddress(ip)) {
        throw std::runtime_error("loopback TCP peer: not a loopback address: " + address);
    }
    if (const auto listening = FImpl->Listener.Listen(ip, port, 64); !listening) {
        throw std::runtime_error("loopback TCP peer: " + listening.ErrorText());
    }
    FPort = FImpl->Listener.LocalPort();
    FImpl->AcceptThread = std::thread([impl = FImpl.get()] { impl->AcceptLoop(); });
}

TLoopbackTcpPeer::~TLoopbackTcpPeer() {
    FImpl->Stop.Raise();
    if (FImpl->AcceptThread.joinable()) {
        FImpl->AcceptThread.join();
    }
    std::vector<std::thread> threads;
    {
        std::lock_guard<std::mutex> g(FImpl->Lock);
        threads.swap(FImpl->Threads);
    }
    for (std::thread& t : threads) {
        t.join();
    }
}

void TLoopbackTcpPeer::AddConnection(TTcpScript script) {
    std::lock_guard<std::mutex> g(FImpl->Lock);
    FImpl->Scripts.push_back(std::move(script));
}

void TLoopbackTcpPeer::SetDefaultScript(TTcpScript script) {
    std::lock_guard<std::mutex> g(FImpl->Lock);
    FImpl->DefaultScript = std::move(script);
}

void TLoopbackTcpPeer::SetLingerMs(int ms) {
    std::lock_guard<std::mutex> g(FImpl->Lock);
    FImpl->LingerMs = ms;
}

std::size_t TLoopbackTcpPeer::ConnectionCount() const {
    std::lock_guard<std::mutex> g(FImpl->Lock);
    return FImpl->Records.size();
}

TTcpConnectionRecord TLoopbackTcpPeer::Connection(std::size_t i) const {
    std::lock_guard<std::mutex> g(FImpl->Lock);
    return i < FImpl->Records.size() ? FImpl->Records[i] : TTcpConnectionRecord{};
}

std::vector<TTcpConnectionRecord> TLoopbackTcpPeer::Connections() const {
    std::lock_guard<std::mutex> g(FImpl->Lock);
    return FImpl->Records;
}

bool TLoopbackTcpPeer::WaitForConnections(std::size_t n, int timeoutMs) const {
    std::unique_lock<std::mutex> g(FImpl->Lock);
    return FImpl->Changed.wait_for(g, std::chrono::milliseconds(timeoutMs),
                                   [&] { return FImpl->Records.size() >= n; });
}

bool TLoopbackTcpPeer::WaitUntilDone(int timeoutMs, std::size_t minCount) const {
    std::unique_lock<std::mutex> g(FImpl->Lock);
    return FImpl->Changed.wait_for(g, std::chrono::milliseconds(timeoutMs), [&] {
        if (FImpl->Records.size() < minCount) {
            return false;
        }
        for (const TTcpConnectionRecord& r : FImpl->Records) {
            if (!r.Finished) {
                return false;
            }
        }
        return true;
    });
}

void TLoopbackTcpPeer::TImpl::AcceptLoop() {
    while (!Stop.Raised()) {
        if (Listener.WaitReadable(detail::SliceMs) != platform::TWaitResult::Ready) {
            continue;
        }
        platform::TTcpSocket socket;
        if (!Listener.Accept(socket) || !socket.SetNonBlocking(true)) {
            continue;
        }
        {
            std::lock_guard<std::mutex> g(Lock);
            TTcpScript script = DefaultScript;
            if (!Scripts.empty()) {
                script = std::move(Scripts.front());
                Scripts.pop_front();
            }
            const std::size_t index = Records.size();
            Records.emplace_back();
            Threads.emplace_back(
                [this, index, s = std::move(socket), sc = std::move(script)]() mutable {
                    Run(index, std::move(s), sc);
                });
        }
        Changed.notify_all();
    }
    (void)Listener.Close();
}

void TLoopbackTcpPeer::TImpl::Run(std::size_t index, platform::TTcpSocket socket,
                                  const TTcpScript& script) {
    std::string pending; // received but not yet taken by an Expect step
    bool closed = false;
    bool stopped = false;
    std::string failure;

    // Receives more into pending (and the record) until the deadline; false when no more
    // can come.
    auto receiveMore = [&](detail::TClock::time_point deadline) {
        std::string chunk;
        const TIoResult r = detail::ReceiveSome(socket, chunk, 65536, Stop, deadline);
        if (r == TIoResult::Done) {
            pending += chunk;
            Update(index, [&](TTcpConnectionRecord& rec) { rec.Received += chunk; });
            return true;
        }
        if (r == TIoResult::Closed || r == TIoResult::Failed) {
            closed = true;
        } else if (r == TIoResult::Stopped) {
            stopped = true;
        }
        return false;
    };

    bool completed = true;
    bool closeNow = false;
    for (const TTcpStep& step : script) {
        if (Stop.Raised()) {
            completed = false;
            failure = "peer stopped";
            break;
        }
        bool ok = true;
        switch (step.Kind) {
        case TTcpStep::TKind::Expect: {
            const auto deadline = DeadlineIn(step.Ms);
            while (pending.size() < step.Count && !closed && receiveMore(deadline)) {
            }
            if (pending.size() < step.Count) {
                ok = false;
                failure = "expected " + std::to_string(step.Count) + " bytes, got " +
                          std::to_string(pending.size()) + (closed ? " (client closed)" : "");
            }
            const std::string taken = pending.substr(0, step.Count);
            pending.erase(0, taken.size());
            Update(index, [&](TTcpConnectionRecord& rec) { rec.Expected.push_back(taken); });
            break;
        }
        case TTcpStep::TKind::ExpectUntil: {
            const auto deadline = DeadlineIn(step.Ms);
            std::size_t at = std::string::npos;
            while ((at = pending.find(step.Data)) == std::string::npos && !closed &&
                   receiveMore(deadline)) {
            }
            std::string taken;
            if (at == std::string::npos) {
                ok = false;
                failure = "delimiter not received" + std::string(closed ? " (client closed)" : "");
                taken.swap(pending);
            } else {
                taken = pending.substr(0, at + step.Data.size());
                pending.erase(0, taken.size());
            }
            Update(index, [&](TTcpConnectionRecord& rec) { rec.Expected.push_back(taken); });
            break;
        }
        case TTcpStep::TKind::ExpectClose: {
            const auto deadline = DeadlineIn(step.Ms);
            while (!closed && receiveMore(deadline)) {
            }
            if (!closed) {
                ok = false;
                failure = "client did not close";
            }
            std::string taken;
            taken.swap(pending);
            Update(index, [&](TTcpConnectionRecord& rec) { rec.Expected.push_back(taken); });
            break;
        }
        case TTcpStep::TKind::Send:
            if (int error = 0; detail::SendAll(socket, step.Data, Stop, DeadlineIn(10000),
                                               &error) != TIoResult::Done) {
                ok = false;
                failure = "send failed: " + (error != 0 ? platform::ErrnoText(error) : "not taken in time");
            }
            break;
        case TTcpStep::TKind::Wait:
            Stop.WaitFor(step.Ms);
            break;
        case TTcpStep::TKind::Close:
            closeNow = true;
            break;
        }
        if (!ok) {
            completed = false;
            break;
        }
        if (closeNow) {
            break;
        }
    }
    if (completed && !closeNow && !closed) {
        int linger = 0;
        {
            std::lock_guard<std::mutex> g(Lock);
            linger = LingerMs;
        }
        const auto deadline = DeadlineIn(linger);
        while (!closed && !stopped && receiveMore(deadline)) {
        }
    }
    (void)socket.Close();
    Update(index, [&](TTcpConnectionRecord& rec) {
        rec.ClientClosed = closed;
        rec.ScriptCompleted = completed;
        rec.Failure = failure;
        rec.Finished = true;
    });
}

} // namespace torvane::test
