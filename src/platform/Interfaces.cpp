#include "platform/Interfaces.h"

#include "platform/DatagramMessage.h"
#include "platform/Socket.h"
#include "platform/Text.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <optional>
#include <sys/socket.h>
#include <sys/stat.h>

namespace torvane::platform {

namespace {

constexpr const char* GuardVariable = "TORVANE_TEST_LOOPBACK_NETNS";

// The guard's namespace, read once: none (no guard), or an inode; 0 confines every
// namespace (a value that is not an inode).
std::optional<unsigned long long> GuardNamespace() {
    static const std::optional<unsigned long long> guard = []()
        -> std::optional<unsigned long long> {
        const char* value = std::getenv(GuardVariable);
        if (value == nullptr || *value == '\0') {
            return std::nullopt;
        }
        const long long inode = ToIntDef(value, -1);
        return inode > 0 ? static_cast<unsigned long long>(inode) : 0ULL;
    }();
    return guard;
}

std::uint32_t HostOrder(const sockaddr* sa) {
    if (sa == nullptr || sa->sa_family != AF_INET) {
        return 0;
    }
    return ntohl(reinterpret_cast<const sockaddr_in*>(sa)->sin_addr.s_addr);
}

bool IsLoopback(std::uint32_t address) {
    return (address >> 24) == 127;
}

} // namespace

bool SearchConfinedToLoopback() {
    const auto guard = GuardNamespace();
    if (!guard) {
        return false;
    }
    if (*guard == 0) {
        return true;
    }
    struct stat st {};
    if (::stat("/proc/thread-self/ns/net", &st) != 0) {
        return true; // cannot tell where this thread is: stay on loopback
    }
    return static_cast<unsigned long long>(st.st_ino) == *guard;
}

std::vector<TNetInterface> BroadcastInterfaces() {
    std::vector<TNetInterface> out;
    if (SearchConfinedToLoopback()) {
        return out;
    }
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        return out;
    }
    // The list names every interface once more with its link-layer entry, which carries
    // the index: no further call per interface.
    const auto indexOf = [list](const std::string& name) -> unsigned {
        for (const ifaddrs* it = list; it != nullptr; it = it->ifa_next) {
            if (it->ifa_addr != nullptr && it->ifa_addr->sa_family == AF_PACKET &&
                it->ifa_name != nullptr && name == it->ifa_name) {
                return static_cast<unsigned>(
                    reinterpret_cast<const sockaddr_ll*>(it->ifa_addr)->sll_ifindex);
            }
        }
        return ::if_nametoindex(name.c_str());
    };
    for (const ifaddrs* it = list; it != nullptr; it = it->ifa_next) {
        if (it->ifa_addr == nullptr || it->ifa_addr->sa_family != AF_INET ||
            it->ifa_name == nullptr) {
            continue; // another family, or an interface without an address
        }
        const unsigned flags = it->ifa_flags;
        if ((flags & IFF_UP) == 0 || (flags & IFF_LOOPBACK) != 0 || (flags & IFF_BROADCAST) == 0) {
            continue;
        }
        TNetInterface entry;
        entry.Name = it->ifa_name;
        entry.Name = entry.Name.substr(0, entry.Name.find(':')); // "eth0:1" is eth0
        entry.Index = indexOf(entry.Name);
        entry.Address = HostOrder(it->ifa_addr);
        entry.Netmask = HostOrder(it->ifa_netmask);
        entry.Broadcast = HostOrder(it->ifa_broadaddr);
        if (entry.Index == 0 || entry.Address == 0) {
            continue; // gone while we looked, or no usable address
        }
        bool seen = false;
        for (const TNetInterface& e : out) {
            seen = seen || (e.Index == entry.Index && e.Address == entry.Address);
        }
        if (!seen) {
            out.push_back(std::move(entry));
        }
    }
    ::freeifaddrs(list);
    return out;
}

std::vector<std::string> InterfaceNames() {
    std::vector<std::string> out;
    if (SearchConfinedToLoopback()) {
        return out;
    }
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) {
        return out;
    }
    // Every interface has one link-layer entry, addresses or not.
    for (const ifaddrs* it = list; it != nullptr; it = it->ifa_next) {
        if (it->ifa_addr == nullptr || it->ifa_addr->sa_family != AF_PACKET ||
            it->ifa_name == nullptr || (it->ifa_flags & IFF_LOOPBACK) != 0) {
            continue;
        }
        std::string name = it->ifa_name;
        if (std::find(out.begin(), out.end(), name) == out.end()) {
            out.push_back(std::move(name));
        }
    }
    ::freeifaddrs(list);
    return out;
}

