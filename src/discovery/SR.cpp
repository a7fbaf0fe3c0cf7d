#include "discovery/SR.h"

#include "discovery/Tools_Net.h"
#include "platform/CodePage.h"
#include "platform/Text.h"
#include "platform/ByteReader.h"
#include "series/CtpSearch.h"
#include "series/CtpSearchReply.h"

#include <optional>

namespace torvane {

namespace {

void Put16LE(std::string& out, std::size_t offset, std::uint16_t value) {
    out[offset] = static_cast<char>(value & 0xFF);
    out[offset + 1] = static_cast<char>(value >> 8);
}

void Put32LE(std::string& out, std::size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

void Send(IDatagramSender& via, const std::string& bytes, std::uint16_t port) {
    try {
        (void)via.BroadcastSend(bytes.data(), bytes.size(), port);
    } catch (...) {
        // A probe that cannot go out is skipped; the pass goes on.
    }
}

// A camera name sent as UTF-8: kept when well-formed, empty otherwise.
std::string Utf8Name(std::string name) {
    return platform::IsValidUtf8(name) ? name : std::string();
}

std::string IPv4At(const platform::TByteReader& r, std::size_t offset) {
    std::uint8_t bytes[4];
    r.Copy(offset, 4, bytes);
    return TTools_Net::IPv4ToStr(bytes);
}

bool Is1010(const platform::TByteReader& r, std::uint16_t code, std::size_t minSize) {
    return r.Has(0, minSize) && r.U8(0) == 0x10 && r.U8(1) == 0x10 && r.U16LE(2) == code;
}

// The 136-byte answer: the message's header with the code replaced and a body length of
// 128, then the 128 body bytes from bodyOffset.
std::string Answer1010(std::string_view datagram, std::uint16_t code, std::size_t bodyOffset) {
    std::string out(datagram.substr(0, 8));
    Put16LE(out, 2, code);
    Put16LE(out, 6, 128);
    out.append(datagram.substr(bodyOffset, 128));
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
    std::string out(27, '\0');
    out.replace(0, 4, "MO_I");
    Put16LE(out, 4, 0);  // operation: search request
    Put32LE(out, 15, 4); // content length
    out[26] = 1;
    return out;
}

std::string UicamProbe() {
    return "uicam query";
}

std::string CTPSearch() {
    return std::string(CtpSearchProbe);
}

std::string Probe1010() {
    return std::string("\x10\x10\x01\x0F\x00\x00\x00\x00", 8);
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

bool ParseMOIReply(std::string_view datagram, TDevInfo& record) {
    // The answer is read as if padded with zeros to 279 bytes; later bytes are ignored.
    const platform::TByteReader r(datagram.substr(0, 279));
    if (r.Rest(0).substr(0, 4) != "MO_I" || r.U16LE(4) != 1) {
        return false;
    }
    const std::uint32_t contentLength = r.U32LE(15);
    if (contentLength != 64 && contentLength != 65 && contentLength != 195) {
        return false;
    }
    record.nType = DevTypeMOI;
    record.btDHCP = 2;
    record.szID = r.Text(23, 13);
    record.szMac = NormalizeMac(record.szID);
    record.szName = Utf8Name(r.Text(36, 21));
    record.szIPAddr = IPv4At(r, 57);
    record.szMask = IPv4At(r, 61);
    record.szGateway = IPv4At(r, 65);
    record.szDNS1 = IPv4At(r, 69);
    record.szVersion = IPv4At(r, 77) + ":" + IPv4At(r, 81);
    record.wPort = r.U16BE(85);
    if (contentLength == 195) {
        record.btDHCP = r.U8(87) == 1 ? 1 : 2;
        record.szDdns = r.Text(88, 65);
        record.szDdnsUser = r.Text(153, 65);
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
    if (!Is1010(platform::TByteReader(datagram), Code1010Hello, MinSize1010Hello)) {
        return false;
    }
    Send(via, Answer1010(datagram, Code1010HelloAnswer, 12), port);
    return true;
}

bool Parse1010Info(std::string_view datagram, TDevInfo& record, IDatagramSender& via,
                   std::uint16_t port) {
    const platform::TByteReader r(datagram);
    if (!Is1010(r, Code1010Info, MinSize1010Info)) {
        return false;
    }
    record.nType = DevType1010;
    // Address texts are cut at their field's width when they fill it without a zero.
    record.szIPAddr = r.Text(8, 16);
    record.szMask = r.Text(24, 16);
    record.szGateway = r.Text(40, 16);
    record.szDNS1 = r.Text(56, 16);
    record.szDNS2 = r.Text(72, 16);
    record.wPort = r.U16LE(88);
    record.wPort2 = r.U16LE(94);
    std::uint8_t mac[6];
    r.Copy(96, 6, mac);
    record.szID = MacToStr(mac);
    record.szMac = NormalizeMac(record.szID);
    record.wAux2 = r.U16LE(102);
    std::uint8_t serial[7];
    r.Copy(104, 7, serial);
    record.szSN = SerialToStr(serial);
    record.btDHCP = r.U8(111) != 0 ? 1 : 2;
    record.szName = Utf8Name(r.Text(112, 24));
    record.szVersion = r.Text(136, r.Length()); // to its zero byte or the datagram's end
    Send(via, Answer1010(datagram, Code1010InfoAck, 8), port);
    return true;
}

bool Parse1010Ddns(std::string_view datagram, T1010Ddns& ddns) {
    const platform::TByteReader r(datagram);
    if (!Is1010(r, Code1010Ddns, MinSize1010Ddns)) {
        return false;
    }
    std::uint8_t mac[6];
    r.Copy(96, 6, mac);
    ddns.Key = MacToStr(mac);
    // Each text ends at its zero byte, and at the latest where the next one begins.
    ddns.Server = r.Text(142, 272 - 142);
    ddns.User = r.Text(272, 336 - 272);
    ddns.Password = r.Text(336, r.Length());
    return true;
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
