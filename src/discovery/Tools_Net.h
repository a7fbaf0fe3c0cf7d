#pragma once
// Port selection and the two text routines of the LAN search.

#include <cstdint>
#include <string>
#include <string_view>

namespace torvane {

class TUdpListener;

class TTools_Net {
public:
    TTools_Net() = delete;

    // How far above its base port a listener may move.
    static constexpr int PortRange = 1000;

    // Activates listener on the first usable port from base on (at most base + 999, never
    // past 65535): a scratch socket finds the first port that binds on 0.0.0.0, then the
    // listener is activated there or on the next ports. True when it is active.
    [[nodiscard]] static bool BindFreePort(TUdpListener& listener, std::uint16_t base);
    // The four bytes as unsigned decimal numbers joined by ".", in memory order.
    [[nodiscard]] static std::string IPv4ToStr(const std::uint8_t bytes[4]);
    // Dotted texts compared part by part as decimal numbers (0 for a part that is not
    // one): -1, 0 or 1. Texts with different numbers of parts compare as case-insensitive
    // text (negative, zero or positive).
    [[nodiscard]] static int CompareDotted(std::string_view a, std::string_view b);
};

} // namespace torvane
