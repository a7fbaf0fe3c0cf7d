#pragma once
// The PC's IPv4 network interfaces, and where one probe of the LAN search goes.
//
// The broadcast setting is either one address (the probe goes there as the routing table
// says, as it always did) or "auto": the probe goes to 255.255.255.255 out of every
// interface that is up, is not the loopback interface, can broadcast and has an IPv4
// address, once per address of it, leaving through that interface (IP_PKTINFO) from that
// address. Linux sends a limited broadcast out of one interface only, the one its routing
// table picks (the default route's), so without this the cameras on a second network, an
// Ethernet port beside the Wi-Fi that carries the default route, never hear the search.
// Sending to 255.255.255.255 rather than to the subnet's own broadcast address keeps the
// datagram the cameras have always answered, also those set to another subnet; the source
// address is the interface's own, so their unicast answers come back on it. No privilege is
// needed for either option.
//
// The interfaces are read anew (getifaddrs, in the calling thread's network namespace) at
// every resolution: a cable plugged in, a USB adapter added or an address taken away
// counts from the next probe on. An interface without an IPv4 address is not listed.
//
// Test guard: when the variable TORVANE_TEST_LOOPBACK_NETNS names the inode of a network
// namespace (the test programs set it to their own at start; child processes inherit it),
// a thread in that namespace resolves nothing but loopback destinations and never lists
// interfaces: "auto" and other addresses give no target there. Inside a namespace that a
// test made for itself the guard does not apply. Any other non-empty value confines every
// namespace.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace torvane::platform {

// The broadcast setting that means "every interface".
inline constexpr std::string_view BroadcastAuto = "auto";

// One IPv4 address of a network interface.
struct TNetInterface {
    std::string Name;            // the device's name ("eth0"; alias labels cut at ':')
    unsigned Index = 0;          // the device's index
    std::uint32_t Address = 0;   // host byte order
    std::uint32_t Netmask = 0;   // host byte order
    std::uint32_t Broadcast = 0; // the subnet's broadcast address (0 when none is given)
};

// Every IPv4 address of the interfaces that are up, are not loopback and can broadcast, in
// the order the system lists them (each interface and address once). Empty when the list
// cannot be read, and for a thread that the test guard confines.
[[nodiscard]] std::vector<TNetInterface> BroadcastInterfaces();

// The names of every network interface but the loopback one, up or down, with an address or
// without, in the order the system lists them: what a user may limit the search to. Empty
// when the list cannot be read, and for a thread that the test guard confines.
[[nodiscard]] std::vector<std::string> InterfaceNames();

// The name of the interface with this index; empty when there is none (any more).
[[nodiscard]] std::string InterfaceName(unsigned index);
// The index of the interface with this name; 0 when there is none.
[[nodiscard]] unsigned InterfaceIndex(std::string_view name);
// A name the kernel would accept for a device: 1 to 15 bytes, not "." or "..", none of
// them '/', ':', a blank or a control byte.
[[nodiscard]] bool IsValidInterfaceName(std::string_view name);

// "auto" (in any case) or a strict dotted IPv4 address (ParseIPv4).
[[nodiscard]] bool IsValidBroadcastSetting(std::string_view setting);
[[nodiscard]] bool IsAutoBroadcast(std::string_view setting);

// Where one datagram goes.
struct TBroadcastTarget {
    std::uint32_t Address = 0;   // destination, host byte order
    unsigned InterfaceIndex = 0; // out of this interface; 0: as the routing table says
    std::uint32_t Source = 0;    // from this address; 0: the system's choice
    std::string InterfaceName;   // empty when routed

    [[nodiscard]] bool operator==(const TBroadcastTarget&) const = default;
};

// The destinations of one probe:
//  - "auto": 255.255.255.255 through each entry of BroadcastInterfaces(), from its address;
//    with interfaceName, only the entries of that interface.
//  - an address: that address; with interfaceName, out of that interface (none when it
//    does not exist now).
//  - anything else: none.
// A thread that the test guard confines gets loopback destinations only.
[[nodiscard]] std::vector<TBroadcastTarget> ResolveBroadcastTargets(std::string_view setting,
                                                                    std::string_view interfaceName);

// Sends one datagram from the UDP socket descriptor to the target at port (sendmsg with
// IP_PKTINFO when the target names an interface). True when it went out whole.
[[nodiscard]] bool SendDatagramTo(int socket, const void* data, std::size_t length,
                                  const TBroadcastTarget& target, std::uint16_t port);
// The same datagram to every target in turn; a send that fails does not stop the others.
// The number of targets it went out to whole.
int SendToTargets(int socket, const void* data, std::size_t length, std::uint16_t port,
                  const std::vector<TBroadcastTarget>& targets);

// The test guard (see above) holds for the calling thread.
[[nodiscard]] bool SearchConfinedToLoopback();

} // namespace torvane::platform
