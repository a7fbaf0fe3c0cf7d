#pragma once
// One UDP listener of the LAN search: a socket bound to 0.0.0.0 at a port, broadcasts
// allowed, and a receive thread that hands every datagram of up to 1024 bytes to the main
// thread (Host().RunOnMainThread) and waits until the handler has run, together with the
// name of the interface it arrived on. Longer datagrams and failed reads are dropped.
// Sends go out from the same socket, to every destination of the search's settings
// (SearchTargets: one address, or every interface that can broadcast).
//
// Activate and Deactivate are called on the main thread; Deactivate (and the destructor)
// stop the receive thread and join it, serving its pending hand-over meanwhile.

#include "discovery/DatagramSender.h"
#include "platform/Socket.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace torvane {

class TUdpListener : public IDatagramSender {
public:
    static constexpr std::size_t BufferSize = 1024;

    // Runs on the main thread, once per datagram. interfaceName: the PC's interface the
    // datagram arrived on ("eth0", "lo"); empty when the system did not say.
    using THandler = std::function<void(TUdpListener& listener, const std::uint8_t* data,
                                        std::size_t length, std::uint32_t fromAddress,
                                        std::uint16_t fromPort,
                                        const std::string& interfaceName)>;

    explicit TUdpListener(std::string name = {});
    ~TUdpListener() override;
    TUdpListener(const TUdpListener&) = delete;
    TUdpListener& operator=(const TUdpListener&) = delete;

    void SetHandler(THandler handler);
    [[nodiscard]] const std::string& Name() const { return FName; }

    // Binds 0.0.0.0:port (SO_BROADCAST on) and starts the receive thread. False, and
    // inactive, when the port cannot be bound. An active listener is deactivated first.
    [[nodiscard]] bool Activate(std::uint16_t port);
    void Deactivate();
    [[nodiscard]] bool Active() const { return FActive; }
    // The port of the last activation attempt (0 before any).
    [[nodiscard]] std::uint16_t Port() const { return FPort; }

    // Sends from the listener's socket to every destination of SearchTargets() at port; a
    // send that fails on one interface does not stop the others. True when the datagram
    // went out whole to at least one. An inactive listener sends nothing and answers false.
    [[nodiscard]] bool BroadcastSend(const void* data, std::size_t length,
                                     std::uint16_t port) override;

private:
    void Run();

    std::string FName;
    THandler FHandler;
    platform::TUdpSocket FSocket;
    std::mutex FSocketLock; // Shutdown from the main thread vs. Close
    std::thread FThread;
    std::atomic<bool> FStop{false};
    std::atomic<bool> FEnded{true};
    bool FActive = false;
    std::uint16_t FPort = 0;
};

} // namespace torvane
