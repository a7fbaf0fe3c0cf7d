#pragma once

#include "EventLoop.h"
#include "Socket.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace camsim {

// The T cameras' "DH" datagrams on UDP port 8600: the search probe 44 48 01 01, answered by
// every camera with its 516-byte 01 08 reply, and the network-settings datagram 44 48 02 01
// (324 bytes), answered by the camera whose MAC it names with the 328-byte 02 08 answer.
// One socket on 127.0.0.1:8600 serves all T cameras of the simulation (the probes go to one
// broadcast address); answers go back to the sender, which must be loopback.
class IDhAnswerer {
public:
    virtual ~IDhAnswerer() = default;
    // The camera's 01 08 reply, or empty while it does not answer (down, rebooting).
    [[nodiscard]] virtual std::string DhSearchReply() const = 0;
    // The 02 08 answer to a set datagram that names this camera's MAC; none when the
    // datagram is not for this camera or the camera is down.
    [[nodiscard]] virtual std::optional<std::string> DhSetAnswer(std::string_view datagram) = 0;
};

class TDhSearchResponder {
public:
    static constexpr std::uint16_t Port = 8600;

    // The responder of the loop, opened with its first camera and closed with its last.
    // A port that cannot be bound is reported once; the cameras then go unfound.
    static void Join(TEventLoop& loop, IDhAnswerer& camera);
    static void Leave(IDhAnswerer& camera);

    explicit TDhSearchResponder(TEventLoop& loop);
    ~TDhSearchResponder();
    TDhSearchResponder(const TDhSearchResponder&) = delete;
    TDhSearchResponder& operator=(const TDhSearchResponder&) = delete;

private:
    void Receive();

    TEventLoop& FLoop;
    TSocket FSocket;
    std::vector<IDhAnswerer*> FCameras;
};

// Datagram layout shared by the search reply and the set datagram.
namespace dh {
constexpr std::size_t ReplySize = 516;
constexpr std::size_t SetSize = 324;
constexpr std::size_t SetAnswerSize = 328;
constexpr std::size_t IpOffset = 4;
constexpr std::size_t MaskOffset = 20;
constexpr std::size_t GatewayOffset = 36;
constexpr std::size_t Dns1Offset = 52;
constexpr std::size_t Dns2Offset = 68;
constexpr std::size_t MacOffset = 84;
constexpr std::size_t PortOffset = 90;
constexpr std::size_t DeviceIdOffset = 92;
constexpr std::size_t NameOffset = 124;
constexpr std::size_t VersionOffset = 204;
constexpr std::size_t UserOffset = 236;
constexpr std::size_t PasswordOffset = 268;
constexpr std::size_t DhcpOffset = 301;
constexpr std::size_t StatusOffset = 324;
constexpr std::uint32_t Accepted = 0x8000;

// A zero-terminated text field of a datagram (empty beyond its end).
[[nodiscard]] std::string Field(std::string_view datagram, std::size_t offset, std::size_t size);
// Writes text into a field of size bytes, cut so that it ends with a zero byte.
void PutField(std::string& datagram, std::size_t offset, std::size_t size, std::string_view text);
} // namespace dh

} // namespace camsim
