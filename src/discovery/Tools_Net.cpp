#include "discovery/Tools_Net.h"

#include "discovery/UdpListener.h"
#include "platform/Socket.h"
#include "platform/Text.h"

#include <algorithm>
#include <vector>

namespace torvane {

namespace {

int LastPortOf(int base) {
    return std::min(base + TTools_Net::PortRange - 1, 0xFFFF);
}

} // namespace

bool TTools_Net::BindFreePort(TUdpListener& listener, std::uint16_t base) {
    if (base == 0) {
        return false;
    }
    int found = -1;
    {
        platform::TUdpSocket scratch;
        for (int port = base; port <= LastPortOf(base); ++port) {
            if (!scratch.Create()) {
                break;
            }
            if (scratch.Bind(platform::IPv4Any, static_cast<std::uint16_t>(port))) {
                found = port;
                break;
            }
        }
    } // the scratch socket closes here, before the listener binds the port
    if (found < 0) {
        return false;
    }
    for (int port = found; port <= LastPortOf(found); ++port) {
        listener.Deactivate();
        if (listener.Activate(static_cast<std::uint16_t>(port))) {
            return true;
        }
    }
    return false;
}

std::string TTools_Net::IPv4ToStr(const std::uint8_t bytes[4]) {
    return platform::IPv4BytesToText(bytes);
}

int TTools_Net::CompareDotted(std::string_view a, std::string_view b) {
    std::vector<std::string> partsA;
    std::vector<std::string> partsB;
    platform::SplitText(a, ".", partsA);
    platform::SplitText(b, ".", partsB);
    if (partsA.size() != partsB.size()) {
        return platform::CompareTextAscii(a, b);
    }
    for (std::size_t i = 0; i < partsA.size(); ++i) {
        const long long x = platform::ToIntDef(partsA[i], 0);
        const long long y = platform::ToIntDef(partsB[i], 0);
        if (x != y) {
            return x < y ? -1 : 1;
        }
    }
    return 0;
}

} // namespace torvane
