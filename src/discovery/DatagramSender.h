#pragma once
// What a probe sender or a 1010 answer needs of a listener: one datagram sent from the
// listener's socket to the search's destinations (SearchTargets(): the broadcast address,
// or 255.255.255.255 out of every interface that can broadcast) at a port.

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace torvane {

class IDatagramSender {
public:
    virtual ~IDatagramSender() = default;
    // True when the datagram went out whole (to at least one destination).
    [[nodiscard]] virtual bool BroadcastSend(const void* data, std::size_t length,
                                             std::uint16_t port) = 0;
    [[nodiscard]] bool BroadcastSendText(std::string_view text, std::uint16_t port) {
        return BroadcastSend(text.data(), text.size(), port);
    }
};

} // namespace torvane
