#pragma once
// A UDP peer on a loopback address (127.0.0.x, any port; 0: ephemeral) with its own receive
// thread: records every datagram with its sender and real length, can answer each one
// through a responder, and sends datagrams to loopback addresses only.
//
//     TLoopbackUdpPeer camera("127.0.0.5", 7999);
//     camera.SetResponder([](const TDatagram& d) {
//         return std::vector<std::string>{"REPLY ..."}; });
//     auto d = camera.WaitForDatagram(1000);

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace torvane::test {

struct TDatagram {
    std::string Data; // the bytes (all of them up to 65535)
    std::uint32_t FromAddress = 0;
    std::uint16_t FromPort = 0;
    [[nodiscard]] std::string FromText() const; // dotted sender address
};

using TUdpResponder = std::function<std::vector<std::string>(const TDatagram&)>;

class TLoopbackUdpPeer {
public:
    // Binds address:port; throws std::runtime_error when the address is not in 127/8 or
    // the bind fails. reuseAddress sets SO_REUSEADDR before the bind.
    explicit TLoopbackUdpPeer(const std::string& address = "127.0.0.1", std::uint16_t port = 0,
                              bool reuseAddress = false);
    TLoopbackUdpPeer(const TLoopbackUdpPeer&) = delete;
    TLoopbackUdpPeer& operator=(const TLoopbackUdpPeer&) = delete;
    ~TLoopbackUdpPeer();

    [[nodiscard]] std::uint16_t Port() const { return FPort; }
    [[nodiscard]] const std::string& Address() const { return FAddress; }

    // Every reply the responder gives goes back to the datagram's sender.
    void SetResponder(TUdpResponder responder);

    // The next datagram not yet taken, waiting up to timeoutMs (real time).
    [[nodiscard]] std::optional<TDatagram> WaitForDatagram(int timeoutMs);
    // Every datagram received so far (taken or not).
    [[nodiscard]] std::vector<TDatagram> Received() const;

    // Sends one datagram from this peer's socket; false when the address is not loopback
    // or the send fails.
    bool SendTo(const std::string& address, std::uint16_t port, std::string_view bytes);

private:
    struct TImpl;
    std::unique_ptr<TImpl> FImpl;
    std::string FAddress;
    std::uint16_t FPort = 0;
};

} // namespace torvane::test
