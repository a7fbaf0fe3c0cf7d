#pragma once

#include "EventLoop.h"
#include "Loopback.h"
#include "Socket.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace camsim {

// The LAN search replies of the F and H cameras:
//  - F cameras answer the MO_I search request ("MO_I", operation 0) that arrives on
//    127.0.0.1:10000 with a MO_I search answer (operation 1, content length 195).
//  - H cameras speak the 1010 protocol on 127.0.0.1:6801: the search (code 0x0F01) is
//    answered by a hello (0x8F01); the tool's answer to the hello (0x0F12, carrying back
//    the hello's bytes 12 to 139 and so the camera's MAC) by the device information
//    (0x8F12); its acknowledgement (0x0F0F, carrying back bytes 8 to 135 of the
//    information, the MAC at 96) by the DDNS settings (0x8F0F). A 1010 camera broadcasts
//    to port 6800; on loopback that is 127.0.0.1:6800, and the datagram goes to the
//    sender too when the sender is elsewhere.
// One socket per family listens for all its cameras; each camera answers from a socket
// bound to its own address, so the reply's source is the camera. Answers go to loopback
// only.

// What a camera's replies are made of; none while the camera is down.
struct TDiscoveryFacts {
    std::string SysVersion;
    std::string UiVersion;
};
using TDiscoveryFactsFn = std::function<std::optional<TDiscoveryFacts>()>;

class TDiscoveryReplies {
public:
    enum class EFamily { MoI, Proto1010 };
    static constexpr std::uint16_t MoIPort = 10000;
    static constexpr std::uint16_t Port1010 = 6801;
    static constexpr std::uint16_t Broadcast1010Port = 6800;

    TDiscoveryReplies(TEventLoop& loop, EFamily family, const TLoopbackEndpoint& endpoint,
                      TDiscoveryFactsFn facts);
    ~TDiscoveryReplies();
    TDiscoveryReplies(const TDiscoveryReplies&) = delete;
    TDiscoveryReplies& operator=(const TDiscoveryReplies&) = delete;

    // A datagram that reached the family's socket from a loopback sender.
    void Answer(std::string_view datagram, const sockaddr_in& from);

    [[nodiscard]] EFamily Family() const { return FFamily; }
    // "search on 127.0.0.1:10000" for the start-up line.
    [[nodiscard]] std::string Describe() const;

private:
    [[nodiscard]] std::string MacBytes() const;
    [[nodiscard]] std::string MoIReply(const TDiscoveryFacts& facts) const;
    [[nodiscard]] std::string Hello1010() const;
    [[nodiscard]] std::string Info1010(const TDiscoveryFacts& facts) const;
    [[nodiscard]] std::string Ddns1010() const;
    void SendTo(const std::string& bytes, const sockaddr_in& to);
    void Broadcast1010(const std::string& bytes, const sockaddr_in& from);

    EFamily FFamily;
    TLoopbackEndpoint FEndpoint;
    TDiscoveryFactsFn FFacts;
    TSocket FSendSocket;
};

// The replies of a camera of series "F" or "H"; nullptr for every other series (E and T
// cameras answer their own searches).
[[nodiscard]] std::unique_ptr<TDiscoveryReplies>
StartDiscoveryReplies(TEventLoop& loop, const std::string& series,
                      const TLoopbackEndpoint& endpoint, TDiscoveryFactsFn facts);

} // namespace camsim
