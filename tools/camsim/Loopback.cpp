#include "Loopback.h"

#include "Error.h"

#include <arpa/inet.h>

namespace camsim {

TLoopbackEndpoint TLoopbackEndpoint::Parse(std::string_view address, std::uint16_t port,
                                           std::string_view what) {
    const std::string text(address);
    in_addr parsed{};
    if (inet_pton(AF_INET, text.c_str(), &parsed) != 1) {
        throw TUsageError(std::string(what) + " \"" + text +
                          "\" is not a dotted IPv4 address such as 127.0.0.2");
    }
    if ((ntohl(parsed.s_addr) >> 24) != 127) {
        throw TUsageError("refusing " + std::string(what) + " " + text +
                          ": camsim only binds and sends to loopback addresses (127.0.0.0/8)");
    }
    char canonical[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &parsed, canonical, sizeof canonical);
    return TLoopbackEndpoint(canonical, port);
}

bool TLoopbackEndpoint::IsLoopback(const sockaddr_in& address) {
    return address.sin_family == AF_INET && (ntohl(address.sin_addr.s_addr) >> 24) == 127;
}

sockaddr_in TLoopbackEndpoint::SocketAddress() const {
    sockaddr_in out{};
    out.sin_family = AF_INET;
    out.sin_port = htons(FPort);
    inet_pton(AF_INET, FAddress.c_str(), &out.sin_addr);
    return out;
}

std::string TLoopbackEndpoint::Text() const {
    return FAddress + ":" + std::to_string(FPort);
}

} // namespace camsim
