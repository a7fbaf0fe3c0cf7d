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
    // The socket keeps no error state, so the main thread sends on it while the receive
    // thread waits on it.
    return FSocket.SendToTargets(data, length, port, SearchTargets()) > 0;
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
        const platform::TReceivedDatagram got = FSocket.ReceiveFrom(buffer.data(), buffer.size());
        if (FStop) {
            break;
        }
        if (!got.Ok() || got.Count > buffer.size() || !FHandler) {
            continue; // a failed read, or a datagram too long for the buffer
        }
        // Named here, in the listener's own network namespace, while the interface exists.
        const std::string interfaceName = platform::InterfaceName(got.InterfaceIndex);
        platform::Host().RunOnMainThread([&] {
            try {
                FHandler(*this, buffer.data(), got.Count, got.From, got.FromPort, interfaceName);
            } catch (...) {
                // A datagram the handler cannot take is simply dropped.
            }
        });
    }
    FEnded = true;
}

} // namespace torvane
