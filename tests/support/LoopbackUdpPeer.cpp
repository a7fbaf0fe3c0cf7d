#include "support/LoopbackUdpPeer.h"

#include "platform/Socket.h"
#include "support/LoopbackIo.h"
#include "support/TestSupport.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace torvane::test {

std::string TDatagram::FromText() const {
    return platform::IPv4ToText(FromAddress);
}

struct TLoopbackUdpPeer::TImpl {
    platform::TUdpSocket Socket;
    detail::TStopSignal Stop;
    std::thread Thread;
    mutable std::mutex Lock;
    std::condition_variable Arrived;
    std::deque<TDatagram> Queue;
    std::vector<TDatagram> All;
    TUdpResponder Responder;
    std::mutex SendLock;

    void ReceiveLoop();
    bool Send(std::uint32_t address, std::uint16_t port, std::string_view bytes) {
        if (!IsLoopbackAddress(address)) {
            return false;
        }
        std::lock_guard<std::mutex> g(SendLock);
        const platform::TSocketResult sent = Socket.SendTo(bytes.data(), bytes.size(), address, port);
        return sent.Ok() && sent.Count == bytes.size();
    }
};

TLoopbackUdpPeer::TLoopbackUdpPeer(const std::string& address, std::uint16_t port,
                                   bool reuseAddress)
    : FImpl(std::make_unique<TImpl>()), FAddress(address) {
    std::uint32_t ip = 0;
    if (!platform::ParseIPv4(address, ip) || !IsLoopbackAddress(ip)) {
        throw std::runtime_error("loopback UDP peer: not a loopback address: " + address);
    }
    platform::TUdpSocket& s = FImpl->Socket;
    platform::TSocketStatus status = s.Create();
    if (status && reuseAddress) {
        status = s.SetReuseAddress(true);
    }
    if (status) {
        status = s.Bind(ip, port);
    }
    if (status) {
        status = s.SetNonBlocking(true);
    }
    if (!status) {
        throw std::runtime_error("loopback UDP peer: " + status.ErrorText());
    }
    FPort = s.LocalPort();
    FImpl->Thread = std::thread([impl = FImpl.get()] { impl->ReceiveLoop(); });
}

TLoopbackUdpPeer::~TLoopbackUdpPeer() {
    FImpl->Stop.Raise();
    if (FImpl->Thread.joinable()) {
        FImpl->Thread.join();
    }
}

void TLoopbackUdpPeer::SetResponder(TUdpResponder responder) {
    std::lock_guard<std::mutex> g(FImpl->Lock);
    FImpl->Responder = std::move(responder);
}

std::optional<TDatagram> TLoopbackUdpPeer::WaitForDatagram(int timeoutMs) {
    std::unique_lock<std::mutex> g(FImpl->Lock);
    if (!FImpl->Arrived.wait_for(g, std::chrono::milliseconds(timeoutMs),
                                 [&] { return !FImpl->Queue.empty(); })) {
        return std::nullopt;
    }
    TDatagram d = std::move(FImpl->Queue.front());
    FImpl->Queue.pop_front();
    return d;
}

std::vector<TDatagram> TLoopbackUdpPeer::Received() const {
    std::lock_guard<std::mutex> g(FImpl->Lock);
    return FImpl->All;
}

bool TLoopbackUdpPeer::SendTo(const std::string& address, std::uint16_t port,
                              std::string_view bytes) {
    std::uint32_t ip = 0;
    return platform::ParseIPv4(address, ip) && FImpl->Send(ip, port, bytes);
}

void TLoopbackUdpPeer::TImpl::ReceiveLoop() {
    std::string buffer(65536, '\0');
    while (!Stop.Raised()) {
        if (Socket.WaitReadable(detail::SliceMs) != platform::TWaitResult::Ready) {
            continue;
        }
        TDatagram d;
        const platform::TReceivedDatagram got = Socket.ReceiveFrom(buffer.data(), buffer.size());
        if (!got.Ok()) {
            continue;
        }
        d.FromAddress = got.From;
        d.FromPort = got.FromPort;
        d.Data.assign(buffer.data(), std::min(got.Count, buffer.size()));
        TUdpResponder responder;
        {
            std::lock_guard<std::mutex> g(Lock);
            All.push_back(d);
            Queue.push_back(d);
            responder = Responder;
        }
        Arrived.notify_all();
        if (responder) {
            for (const std::string& reply : responder(d)) {
                Send(d.FromAddress, d.FromPort, reply);
            }
        }
    }
}

} // namespace torvane::test
