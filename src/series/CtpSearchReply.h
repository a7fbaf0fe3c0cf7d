#pragma once
// The E cameras' answer to the CTP search ("SEARCH * CTP/1.0" broadcast to UDP port 7999):
// a datagram that begins with "REPLY", then lines of a key, a blank and a value
// ("-ip 192.168.1.20"). This is the one parser of that answer. Two parts of the tool read
// it, and each keeps the reading it has always had, because cameras and stored
// expectations rely on both:
//
//  - the camera list (discovery/SR, ParseCTPReply): lines cut at CR LF only; a key is
//    found on the first line that BEGINS with it, and its value starts at the second
//    character after the key. So "-ddns" also finds a "-ddnsuser" line that comes first.
//  - the firmware version read before an E upgrade (CtpSearch, ParseCTPSearchReply): lines
//    cut at CR LF, CR or LF; each line belongs to the first key of a fixed list that it
//    holds ANYWHERE, and its value is what follows the line's first blank.
//
// They differ on lines with a key that is not at their start ("-gw -ip 10.0.0.1" is a
// gateway line to the list and an address line to the version read), on replies with bare
// LF line ends, and on a key given twice (the list takes the first, the version read the
// last).

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace torvane {

namespace ctp {

inline constexpr std::string_view SearchReplyTag = "REPLY";

// The keys of the reply's lines.
inline constexpr std::string_view KeyName = "-name";
inline constexpr std::string_view KeySerial = "-sn";
inline constexpr std::string_view KeyPortCtp = "-portctp";
inline constexpr std::string_view KeyIP = "-ip";
inline constexpr std::string_view KeyNetmask = "-netmask";
inline constexpr std::string_view KeyPrimaryDns = "-mdns";
inline constexpr std::string_view KeySecondaryDns = "-sdns";
inline constexpr std::string_view KeyGateway = "-gw";
inline constexpr std::string_view KeyDhcp = "-dhcpen";
inline constexpr std::string_view KeyVersion = "-version";
inline constexpr std::string_view KeyMac = "-mac";
inline constexpr std::string_view KeyDdnsUser = "-ddnsuser";
inline constexpr std::string_view KeyDdnsPassword = "-ddnspswd";
inline constexpr std::string_view KeyDdns = "-ddns";

// The datagram begins with "REPLY" (case-sensitive).
[[nodiscard]] bool IsSearchReply(std::string_view datagram);

// One reply cut into lines.
class TSearchReply {
public:
    enum class TLineEnds {
        CrLf, // the camera list: only CR LF ends a line
        Any,  // the version read: CR LF, CR or LF
    };

    TSearchReply(std::string_view datagram, TLineEnds lineEnds);

    // The camera list's reading: the value of the first line that begins with key, from
    // the second character after the key (empty when the line is not that long); none when
    // no line begins with key.
    [[nodiscard]] std::optional<std::string> LeadingKey(std::string_view key) const;

    // The version read's reading, line by line in order: the index in keys of the first
    // key that the line holds anywhere, and the text after the line's first blank (empty
    // without a blank). Lines without any of the keys are left out.
    struct TClaimedLine {
        std::size_t Key = 0;
        std::string_view Value;
    };
    [[nodiscard]] std::vector<TClaimedLine>
    ClaimedLines(std::span<const std::string_view> keys) const;

    [[nodiscard]] const std::vector<std::string>& Lines() const { return FLines; }

private:
    std::vector<std::string> FLines;
};

} // namespace ctp

// One reply as the version read takes it. Texts are cut to their field's length.
struct TCTPDeviceRecord {
    static constexpr std::size_t NameLength = 50;
    static constexpr std::size_t SerialLength = 40;
    static constexpr std::size_t AddressLength = 16;
    static constexpr std::size_t VersionLength = 48;

    std::string Name;
    std::string Serial;
    std::string IP;
    std::string Netmask;
    int PortCtp = 0;
    bool DhcpOn = false;
    std::string PrimaryDns;
    std::string SecondaryDns;
    std::string Gateway;
    std::string Version;
};

// The search's replies in arrival order; each is listed under its IP text.
using TCTPDeviceList = std::vector<TCTPDeviceRecord>;

// Parses one reply (a datagram that begins with "REPLY") the way the version read takes
// it. The version is the second blank-separated word of the "-version" value together
// with the blank that ends it (empty when no blank follows that word); "-portctp" that is
// no 32-bit number gives 81; "-dhcpen" is on unless its value is "0".
[[nodiscard]] TCTPDeviceRecord ParseCTPSearchReply(std::string_view datagram);

} // namespace torvane
