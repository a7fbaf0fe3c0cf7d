#pragma once
// The LAN search's probes and the parsing of the cameras' replies, family by family:
// SQ610, MO_I, uicam, CTP, the 1010 protocol (named after the two bytes that open each of
// its datagrams) and IMAGIA. Datagrams are given whole, as bytes; every parser reads only
// what arrived.

#include "discovery/DatagramSender.h"
#include "discovery/ReplyLayouts.h"
#include "series/DevInfo.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace torvane {

// Where each family's cameras listen.
constexpr std::uint16_t SQ610ProbePort = 4000;
constexpr std::uint16_t MOIProbePort = 10000;
constexpr std::uint16_t UicamProbePort = 10139;
constexpr std::uint16_t CTPProbePort = 7999;
constexpr std::uint16_t Probe1010Port = 6801;
constexpr std::uint16_t ImagiaProbePort = 10000;

// Device type codes.
constexpr std::int32_t DevTypeMOI = 2;
constexpr std::int32_t DevTypeVendor = 4;
constexpr std::int32_t DevTypeCTP = 5;
constexpr std::int32_t DevType1010 = 8;
constexpr std::int32_t DevTypeT924 = 9;

// The probes' bytes.
[[nodiscard]] std::string SQ610Probe();   // 256 bytes
[[nodiscard]] std::string MOIProbe();     // 27 bytes
[[nodiscard]] std::string UicamProbe();   // "uicam query"
[[nodiscard]] std::string CTPSearch();    // "SEARCH * CTP/1.0" request, 34 bytes
[[nodiscard]] std::string Probe1010();    // 8 bytes
[[nodiscard]] std::string ImagiaProbe();  // "IMAGIAQUERY,0"

// Each sends its probe through the listener to port; a failed send is ignored.
void SendSQ610Probe(IDatagramSender& via, std::uint16_t port);
void SendMOIProbe(IDatagramSender& via, std::uint16_t port);
void SendUicamProbe(IDatagramSender& via, std::uint16_t port);
void SendCTPSearch(IDatagramSender& via, std::uint16_t port);
void Send1010Probe(IDatagramSender& via, std::uint16_t port);

// MO_I search answer (operation 1, content length 64, 65 or 195) into the record. False
// for anything else; the record is then untouched, and why (when given) says what the
// datagram was, for the diagnostic log.
[[nodiscard]] bool ParseMOIReply(std::string_view datagram, TDevInfo& record,
                                 std::string* why = nullptr);
// CTP "REPLY" text into the record; always true.
bool ParseCTPReply(std::string_view datagram, TDevInfo& record);

// True when the datagram is a 1010 hello; its answer then went out through via to port.
[[nodiscard]] bool Answer1010Hello(std::string_view datagram, IDatagramSender& via,
                                   std::uint16_t port);
// True when the datagram is a 1010 device information message: the record is filled and
// the acknowledgement went out through via to port.
[[nodiscard]] bool Parse1010Info(std::string_view datagram, TDevInfo& record,
                                 IDatagramSender& via, std::uint16_t port);

struct T1010Ddns {
    std::string Key; // MacToStr of the camera's MAC: the szID of its 1010 entry
    std::string Server;
    std::string User;
    std::string Password;
};
// True when the datagram is a 1010 DDNS message.
[[nodiscard]] bool Parse1010Ddns(std::string_view datagram, T1010Ddns& ddns);
// Why a datagram that none of the three 1010 readers took was not read (for the
// diagnostic log): another code, or too short for its message's fields.
[[nodiscard]] std::string Why1010NotRead(std::string_view datagram);

// Series code shown in the list ("F", "H", "E", "T", ...; empty for unknown codes).
[[nodiscard]] std::string DevTypeToSeries(std::int32_t nType);
// Series index of the main window: 5 -> 0 (E), 2 -> 1 (F), 8 -> 2 (H), 9 -> 3 (T), else -1.
[[nodiscard]] int SeriesIndexOf(std::int32_t nType);

} // namespace torvane
