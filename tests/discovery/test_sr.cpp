// Probes and reply parsers of the LAN search, without sockets.

#include "DiscoveryTestUtil.h"
#include "discovery/SR.h"
#include "discovery/Tools_Net.h"

#include <gtest/gtest.h>

#include <vector>

namespace torvane {
namespace {

using test::Msg1010;
using test::PutText;

// Records what would have been broadcast.
class TRecordingSender : public IDatagramSender {
public:
    struct TSent {
        std::string Bytes;
        std::uint16_t Port;
    };
    bool BroadcastSend(const void* data, std::size_t length, std::uint16_t port) override {
        Sent.push_back({std::string(static_cast<const char*>(data), length), port});
        return true;
    }
    std::vector<TSent> Sent;
};

TEST(SearchProbes, ByteLayouts) {
    const std::string sq = SQ610Probe();
    ASSERT_EQ(sq.size(), 256u);
    EXPECT_EQ(sq.substr(0, 5), "SQ610");
    // Tag and length of each item, its zero value bytes, then zeros from byte 162 on.
    const std::vector<std::pair<int, int>> items = {
        {0x10, 6},  {0x20, 16}, {0x21, 16}, {0x11, 4}, {0x12, 4},  {0x13, 4},  {0x14, 4},
        {0x1F, 4},  {0x22, 16}, {0x23, 16}, {0x24, 4}, {0x28, 4},  {0x25, 30}, {0x26, 1}};
    std::size_t at = 5;
    for (const auto& [tag, len] : items) {
        EXPECT_EQ(static_cast<std::uint8_t>(sq[at]), tag) << at;
        EXPECT_EQ(static_cast<std::uint8_t>(sq[at + 1]), len) << at;
        EXPECT_EQ(sq.substr(at + 2, len), std::string(len, '\0'));
        at += 2 + len;
    }
    EXPECT_EQ(at, 162u);
    EXPECT_EQ(sq.substr(162), std::string(94, '\0'));

    const std::string moi = MOIProbe();
    std::string expected(27, '\0');
    expected.replace(0, 4, "MO_I");
    expected[15] = 4;
    expected[26] = 1;
    EXPECT_EQ(moi, expected);

    EXPECT_EQ(UicamProbe(), "uicam query");
    EXPECT_EQ(CTPSearch(), "SEARCH * CTP/1.0\r\nFrom:0.0.0.0\r\n\r\n");
    EXPECT_EQ(CTPSearch().size(), 34u);
    EXPECT_EQ(Probe1010(), std::string("\x10\x10\x01\x0F\0\0\0\0", 8));
    EXPECT_EQ(ImagiaProbe(), "IMAGIAQUERY,0");

    TRecordingSender via;
    SendSQ610Probe(via, 4000);
    SendMOIProbe(via, 10000);
    SendUicamProbe(via, 10139);
    SendCTPSearch(via, 7999);
    Send1010Probe(via, 6801);
    ASSERT_EQ(via.Sent.size(), 5u);
    EXPECT_EQ(via.Sent[0].Port, 4000);
    EXPECT_EQ(via.Sent[1].Bytes, moi);
    EXPECT_EQ(via.Sent[4].Port, 6801);
}

TEST(SearchReplies, MoiReply) {
    TDevInfo r;
    std::string d = test::MoiReply("ab-cd:ef 12", "Hall", 9, 64);
    const char versions[8] = {0, 37, 2, 36, 2, 0, 10, 7};
    d.replace(77, 8, versions, 8);
    ASSERT_TRUE(ParseMOIReply(d, r));
    EXPECT_EQ(r.nType, 2);
    EXPECT_EQ(r.szID, "ab-cd:ef 12");
    EXPECT_EQ(r.szMac, "ABCDEF012");
    EXPECT_EQ(r.szName, "Hall");
    EXPECT_EQ(r.szIPAddr, "192.168.1.9");
    EXPECT_EQ(r.szMask, "0.0.0.0");
    EXPECT_EQ(r.szVersion, "0.37.2.36:2.0.10.7");
    EXPECT_EQ(r.wPort, 8080); // big-endian 1F 90
    EXPECT_EQ(r.btDHCP, 2);
    EXPECT_TRUE(r.szDdns.empty());

    // Content length 64 ignores the DHCP and DDNS bytes even when they are there.
    std::string padded = d + std::string(200, '\0');
    padded[87] = 1;
    PutText(padded, 88, "ddns.example");
    TDevInfo r64;
    ASSERT_TRUE(ParseMOIReply(padded, r64));
    EXPECT_EQ(r64.btDHCP, 2);
    EXPECT_TRUE(r64.szDdns.empty());

    std::string d195 = test::MoiReply("ID1", "Gate", 3, 195);
    d195[87] = 1;
    PutText(d195, 88, "ddns.example");
    PutText(d195, 153, "someone");
    TDevInfo r195;
    ASSERT_TRUE(ParseMOIReply(d195, r195));
    EXPECT_EQ(r195.btDHCP, 1);
    EXPECT_EQ(r195.szDdns, "ddns.example");
    EXPECT_EQ(r195.szDdnsUser, "someone");
    EXPECT_TRUE(ParseMOIReply(test::MoiReply("ID1", "x", 3, 65), r195));

    // Other content lengths or operations are no camera; the record stays as it was.
    TDevInfo none;
    EXPECT_FALSE(ParseMOIReply(test::MoiReply("ID1", "x", 3, 66), none));
    std::string op2 = d;
    op2[4] = 2;
    EXPECT_FALSE(ParseMOIReply(op2, none));
    EXPECT_FALSE(ParseMOIReply(MOIProbe(), none)); // our own probe looped back
    EXPECT_EQ(none, TDevInfo());

    // A short answer reads as zero-padded: only the header arrived.
    TDevInfo shortOne;
    ASSERT_TRUE(ParseMOIReply(d.substr(0, 24), shortOne));
    EXPECT_EQ(shortOne.szIPAddr, "0.0.0.0");
    EXPECT_EQ(shortOne.wPort, 0);

    // A name that is not well-formed UTF-8 becomes empty; a UTF-8 name is kept.
    std::string bad = d;
    PutText(bad, 36, "\xC3(\xFF");
    TDevInfo rb;
    ASSERT_TRUE(ParseMOIReply(bad, rb));
    EXPECT_EQ(rb.szName, "");
    std::string good = d;
    PutText(good, 36, "Caf\xC3\xA9");
    ASSERT_TRUE(ParseMOIReply(good, rb));
    EXPECT_EQ(rb.szName, "Caf\xC3\xA9");
}

TEST(SearchReplies, CtpReply) {
    TDevInfo r;
    ASSERT_TRUE(ParseCTPReply("REPLY * CTP/1.0\r\n-sn SN1\r\n-name Door\r\n-ip 10.0.0.7\r\n"
                              "-portctp 8081\r\n-mac 00:12:ab:34:cd:5e\r\n-ddnsuser bob\r\n"
                              "-ddns srv\r\n-version 1.2",
                              r));
    EXPECT_EQ(r.nType, 5);
    EXPECT_EQ(r.btDHCP, 2);
    EXPECT_EQ(r.szSN, "SN1");
    EXPECT_EQ(r.szName, "Door");
    EXPECT_EQ(r.szIPAddr, "10.0.0.7");
    EXPECT_EQ(r.wPort, 8081);
    EXPECT_EQ(r.szID, "0012ab34cd5e");
    EXPECT_EQ(r.szMac, "0012AB34CD5E");
    EXPECT_EQ(r.szDdnsUser, "bob");
    // "-ddns" matches the earlier "-ddnsuser" line, from its seventh character on.
    EXPECT_EQ(r.szDdns, "ser bob");
    EXPECT_EQ(r.szVersion, "1.2"); // the text after the last CR LF is a line too

    TDevInfo notNumber;
    ParseCTPReply("REPLY\r\n-portctp http", notNumber);
    EXPECT_EQ(notNumber.wPort, 80);
    TDevInfo noPort;
    ParseCTPReply("REPLY\r\n-ip 1.2.3.4", noPort);
    EXPECT_EQ(noPort.wPort, 0);
    EXPECT_EQ(noPort.szID, "");

    // "REPLY" alone is a camera with nothing but its type and DHCP flag.
    TDevInfo bare;
    EXPECT_TRUE(ParseCTPReply("REPLY", bare));
    TDevInfo expected;
    expected.nType = 5;
    expected.btDHCP = 2;
    EXPECT_EQ(bare, expected);

    // A key line without a separator or value gives an empty value and reads nothing more.
    TDevInfo keyOnly;
    ParseCTPReply("REPLY\r\n-ip\r\n-name", keyOnly);
    EXPECT_EQ(keyOnly.szIPAddr, "");
    EXPECT_EQ(keyOnly.szName, "");
}

TEST(SearchReplies, Hello1010Answer) {
    std::string hello = Msg1010(0x8F01, 140);
    hello[4] = '\x5A';
    hello[5] = '\xA5';
    hello[6] = '\x33'; // the body length is not checked on receipt
    for (int i = 8; i < 140; ++i) {
        hello[i] = static_cast<char>(i);
    }
    TRecordingSender via;
    ASSERT_TRUE(Answer1010Hello(hello, via, 6801));
    ASSERT_EQ(via.Sent.size(), 1u);
    const std::string& a = via.Sent[0].Bytes;
    EXPECT_EQ(via.Sent[0].Port, 6801);
    ASSERT_EQ(a.size(), 136u);
    EXPECT_EQ(a.substr(0, 2), hello.substr(0, 2));
    EXPECT_EQ(a.substr(2, 2), "\x12\x0F");
    EXPECT_EQ(a.substr(4, 2), hello.substr(4, 2));
    EXPECT_EQ(a.substr(6, 2), std::string("\x80\x00", 2));
    EXPECT_EQ(a.substr(8), hello.substr(12, 128));

    // Too short for the body it echoes, or another code: no hello, no answer.
    TRecordingSender none;
    EXPECT_FALSE(Answer1010Hello(hello.substr(0, 139), none, 6801));
    EXPECT_FALSE(Answer1010Hello(Msg1010(0x8F12, 140), none, 6801));
    EXPECT_TRUE(none.Sent.empty());
}

TEST(SearchReplies, Info1010) {
    std::string info = test::Info1010(0x5E, "192.168.1.20", "Yard", "3.4.5");
    info[88] = '\x1F';
    info[89] = '\x90';
    info[94] = 81;
    info[111] = 7;
    const char serial[7] = {1, 2, 3, 4, 5, 6, '\xAB'};
    info.replace(104, 7, serial, 7);
    TRecordingSender via;
    TDevInfo r;
    ASSERT_TRUE(Parse1010Info(info, r, via, 6801));
    EXPECT_EQ(r.nType, 8);
    EXPECT_EQ(r.szIPAddr, "192.168.1.20");
    EXPECT_EQ(r.wPort, 36895); // little-endian 1F 90
    EXPECT_EQ(r.wPort2, 81);
    EXPECT_EQ(r.szID, "00112233445E");
    EXPECT_EQ(r.szMac, "00112233445E");
    EXPECT_EQ(r.szSN, "010203040506AB");
    EXPECT_EQ(r.btDHCP, 1);
    EXPECT_EQ(r.szName, "Yard");
    EXPECT_EQ(r.szVersion, "3.4.5");
    ASSERT_EQ(via.Sent.size(), 1u);
    const std::string& ack = via.Sent[0].Bytes;
    ASSERT_EQ(ack.size(), 136u);
    EXPECT_EQ(ack.substr(2, 2), "\x0F\x0F");
    EXPECT_EQ(ack.substr(6, 2), std::string("\x80\x00", 2));
    EXPECT_EQ(ack.substr(8), info.substr(8, 128));

    // An address that fills its field runs no further than the field; a version without
    // its zero byte ends with the datagram.
    std::string full = test::Info1010(1, "1234567890123456", "n");
    full.resize(136);
    full += "9.9";
    TDevInfo rf;
    ASSERT_TRUE(Parse1010Info(full, rf, via, 6801));
    EXPECT_EQ(rf.szIPAddr, "1234567890123456");
    EXPECT_EQ(rf.szVersion, "9.9");
    EXPECT_EQ(rf.btDHCP, 2);

    // 135 bytes lack the end of the name field: not an info message, no acknowledgement.
    TRecordingSender none;
    TDevInfo rn;
    EXPECT_FALSE(Parse1010Info(info.substr(0, 135), rn, none, 6801));
    EXPECT_TRUE(none.Sent.empty());
    EXPECT_EQ(rn, TDevInfo());
}

TEST(SearchReplies, Ddns1010) {
    std::string d = Msg1010(0x8F0F, 400);
    const char mac[6] = {0, 0x11, 0x22, 0x33, 0x44, 0x55};
    d.replace(96, 6, mac, 6);
    PutText(d, 142, "ddns.example.org");
    PutText(d, 272, "user1");
    PutText(d, 336, "secret");
    T1010Ddns ddns;
    ASSERT_TRUE(Parse1010Ddns(d, ddns));
    EXPECT_EQ(ddns.Key, "001122334455");
    EXPECT_EQ(ddns.Server, "ddns.example.org");
    EXPECT_EQ(ddns.User, "user1");
    EXPECT_EQ(ddns.Password, "secret");
    // The password may end with the datagram; 336 bytes cannot hold it at all.
    T1010Ddns cut;
    ASSERT_TRUE(Parse1010Ddns(d.substr(0, 338), cut));
    EXPECT_EQ(cut.Password, "se");
    EXPECT_FALSE(Parse1010Ddns(d.substr(0, 336), cut));
}

TEST(SearchReplies, TypesAndTexts) {
    EXPECT_EQ(DevTypeToSeries(2), "F");
    EXPECT_EQ(DevTypeToSeries(4), "H");
    EXPECT_EQ(DevTypeToSeries(5), "E");
    EXPECT_EQ(DevTypeToSeries(8), "H");
    EXPECT_EQ(DevTypeToSeries(9), "T");
    EXPECT_EQ(DevTypeToSeries(999), "NAS");
    EXPECT_EQ(DevTypeToSeries(11), "");
    EXPECT_EQ(DevTypeToSeries(-1), "");
    const std::vector<std::pair<int, int>> index = {{5, 0}, {2, 1}, {8, 2}, {9, 3},
                                                    {4, -1}, {0, -1}, {-1, -1}};
    for (const auto& [type, expected] : index) {
        EXPECT_EQ(SeriesIndexOf(type), expected) << type;
    }
    const std::uint8_t mac[6] = {0x00, 0x12, 0xAB, 0x34, 0xCD, 0x5E};
    EXPECT_EQ(MacToStr(mac), "0012AB34CD5E");
    const std::uint8_t serial[7] = {1, 2, 3, 0xFF, 0, 0x10, 0xA0};
    EXPECT_EQ(SerialToStr(serial), "010203FF0010A0");
    EXPECT_EQ(NormalizeMac("00-1a:2b 3c"), "001A2B03C");

    const std::uint8_t ip[4] = {10, 0, 0, 1};
    EXPECT_EQ(TTools_Net::IPv4ToStr(ip), "10.0.0.1");
    EXPECT_LT(TTools_Net::CompareDotted("10.0.0.2", "10.0.0.10"), 0);
    EXPECT_GT(TTools_Net::CompareDotted("192.168.1.20", "192.168.1.3"), 0);
    EXPECT_EQ(TTools_Net::CompareDotted("192.168.1.9", "192.168.1.9"), 0);
    EXPECT_EQ(TTools_Net::CompareDotted("10.0.0.10", "10.0.0.2"), 1);
    // Different numbers of parts: text order, so "1.2" comes before "1.2.3" and "9.1"
    // after "10.1.1".
    EXPECT_LT(TTools_Net::CompareDotted("1.2", "1.2.3"), 0);
    EXPECT_GT(TTools_Net::CompareDotted("9.1", "10.1.1"), 0);
    EXPECT_EQ(TTools_Net::CompareDotted("A.b", "a.B"), 0); // parts that are no number are 0
    EXPECT_EQ(TTools_Net::CompareDotted("", ""), 0);
}

} // namespace
} // namespace torvane
