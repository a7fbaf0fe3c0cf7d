#include "platform/Resolve.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace torvane::platform {

bool ResolveIPv4(const std::string& name, std::uint32_t& address, std::string& error) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    const int rc = ::getaddrinfo(name.c_str(), nullptr, &hints, &list);
    if (rc != 0) {
        error = rc == EAI_SYSTEM ? std::strerror(errno) : ::gai_strerror(rc);
        return false;
    }
    bool found = false;
    for (const addrinfo* ai = list; ai != nullptr; ai = ai->ai_next) {
        if (ai->ai_family == AF_INET && ai->ai_addr != nullptr) {
            const auto* sa = reinterpret_cast<const sockaddr_in*>(ai->ai_addr);
            address = ntohl(sa->sin_addr.s_addr);
            found = true;
            break;
        }
    }
    ::freeaddrinfo(list);
    if (!found) {
        error = ::gai_strerror(EAI_NONAME);
    }
    return found;
}

} // namespace torvane::platform
