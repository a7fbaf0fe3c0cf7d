#pragma once
// Host names to IPv4 addresses through the system's resolver (getaddrinfo: /etc/hosts,
// then DNS as the system is set up).

#include <cstdint>
#include <string>

namespace torvane::platform {

// The first IPv4 address of name, in host byte order. False with error set (the
// resolver's text) when the name has no IPv4 address or cannot be looked up.
[[nodiscard]] bool ResolveIPv4(const std::string& name, std::uint32_t& address,
                               std::string& error);

} // namespace torvane::platform
