#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include <netinet/in.h>

namespace camsim {

// An IPv4 address and port that is guaranteed to lie in 127.0.0.0/8. Every socket camsim
// binds or sends to is named by one of these, so nothing can reach beyond this machine:
// the only way to make one is Parse, which refuses every other address with a TUsageError.
class TLoopbackEndpoint {
public:
    // "127.0.0.2" with the given port; throws TUsageError for any address outside 127/8,
    // for host names and for anything that is not a dotted IPv4 address. `what` names the
    // setting in the error message ("camera address", "firmware server address").
    [[nodiscard]] static TLoopbackEndpoint Parse(std::string_view address, std::uint16_t port,
                                                 std::string_view what);
    // Checks an address the system handed back (the peer of an accepted connection, the
    // source of a datagram) before anything is sent to it.
    [[nodiscard]] static bool IsLoopback(const sockaddr_in& address);

    [[nodiscard]] const std::string& Address() const { return FAddress; }
    [[nodiscard]] std::uint16_t Port() const { return FPort; }
    void SetPort(std::uint16_t port) { FPort = port; }
    [[nodiscard]] sockaddr_in SocketAddress() const;
    // "127.0.0.2:8081"
    [[nodiscard]] std::string Text() const;

    friend bool operator==(const TLoopbackEndpoint&, const TLoopbackEndpoint&) = default;

private:
    TLoopbackEndpoint(std::string address, std::uint16_t port)
        : FAddress(std::move(address)), FPort(port) {}

    std::string FAddress;
    std::uint16_t FPort = 0;
};

} // namespace camsim
