#pragma once
// One UDP listener of the LAN search: a socket bound to 0.0.0.0 at a port, broadcasts
// allowed, and a receive thread that hands every datagram of up to 1024 bytes, with the
// name of the interface it arrived on, to the main thread, where the handler takes them one
// at a time in the order they came (a platform::TMailbox: the thread goes back to its
// socket at once). Longer datagrams, failed reads and datagrams beyond the ones already
// waiting for the main thread are dropped, each with a line in the diagnostic log. Sends go
// out from the same socket, to every destination of the search's settings (SearchTargets:
// one address, or every interface that can broadcast).
//
// The listener owns its thread and its mailbox. Activate and Deactivate are called on the
// main thread; Deactivate (and the destructor) close the mailbox, so that no handler runs
// any more, then stop the thread and join it.

#include "discovery/DatagramSender.h"
#include "platform/HandOver.h"
#include "platform/Socket.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

namespace torvane {

class TUdpListener : public IDatagramSender {
public:
    static constexpr std::size_t BufferSize = 1024;
    // How many datagrams may wait for the main thread; more are dropped.
    static constexpr std::size_t MaxWaiting = 4096;

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

    // Main thread.
    void SetHandler(THandler handler);
    [[nodiscard]] const std::string& Name() const { return FName; }

    // Binds 0.0.0.0:port (SO_BROADCAST on) and starts the receive thread. False, and
    // inactive, when the port cannot be bound. An active listener is deactivated first.
    [[nodiscard]] bool Activate(std::uint16_t port);
    void Deactivate();
    [[nodiscard]] bool Active() const { return FActive; }
    // The port of the last activation attempt (0 before any).
    [[nodiscard]] std::uint16_t Port() const { return FPort; }
    // Datagrams received and not yet taken by the main thread.
    [[nodiscard]] std::size_t Waiting() const { return FMailbox ? FMailbox->Waiting() : 0; }

    // Sends from the listener's socket to every destination of SearchTargets() at port; a
    // send that fails on one interface does not stop the others. True when the datagram
    // went out whole to at least one. An inactive listener sends nothing and answers false.
    [[nodiscard]] bool BroadcastSend(const void* data, std::size_t length,
                                     std::uint16_t port) override;

private:
    struct TDatagram {
        std::vector<std::uint8_t> Bytes;
        std::uint32_t From = 0;
        std::uint16_t FromPort = 0;
        std::string InterfaceName;
    };
    void Run(const std::stop_token& stop);
    void Deliver(TDatagram& datagram);
    // "IdUDPServer2 (port 10000)", for the diagnostic log.
    [[nodiscard]] std::string Label() const;

    std::string FName;
    THandler FHandler;
    platform::TUdpSocket FSocket;
    std::unique_ptr<platform::TMailbox<TDatagram>> FMailbox;
    bool FActive = false;
    std::uint16_t FPort = 0;
    // Last: joined before the members its thread uses go.
    std::jthread FThread;
};

} // namespace torvane
