#include "discovery/UdpListener.h"

#include "i18n/Deployment.h"
#include "platform/Diag.h"
#include "platform/Interfaces.h"

#include <array>
#include <system_error>

namespace torvane {

namespace {

// How long one wait of the receive thread lasts; a stop wakes it earlier.
constexpr int ReceiveWaitMs = 250;

using platform::EDiag;

} // namespace

TUdpListener::TUdpListener(std::string name) : FName(std::move(name)) {}

TUdpListener::~TUdpListener() {
    Deactivate();
}

void TUdpListener::SetHandler(THandler handler) {
    FHandler = std::move(handler);
}

std::string TUdpListener::Label() const {
    return (FName.empty() ? std::string("a listener") : FName) + " (port " +
           std::to_string(FPort) + ")";
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
    FMailbox = std::make_unique<platform::TMailbox<TDatagram>>(
        platform::Host(), [this](TDatagram& d) { Deliver(d); }, MaxWaiting);
    try {
        FThread = std::jthread([this](const std::stop_token& stop) { Run(stop); });
    } catch (const std::system_error& e) {
        platform::Diag(EDiag::Discovery, Label() + ": no receive thread: " + e.what());
        FMailbox.reset();
        (void)FSocket.Close();
        return false;
    }
    FActive = true;
    return true;
}

void TUdpListener::Deactivate() {
    if (FMailbox) {
        FMailbox->Close(); // from here on no handler runs and nothing waits for this thread
    }
    if (FThread.joinable()) {
        FThread.request_stop();
        FSocket.Shutdown(); // wakes the thread's wait
        FThread.join();
    }
    FThread = std::jthread();
    FMailbox.reset();
    if (const platform::TSocketStatus closed = FSocket.Close(); !closed) {
        platform::Diag(EDiag::Net, Label() + ": closing the socket failed: " + closed.ErrorText());
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

void TUdpListener::Deliver(TDatagram& datagram) {
    if (!FHandler) {
        platform::Diag(EDiag::Discovery, Label() + ": a datagram from " +
                                             platform::IPv4ToText(datagram.From) +
                                             " dropped: no handler");
        return;
    }
    FHandler(*this, datagram.Bytes.data(), datagram.Bytes.size(), datagram.From,
             datagram.FromPort, datagram.InterfaceName);
}

void TUdpListener::Run(const std::stop_token& stop) {
    std::array<std::uint8_t, BufferSize> buffer{};
    while (!stop.stop_requested()) {
        const platform::TWaitResult wait = FSocket.WaitReadable(ReceiveWaitMs);
        if (stop.stop_requested()) {
            break;
        }
        if (wait == platform::TWaitResult::Failed) {
            platform::Diag(EDiag::Net,
                           Label() + ": waiting for datagrams failed; the listener stops");
            break;
        }
        if (wait == platform::TWaitResult::TimedOut) {
            continue;
        }
        const platform::TReceivedDatagram got = FSocket.ReceiveFrom(buffer.data(), buffer.size());
        if (stop.stop_requested()) {
            break;
        }
        if (!got.Ok()) {
            platform::Diag(EDiag::Net, Label() + ": a read failed: " + got.ErrorText());
            continue;
        }
        const std::string sender =
            platform::IPv4ToText(got.From) + ":" + std::to_string(got.FromPort);
        if (got.Count > buffer.size()) {
            platform::Diag(EDiag::Discovery,
                           Label() + ": a datagram of " + std::to_string(got.Count) +
                               " bytes from " + sender + " dropped: longer than the " +
                               std::to_string(BufferSize) + "-byte buffer");
            continue;
        }
        TDatagram datagram;
        datagram.Bytes.assign(buffer.begin(),
                              buffer.begin() + static_cast<std::ptrdiff_t>(got.Count));
        datagram.From = got.From;
        datagram.FromPort = got.FromPort;
        // Named here, in the listener's own network namespace, while the interface exists.
        datagram.InterfaceName = platform::InterfaceName(got.InterfaceIndex);
        if (!FMailbox->Put(std::move(datagram)) && !FMailbox->Closed()) {
            platform::Diag(EDiag::Discovery,
                           Label() + ": a datagram from " + sender + " dropped: " +
                               std::to_string(MaxWaiting) +
                               " datagrams wait for the main thread already");
        }
    }
}

} // namespace torvane
