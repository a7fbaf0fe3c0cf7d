#pragma once
// The T cameras' "DH" datagrams on UDP port 8600: the one place their layout is written
// down. The search reply parser (SR_924.cpp), the set-network builder (SR_924Settings.cpp)
// and the tests' builders all go through these fields. Integers are little-endian; texts
// are zero-terminated inside their fixed fields.
//
//   44 48 01 01   PC to broadcast   4 bytes     search probe
//   44 48 01 08   camera to PC      516 read    search reply (up to 1024 received)
//   44 48 02 01   PC to broadcast   324 bytes   set network settings
//   44 48 02 08   camera to PC      328 bytes   answer to the set

#include "platform/ByteReader.h"
#include "series/DevInfo.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace torvane::t924 {

using platform::TByteField;

inline constexpr std::uint8_t Magic0 = 0x44; // 'D'
inline constexpr std::uint8_t Magic1 = 0x48; // 'H'
inline constexpr TByteField MagicField{0, 2};
inline constexpr TByteField CommandField{2, 2};
// The command's two bytes, in the order they stand in the datagram.
struct TCommand {
    std::uint8_t First;
    std::uint8_t Second;
};
inline constexpr TCommand CmdSearch{0x01, 0x01};
inline constexpr TCommand CmdSearchReply{0x01, 0x08};
inline constexpr TCommand CmdSet{0x02, 0x01};
inline constexpr TCommand CmdSetAnswer{0x02, 0x08};
inline constexpr std::size_t HeadSize = 4; // magic and command

inline constexpr std::size_t ProbeSize = 4;
inline constexpr std::size_t ReceiveSize = 1024;  // one receive of the search
inline constexpr std::size_t ReplyReadSize = 516; // what of a reply is read
inline constexpr std::size_t SetSize = 324;
inline constexpr std::size_t SetAnswerSize = 328;

// The search reply; the set datagram has the same layout up to SetSize.
inline constexpr TByteField Addresses{4, addresstexts::Size}; // address, netmask, gateway, DNS
inline constexpr TByteField Mac{84, 6};       // six bytes
inline constexpr TByteField WebPort{90, 2};   // 16-bit unsigned
inline constexpr TByteField DeviceId{92, 32}; // not written by the set
inline constexpr TByteField Name{124, 80};
inline constexpr TByteField Version{204, 16};
inline constexpr TByteField LoginUser{236, 32};
inline constexpr TByteField LoginPassword{268, 32};
inline constexpr TByteField Dhcp{301, 1}; // 1 = on
// Reply only.
inline constexpr TByteField DdnsServer{324, 64};
inline constexpr TByteField DdnsHost{388, 64};
inline constexpr TByteField DdnsUser{452, 32};
inline constexpr TByteField DdnsPassword{484, 32};
// The answer to a set: 0x8000 when the camera took the settings.
inline constexpr TByteField SetAnswerStatus{324, 4};
inline constexpr std::uint32_t SetAccepted = 0x8000;

// The four bytes that open a datagram of this command: "DH" and the command.
[[nodiscard]] inline std::string Head(TCommand command) {
    return {static_cast<char>(Magic0), static_cast<char>(Magic1), static_cast<char>(command.First),
            static_cast<char>(command.Second)};
}

// The datagram begins with "DH" and this command.
[[nodiscard]] inline bool IsCommand(const platform::TByteReader& r, TCommand command) {
    return r.StartsWith(Head(command));
}

} // namespace torvane::t924