std::string InterfaceName(unsigned index) {
    char name[IF_NAMESIZE] = {};
    if (index == 0 || ::if_indextoname(index, name) == nullptr) {
        return {};
    }
    return name;
}

unsigned InterfaceIndex(std::string_view name) {
    if (!IsValidInterfaceName(name)) {
        return 0;
    }
    return ::if_nametoindex(std::string(name).c_str());
}

bool IsValidInterfaceName(std::string_view name) {
    if (name.empty() || name.size() >= IF_NAMESIZE || name == "." || name == "..") {
        return false;
    }
    for (const char c : name) {
        const auto b = static_cast<unsigned char>(c);
        if (b <= 0x20 || b == 0x7F || c == '/' || c == ':') {
            return false;
        }
    }
    return true;
}

bool IsAutoBroadcast(std::string_view setting) {
    return LowerAscii(setting) == BroadcastAuto;
}

bool IsValidBroadcastSetting(std::string_view setting) {
    std::uint32_t address = 0;
    return IsAutoBroadcast(setting) || ParseIPv4(setting, address);
}

std::vector<TBroadcastTarget> ResolveBroadcastTargets(std::string_view setting,
                                                      std::string_view interfaceName) {
    std::vector<TBroadcastTarget> out;
    if (IsAutoBroadcast(setting)) {
        for (const TNetInterface& i : BroadcastInterfaces()) {
            if (interfaceName.empty() || i.Name == interfaceName) {
                out.push_back({IPv4Broadcast, i.Index, i.Address, i.Name});
            }
        }
        return out;
    }
    TBroadcastTarget target;
    if (!ParseIPv4(setting, target.Address)) {
        return out;
    }
    if (SearchConfinedToLoopback() && !IsLoopback(target.Address)) {
        return out;
    }
    if (!interfaceName.empty()) {
        target.InterfaceIndex = InterfaceIndex(interfaceName);
        if (target.InterfaceIndex == 0) {
            return out; // not there now; maybe at the next pass
        }
        target.InterfaceName = std::string(interfaceName);
    }
    out.push_back(std::move(target));
    return out;
}

bool SendDatagramTo(int socket, const void* data, std::size_t length,
                    const TBroadcastTarget& target, std::uint16_t port) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(target.Address);
    to.sin_port = htons(port);
    ssize_t sent = 0;
    if (target.InterfaceIndex == 0 && target.Source == 0) {
        do {
            sent = ::sendto(socket, data, length, MSG_NOSIGNAL,
                            reinterpret_cast<const sockaddr*>(&to), sizeof(to));
        } while (sent < 0 && errno == EINTR);
        return sent == static_cast<ssize_t>(length);
    }
    // The interface and the source address ride along with the datagram: the kernel sends
    // it out of that interface, whatever the routing table would pick.
    alignas(cmsghdr) unsigned char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
    iovec part{};
    part.iov_base = const_cast<void*>(data);
    part.iov_len = length;
    msghdr message = DatagramMessage(to, part, control, sizeof(control));
    cmsghdr* header = CMSG_FIRSTHDR(&message);
    header->cmsg_level = IPPROTO_IP;
    header->cmsg_type = IP_PKTINFO;
    header->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
    in_pktinfo info{};
    info.ipi_ifindex = static_cast<int>(target.InterfaceIndex);
    info.ipi_spec_dst.s_addr = htonl(target.Source);
    std::memcpy(CMSG_DATA(header), &info, sizeof(info));
    do {
        sent = ::sendmsg(socket, &message, MSG_NOSIGNAL);
    } while (sent < 0 && errno == EINTR);
    return sent == static_cast<ssize_t>(length);
}

int SendToTargets(int socket, const void* data, std::size_t length, std::uint16_t port,
                  const std::vector<TBroadcastTarget>& targets) {
    int sent = 0;
    for (const TBroadcastTarget& target : targets) {
        if (SendDatagramTo(socket, data, length, target, port)) {
            ++sent;
        }
    }
    return sent;
}

} // namespace torvane::platform
