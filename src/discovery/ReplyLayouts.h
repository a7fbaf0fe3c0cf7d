#pragma once
// The binary layouts of the LAN search's MO_I and 1010 datagrams, written down once: the
// probes and answers are built from these fields, the parsers in discovery/SR read them,
// and the tests build their camera replies from them. Offsets count from the start of
// the datagram. (The T-series datagrams are in series/T924Datagram.h, the CTP search
// reply, a text, in series/CtpSearchReply.h.)

#include "platform/ByteReader.h"
#include "series/DevInfo.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace torvane {

namespace moi {

using platform::TByteField;

inline constexpr std::string_view Magic = "MO_I";
inline constexpr TByteField MagicField{0, 4};
inline constexpr TByteField Operation{4, 2};      // 16-bit little-endian
inline constexpr TByteField ContentLength{15, 4}; // 32-bit little-endian
inline constexpr std::size_t HeaderSize = 23;

inline constexpr std::uint16_t OpSearch = 0;       // the probe
inline constexpr std::uint16_t OpSearchAnswer = 1; // a camera's answer

// The probe: the header and four bytes of content whose last is 1.
inline constexpr std::uint32_t ProbeContentLength = 4;
inline constexpr TByteField ProbeFlag{26, 1};

// The answer, read as if padded with zeros to AnswerReadSize bytes.
inline constexpr std::size_t AnswerReadSize = 279;
inline constexpr TByteField CameraId{23, 13};
inline constexpr TByteField Name{36, 21}; // UTF-8
inline constexpr TByteField Address{57, 4};
inline constexpr TByteField Netmask{61, 4};
inline constexpr TByteField Gateway{65, 4};
inline constexpr TByteField Dns{69, 4};
inline constexpr TByteField SystemVersion{77, 4};
inline constexpr TByteField AppVersion{81, 4};
inline constexpr TByteField Port{85, 2}; // big-endian
// Only in an answer of content length 195:
inline constexpr TByteField Dhcp{87, 1};
inline constexpr TByteField DdnsServer{88, 65};
inline constexpr TByteField DdnsUser{153, 65};

} // namespace moi

namespace m1010 {

using platform::TByteField;

inline constexpr std::uint8_t Magic = 0x10; // bytes 0 and 1
inline constexpr TByteField MagicField{0, 2};
inline constexpr TByteField Code{2, 2};       // 16-bit little-endian
inline constexpr TByteField Echoed{4, 2};     // not interpreted; echoed in the answers
inline constexpr TByteField BodyLength{6, 2}; // 16-bit little-endian
inline constexpr std::size_t HeaderSize = 8;

// The message codes.
inline constexpr std::uint16_t CodeSearch = 0x0F01;      // the probe
inline constexpr std::uint16_t CodeHello = 0x8F01;       // a camera's hello
inline constexpr std::uint16_t CodeHelloAnswer = 0x0F12; // the system's answer to it
inline constexpr std::uint16_t CodeInfo = 0x8F12;        // the device information
inline constexpr std::uint16_t CodeInfoAck = 0x0F0F;     // the system's acknowledgement
inline constexpr std::uint16_t CodeDdns = 0x8F0F;        // the DDNS settings

// The system's answers: the header, then a 128-byte body taken from the camera's message.
inline constexpr std::uint16_t AnswerBodyLength = 128;
inline constexpr std::size_t AnswerSize = HeaderSize + AnswerBodyLength;
inline constexpr std::size_t HelloAnswerBodyFrom = 12; // the hello's bytes 12 to 139
inline constexpr std::size_t InfoAckBodyFrom = 8;      // the information's bytes 8 to 135

// The device information message.
inline constexpr TByteField InfoAddresses{8, addresstexts::Size}; // address, netmask, ...
inline constexpr TByteField InfoPort{88, 2};  // little-endian
inline constexpr TByteField InfoPort2{94, 2}; // little-endian
inline constexpr TByteField InfoMac{96, 6};
inline constexpr TByteField InfoAux2{102, 2};
inline constexpr TByteField InfoSerial{104, 7};
inline constexpr TByteField InfoDhcp{111, 1};
inline constexpr TByteField InfoName{112, 24};      // UTF-8
inline constexpr std::size_t InfoVersionFrom = 136; // to its zero byte

// The DDNS message: each text ends at its zero byte, at the latest where the next begins.
inline constexpr TByteField DdnsMac{96, 6};
inline constexpr TByteField DdnsServer{142, 130};
inline constexpr TByteField DdnsUser{272, 64};
inline constexpr std::size_t DdnsPasswordFrom = 336; // to its zero byte

// The shortest datagram that holds every field each message is read for. A shorter one
// is not that message.
inline constexpr std::size_t MinSizeHello = HelloAnswerBodyFrom + AnswerBodyLength; // 140
inline constexpr std::size_t MinSizeInfo = InfoVersionFrom;                       // 136
inline constexpr std::size_t MinSizeDdns = DdnsPasswordFrom + 1;                  // 337

} // namespace m1010

} // namespace torvane
