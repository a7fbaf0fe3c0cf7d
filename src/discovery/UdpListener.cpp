#include "discovery/UdpListener.h"

#include "i18n/Deployment.h"
#include "platform/Host.h"
#include "platform/Interfaces.h"
#include "series/MainThreadPump.h"

#include <array>
#include <system_error>

namespace torvane {

namespace {

// How long one wait of the receive thread lasts; a stop wakes it earlier.
constexpr int ReceiveWaitMs = 250;

} // namespace

TUdpListener::TUdpListener(std::string name) : FName(std::move(name)) {}

TUdpListener::~TUdpListener() {
    Deactivate();
}

void TUdpListener::SetHandler(THandler handler) {
    FHandler = std::move(handler);
}

bool TUdpListener::Activate(std::uint16_t port) {
    Deactivate();
    FPort = port;
    platform::TUdpSocket socket;
    if (!socket.Create() || !socket.Bind(platform::IPv4Any, port)) {
        return false;
    }
    (void)socket.SetBroadcast(true);
    (void)socket.SetReceiveInterface(true);
    FSocket = std::move(socket);
    FStop = false;
    FEnded = false;
    try {
        FThread = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        FEnded = true;
        (void)FSocket.Close();
        return false;
    }
    FActive = true;
    return true;
}

void TUdpListener::Deactivate() {
    if (!FThread.joinable()) {
        FActive = false;
        return;
    }
    FStop = true;
    {
        std::lock_guard<std::mutex> g(FSocketLock);
        FSocket.Shutdown();
    }
    // The receive thread may be waiting for the main thread to take a datagram.
    WaitPumpingMainThread([this] { return FEnded.load(); });
    FThread.join();
    {
        std::lock_guard<std::mutex> g(FSocketLock);
        (void)FSocket.Close();
    }
    FActive = false;
}

bool TUdpListener::BroadcastSend(const void* data, std::size_t length, std::uint16_t port) {
    if (!FActive) {
        return false;
    }
    // Plain sends on the descriptor: the receive thread owns the socket object's error
    // state, and the main thread's sends must not write it.
    return platform::SendToTargets(FSocket.Handle(), data, length, port, SearchTargets()) > 0;
}

void TUdpListener::Run() {
    std::array<std::uint8_t, BufferSize> buffer{};
    while (!FStop) {
        const platform::TWaitResult wait = FSocket.WaitReadable(ReceiveWaitMs);
        if (FStop || wait == platform::TWaitResult::Failed) {
            break;
        }
        if (wait == platform::TWaitResult::TimedOut) {
            continue;
        }
        std::uint32_t from = 0;
        std::uint16_t fromPort = 0;
        unsigned interfaceIndex = 0;
        const long n =
            FSocket.ReceiveFrom(buffer.data(), buffer.size(), from, fromPort, interfaceIndex);
        if (FStop) {
            break;
        }
        if (n < 0 || static_cast<std::size_t>(n) > buffer.size() || !FHandler) {
            continue; // a failed read, or a datagram too long for the buffer
        }
        const std::size_t length = static_cast<std::size_t>(n);
        // Named here, in the listener's own network namespace, while the interface exists.
        const std::string interfaceName = platform::InterfaceName(interfaceIndex);
        platform::Host().RunOnMainThread([&] {
            try {
                FHandler(*this, buffer.data(), length, from, fromPort, interfaceName);
            } catch (...) {
                // A datagram the handler cannot take is simply dropped.
            }
        });
    }
    FEnded = true;
}

} // namespace torvane
