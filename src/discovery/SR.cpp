#include "discovery/SR.h"

#include "discovery/ReplyLayouts.h"
#include "discovery/Tools_Net.h"
#include "platform/CodePage.h"
#include "platform/Diag.h"
#include "platform/Text.h"
#include "platform/ByteReader.h"
#include "platform/ByteWriter.h"
#include "series/CtpSearch.h"
#include "series/CtpSearchReply.h"

#include <optional>

namespace torvane {

namespace {

// A probe that cannot go out is skipped; the pass goes on.
void Send(IDatagramSender& via, const std::string& bytes, std::uint16_t port) {
    try {
        if (!via.BroadcastSend(bytes.data(), bytes.size(), port)) {
            platform::Diag(platform::EDiag::Discovery,
                           "a datagram of " + std::to_string(bytes.size()) + " bytes to port " +
                               std::to_string(port) + " went out nowhere");
        }
    } catch (...) {
        platform::DiagCaught(platform::EDiag::Discovery,
                             "sending to port " + std::to_string(port));
    }
}

std::string Hex16(std::uint16_t value) {
    const std::uint8_t bytes[2] = {static_cast<std::uint8_t>(value >> 8),
                                   static_cast<std::uint8_t>(value & 0xFF)};
    return "0x" + platform::HexText(bytes, 2);
}

// A camera name sent as UTF-8: kept when well-formed, empty otherwise.
std::string Utf8Name(std::string name) {
    return platform::IsValidUtf8(name) ? name : std::string();
}

std::string IPv4At(const platform::TByteReader& r, platform::TByteField field) {
    std::uint8_t bytes[4];
    r.Copy(field, bytes);
    return TTools_Net::IPv4ToStr(bytes);
}

bool Is1010(const platform::TByteReader& r, std::uint16_t code, std::size_t minSize) {
    return r.Has(0, minSize) && r.U8(0) == m1010::Magic && r.U8(1) == m1010::Magic &&
           r.U16LE(m1010::Code) == code;
}

// The 136-byte answer: the message's header with the code replaced and a body length of
// 128, then the 128 body bytes from bodyFrom.
std::string Answer1010(std::string_view datagram, std::uint16_t code, std::size_t bodyFrom) {
    std::string out(datagram.substr(0, m1010::HeaderSize));
    platform::TByteWriter w(out);
    w.U16LE(m1010::Code, code);
    w.U16LE(m1010::BodyLength, m1010::AnswerBodyLength);
    out.append(datagram.substr(bodyFrom, m1010::AnswerBodyLength));
    return out;
}

} // namespace

// --- probes -----------------------------------------------------------------------------

std::string SQ610Probe() {
    std::string out(256, '\0');
    out.replace(0, 5, "SQ610");
    static constexpr std::uint8_t Items[][2] = {
        {0x10, 6},  {0x20, 16}, {0x21, 16}, {0x11, 4},  {0x12, 4},  {0x13, 4}, {0x14, 4},
        {0x1F, 4},  {0x22, 16}, {0x23, 16}, {0x24, 4},  {0x28, 4},  {0x25, 30}, {0x26, 1}};
    std::size_t at = 5;
    for (const auto& item : Items) {
        out[at] = static_cast<char>(item[0]);
        out[at + 1] = static_cast<char>(item[1]);
        at += 2 + item[1]; // the item's value bytes stay zero
    }
    return out;
}

std::string MOIProbe() {
    std::string out(moi::HeaderSize + moi::ProbeContentLength, '\0');
    platform::TByteWriter w(out);
    w.Bytes(moi::MagicField.Offset, moi::Magic);
    w.U16LE(moi::Operation, moi::OpSearch);
    w.U32LE(moi::ContentLength, moi::ProbeContentLength);
    w.U8(moi::ProbeFlag, 1);
    return out;
}

std::string UicamProbe() {
    return "uicam query";
}

std::string CTPSearch() {
    return std::string(CtpSearchProbe);
}

std::string Probe1010() {
    std::string out(m1010::HeaderSize, '\0');
    platform::TByteWriter w(out);
    w.U8(0, m1010::Magic);
    w.U8(1, m1010::Magic);
    w.U16LE(m1010::Code, m1010::CodeSearch); // body length 0
    return out;
}

std::string ImagiaProbe() {
    return "IMAGIAQUERY,0";
}

void SendSQ610Probe(IDatagramSender& via, std::uint16_t port) {
    Send(via, SQ610Probe(), port);
}

void SendMOIProbe(IDatagramSender& via, std::uint16_t port) {
    Send(via, MOIProbe(), port);
}

void SendUicamProbe(IDatagramSender& via, std::uint16_t port) {
    Send(via, UicamProbe(), port);
}

void SendCTPSearch(IDatagramSender& via, std::uint16_t port) {
    Send(via, CTPSearch(), port);
}

void Send1010Probe(IDatagramSender& via, std::uint16_t port) {
    Send(via, Probe1010(), port);
}

// --- MO_I -------------------------------------------------------------------------------

bool ParseMOIReply(std::string_view datagram, TDevInfo& record, std::string* why) {
    // The answer is read as if padded with zeros to 279 bytes; later bytes are ignored.
    const platform::TByteReader r(datagram.substr(0, moi::AnswerReadSize));
    if (!r.StartsWith(moi::Magic)) {
        if (why != nullptr) {
            *why = "no MO_I datagram";
        }
        return false;
    }
    if (const std::uint16_t operation = r.U16LE(moi::Operation);
        operation != moi::OpSearchAnswer) {
        if (why != nullptr) {
            *why = operation == moi::OpSearch
                       ? std::string("a MO_I search probe (this PC's own or another's)")
                       : "MO_I operation " + std::to_string(operation) + ", not a search answer";
        }
        return false;
    }
    const std::uint32_t contentLength = r.U32LE(moi::ContentLength);
    if (contentLength != 64 && contentLength != 65 && contentLength != 195) {
        if (why != nullptr) {
            *why = "MO_I search answer with content length " + std::to_string(contentLength) +
                   " (64, 65 or 195 are read)";
        }
        return false;
    }
    record.nType = DevTypeMOI;
    record.btDHCP = 2;
    record.szID = r.Text(moi::CameraId);
    record.szMac = NormalizeMac(record.szID);
    record.szName = Utf8Name(r.Text(moi::Name));
    record.szIPAddr = IPv4At(r, moi::Address);
    record.szMask = IPv4At(r, moi::Netmask);
    record.szGateway = IPv4At(r, moi::Gateway);
    record.szDNS1 = IPv4At(r, moi::Dns);
    record.szVersion = IPv4At(r, moi::SystemVersion) + ":" + IPv4At(r, moi::AppVersion);
    record.wPort = r.U16BE(moi::Port);
    if (contentLength == 195) {
        record.btDHCP = r.U8(moi::Dhcp) == 1 ? 1 : 2;
        record.szDdns = r.Text(moi::DdnsServer);
        record.szDdnsUser = r.Text(moi::DdnsUser);
    }
    return true;
}

// --- CTP --------------------------------------------------------------------------------

bool ParseCTPReply(std::string_view datagram, TDevInfo& record) {
    record.nType = DevTypeCTP;
    record.btDHCP = 2;
    // The list's reading of the reply: lines cut at CR LF, each key on the first line
    // that begins with it (series/CtpSearchReply.h tells how the version read differs).
    const ctp::TSearchReply reply(datagram, ctp::TSearchReply::TLineEnds::CrLf);
    const auto take = [&reply](std::string_view key, std::string& field) {
        if (std::optional<std::string> value = reply.LeadingKey(key)) {
            field = std::move(*value);
        }
    };
    take(ctp::KeySerial, record.szSN);
    take(ctp::KeyName, record.szName);
    take(ctp::KeyIP, record.szIPAddr);
    take(ctp::KeyNetmask, record.szMask);
    if (const auto port = reply.LeadingKey(ctp::KeyPortCtp)) {
        record.wPort = static_cast<std::uint16_t>(platform::ToIntDef(*port, 80));
    }
    take(ctp::KeyPrimaryDns, record.szDNS1);
    take(ctp::KeySecondaryDns, record.szDNS2);
    if (const auto mac = reply.LeadingKey(ctp::KeyMac)) {
        record.szID = platform::ReplaceAll(*mac, ":", "");
        record.szMac = NormalizeMac(record.szID);
    }
    take(ctp::KeyGateway, record.szGateway);
    take(ctp::KeyDdnsUser, record.szDdnsUser);
    take(ctp::KeyDdnsPassword, record.szDdnsPwd);
    // Matches a "-ddnsuser" or "-ddnspswd" line too when that comes first.
    take(ctp::KeyDdns, record.szDdns);
    take(ctp::KeyVersion, record.szVersion);
    return true;
}

// --- 1010 -------------------------------------------------------------------------------

bool Answer1010Hello(std::string_view datagram, IDatagramSender& via, std::uint16_t port) {
    if (!Is1010(platform::TByteReader(datagram), m1010::CodeHello, m1010::MinSizeHello)) {
        return false;
    }
    Send(via, Answer1010(datagram, m1010::CodeHelloAnswer, m1010::HelloAnswerBodyFrom), port);
    return true;
}

bool Parse1010Info(std::string_view datagram, TDevInfo& record, IDatagramSender& via,
                   std::uint16_t port) {
    const platform::TByteReader r(datagram);
    if (!Is1010(r, m1010::CodeInfo, m1010::MinSizeInfo)) {
        return false;
    }
    record.nType = DevType1010;
    // Address texts are cut at their field's width when they fill it without a zero.
    ReadAddressTexts(r.Sub(m1010::InfoAddresses), record);
    record.wPort = r.U16LE(m1010::InfoPort);
    record.wPort2 = r.U16LE(m1010::InfoPort2);
    std::uint8_t mac[m1010::InfoMac.Size];
    r.Copy(m1010::InfoMac, mac);
    record.szID = MacToStr(mac);
    record.szMac = NormalizeMac(record.szID);
    record.wAux2 = r.U16LE(m1010::InfoAux2);
    std::uint8_t serial[m1010::InfoSerial.Size];
    r.Copy(m1010::InfoSerial, serial);
    record.szSN = SerialToStr(serial);
    record.btDHCP = r.U8(m1010::InfoDhcp) != 0 ? 1 : 2;
    record.szName = Utf8Name(r.Text(m1010::InfoName));
    // To its zero byte or the datagram's end.
    record.szVersion = r.Text(m1010::InfoVersionFrom, r.Length());
    Send(via, Answer1010(datagram, m1010::CodeInfoAck, m1010::InfoAckBodyFrom), port);
    return true;
}

bool Parse1010Ddns(std::string_view datagram, T1010Ddns& ddns) {
    const platform::TByteReader r(datagram);
    if (!Is1010(r, m1010::CodeDdns, m1010::MinSizeDdns)) {
        return false;
    }
    std::uint8_t mac[m1010::DdnsMac.Size];
    r.Copy(m1010::DdnsMac, mac);
    ddns.Key = MacToStr(mac);
    // Each text ends at its zero byte, and at the latest where the next one begins.
    ddns.Server = r.Text(m1010::DdnsServer);
    ddns.User = r.Text(m1010::DdnsUser);
    ddns.Password = r.Text(m1010::DdnsPasswordFrom, r.Length());
    return true;
}

std::string Why1010NotRead(std::string_view datagram) {
    const platform::TByteReader r(datagram);
    if (!r.Has(0, m1010::HeaderSize) || r.U8(0) != m1010::Magic || r.U8(1) != m1010::Magic) {
        return "no 1010 message (" + std::to_string(datagram.size()) + " bytes)";
    }
    const std::uint16_t code = r.U16LE(m1010::Code);
    const auto shortFor = [&](const char* what, std::size_t needed) {
        return std::string("a 1010 ") + what + " of " + std::to_string(datagram.size()) +
               " bytes, shorter than its " + std::to_string(needed) + " bytes of fields";
    };
    switch (code) {
    case m1010::CodeHello:
        return shortFor("hello", m1010::MinSizeHello);
    case m1010::CodeInfo:
        return shortFor("information message", m1010::MinSizeInfo);
    case m1010::CodeDdns:
        return shortFor("DDNS message", m1010::MinSizeDdns);
    default:
        return "a 1010 message with code " + Hex16(code) + ", which the search does not read";
    }
}

// --- device types -----------------------------------------------------------------------

std::string DevTypeToSeries(std::int32_t nType) {
    switch (nType) {
    case 0:
        return "E";
    case 1:
        return "M";
    case 2:
        return "F";
    case 3:
        return "F1";
    case 4:
        return "H";
    case 5:
        return "E";
    case 6:
        return "V";
    case 7:
        return "F2";
    case 8:
        return "H";
    case 9:
        return "T";
    case 10:
        return "H2";
    case 999:
        return "NAS";
    default:
        return {};
    }
}

int SeriesIndexOf(std::int32_t nType) {
    switch (nType) {
    case DevTypeCTP:
        return 0;
    case DevTypeMOI:
        return 1;
    case DevType1010:
        return 2;
    case DevTypeT924:
        return 3;
    default:
        return -1;
    }
}

} // namespace torvane
