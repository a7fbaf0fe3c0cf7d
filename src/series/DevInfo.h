#pragma once
// TDevInfo: the record of one camera found on the LAN. The parsers of every search family,
// the T-series search and the vendor library search fill it; the search session lists,
// compares and returns it. A plain value: copied whole between parsers, callbacks and the
// list. Text fields hold bytes as the camera sent them (names that the wire format gives
// as UTF-8 are checked first).

#include "platform/ByteReader.h"
#include "platform/ByteWriter.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace torvane {

struct TDevInfo {
    std::int32_t nType = -1; // device type code (DevTypeToSeries); -1 = no camera
    std::string szID;        // identity by which the list recognises the camera again
    std::string szMac;       // szID through NormalizeMac (empty for vendor library cameras)
    std::string szSN;
    std::string szName;
    std::string szVersion;
    std::string szIPAddr;
    std::string szMask;
    std::string szGateway;
    std::string szAux;
    std::string szDNS1;
    std::string szDNS2;
    std::uint16_t wPort = 0;
    std::uint16_t wPort2 = 0;
    std::uint16_t wAux = 0;
    std::uint8_t btDHCP = 0;   // 1 = DHCP on, 2 = off
    std::uint8_t btDdnsOn = 0; // 1 = DDNS service on (T-series search)
    std::string szDdnsUser;
    std::string szDdnsPwd;
    std::string szDdns;
    std::string szDdnsHost;
    std::int32_t nExtra = 0;
    std::string szLoginUser;
    std::string szLoginPwd;
    std::int32_t nAux = 0;
    std::int32_t nTTL = 0; // remaining life of a list entry, in search ticks
    std::uint16_t wAux2 = 0;
    // The PC's network interface on which the camera's reply arrived ("eth0"); empty when
    // unknown (the vendor library does not say). Not part of the camera's data: the list
    // does not compare it.
    std::string szInterface;

    // Back to the cleared state: empty texts, zero numbers, nType -1.
    void Clear() { *this = TDevInfo(); }
    [[nodiscard]] bool operator==(const TDevInfo&) const = default;
};

// The five address texts that the 1010 device information and the T-series datagrams both
// carry one after the other, 16 bytes each, each ending at its zero byte. Offsets count
// from the block's start; each datagram's layout says where its block begins.
namespace addresstexts {
inline constexpr platform::TByteField Address{0, 16};
inline constexpr platform::TByteField Netmask{16, 16};
inline constexpr platform::TByteField Gateway{32, 16};
inline constexpr platform::TByteField Dns1{48, 16};
inline constexpr platform::TByteField Dns2{64, 16};
inline constexpr std::size_t Size = 80;
} // namespace addresstexts

// szIPAddr, szMask, szGateway, szDNS1 and szDNS2 from a block (bytes beyond the view read
// as zeros), or into one (each text cut so that a zero byte ends it).
void ReadAddressTexts(const platform::TByteReader& block, TDevInfo& record);
void WriteAddressTexts(platform::TByteWriter block, const TDevInfo& record);

// Six bytes as twelve upper-case hexadecimal digits, in byte order, without separators.
[[nodiscard]] std::string MacToStr(const std::uint8_t bytes[6]);
// Six bytes as upper-case hexadecimal pairs joined by ":" (00:1A:2B:3C:4D:5E).
[[nodiscard]] std::string MacToColonText(const std::uint8_t bytes[6]);
// Seven bytes the same way (fourteen digits).
[[nodiscard]] std::string SerialToStr(const std::uint8_t bytes[7]);
// Removes every "-" and ":", turns every blank into "0" and folds ASCII letters to upper case.
[[nodiscard]] std::string NormalizeMac(std::string_view text);

} // namespace torvane
