// The T-series client's settings operations against a loopback camera: what each request
// asks, how each reply is read, and the set datagram by broadcast.

#include "series/SR_924.h"

#include "i18n/Deployment.h"
#include "platform/ByteWriter.h"
#include "platform/Host.h"
#include "support/LoopbackHttpServer.h"
#include "support/LoopbackUdpPeer.h"
#include "support/TestHost.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

namespace torvane {
namespace {

using test::THttpReply;
using test::TLoopbackHttpServer;
using test::TLoopbackUdpPeer;

class TT924SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform::SetHost(&Host);
        Device.szIPAddr = "127.0.0.1";
        Device.wPort = Camera.Port();
        Device.szVersion = "48.2.0.200";
        Client.SetDevice(&Device);
    }
    void TearDown() override { platform::SetHost(nullptr); }

    [[nodiscard]] std::vector<std::string> Targets() const {
        std::vector<std::string> targets;
        for (const auto& r : Camera.Requests()) {
            targets.push_back(r.Target);
        }
        return targets;
    }

    test::TTestHost Host;
    test::TFakeSleeperScope Sleep;
    TLoopbackHttpServer Camera;
    TDevInfo Device;
    TT924Series Client{0};
};

const std::string TwoAccessPoints =
    "var ap_number=2;\r\n"
    "var ap_ssid[0]=\" MyNet \";\r\nvar ap_mode[0]=1;\r\nvar ap_security[0]=3;\r\n"
    "var ap_dbm0[0]='-45';\r\nvar ap_dbm1[0]='-47';\r\nvar ap_mac[0]=\"00:11:22:33:44:55\";\r\n"
    "var ap_ssid[1]=\"Other\";\r\nvar ap_dbm0[1]='-70';\r\n";

TEST_F(TT924SettingsTest, WifiScanListsAccessPointsAndReleasesThemNextTime) {
    Camera.Handle("/wifi_scan.cgi", THttpReply::Ok("ok"));
    Camera.Handle("/get_wifi_scan_result.cgi", THttpReply::Ok(TwoAccessPoints));
    std::vector<TWifiListEntry> list;
    ASSERT_EQ(Client.ScanWifi(" admin ", "p w", list), 2);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].Text, "MyNet(-45)");
    EXPECT_EQ(list[1].Text, "Other(-70)");
    const TWiFiRecord& first = *list[0].Record;
    EXPECT_EQ(first.Mode, 1);
    EXPECT_EQ(first.Security, 3);
    EXPECT_EQ(first.Dbm1, "-47");
    EXPECT_EQ(first.Mac, "00:11:22:33:44:55");
    EXPECT_EQ(list[1].Record->Mac, "");
    const std::string port = std::to_string(Camera.Port());
    EXPECT_EQ(Targets(), (std::vector<std::string>{"/wifi_scan.cgi?user=admin&pwd=p%20w",
                                                   "/get_wifi_scan_result.cgi?user=admin&pwd=p%20w"}));
    EXPECT_EQ(Sleep.Sleeper.Waits(), std::vector<int>{200});

    // The next scan first drops the old list; a camera that does not start the scan gives -1.
    Camera.Handle("/wifi_scan.cgi", THttpReply::Ok("busy"));
    EXPECT_EQ(Client.ScanWifi("admin", "", list), -1);
    EXPECT_TRUE(list.empty());
}

TEST_F(TT924SettingsTest, BadScanRepliesNeverReadPastTheList) {
    Camera.Handle("/wifi_scan.cgi", THttpReply::Ok("ok"));
    std::vector<TWifiListEntry> list;
    const auto scan = [&](const std::string& result) {
        Camera.Handle("/get_wifi_scan_result.cgi", THttpReply::Ok(result));
        return Client.ScanWifi("admin", "", list);
    };
    // More announced than listed: the missing one stays empty.
    ASSERT_EQ(scan("var ap_number=3;\r\n" + TwoAccessPoints.substr(TwoAccessPoints.find('\n') + 1)), 3);
    EXPECT_EQ(list[2].Text, "()");
    // Fewer announced than listed, an index beyond the count, lines without an index.
    ASSERT_EQ(scan("var ap_number=1;\r\nvar ap_ssid[0]=\"A\";\r\nvar ap_ssid[7]=\"X\";\r\n"
                   "var ap_ssid[-1]=\"Y\";\r\nap_dbm0]0['-1';\r\nvar junk=\"Z\";\r\n"
                   "var ap_ssid[1]=\"B\";"),
              1);
    EXPECT_EQ(list[0].Text, "A()");
    EXPECT_EQ(scan("var ap_number=0;"), 0);
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(scan("var ap_number=999999999;"), -1);
    EXPECT_EQ(scan("no list"), -1);

    Client.SetDevice(nullptr);
    EXPECT_EQ(Client.ScanWifi("admin", "", list), -1);
}

TEST_F(TT924SettingsTest, FactoryParamsStatusCodes) {
    const auto status = [&](const std::string& page) {
        Camera.Handle("/get_factory_param.cgi", THttpReply::Ok(page));
        TFactoryParams* p = Client.GetFactoryParams("admin", "Pw", false);
        return p == nullptr ? -1 : p->Status;
    };
    EXPECT_EQ(status("var factory_index=10;\r\nvar factory_server=\"ddns.example\";\r\n"
                     "var factory_port=8080;\r\nvar factory_user='u1';\r\nvar factory_passwd=\"x\";"),
              0);
    const TFactoryParams& kept = *Client.GetFactoryParams("admin", "Pw", true);
    EXPECT_EQ(kept.Server, "ddns.example");
    EXPECT_EQ(kept.User, "u1");
    EXPECT_EQ(Camera.Requests().back().Target, "/get_factory_param.cgi?user=admin&pwd=Pw");
    EXPECT_EQ(Camera.RequestCount(), 1u); // the kept record came without a request

    EXPECT_EQ(status("var factory_index=;"), 1);
    EXPECT_EQ(status("var factory_index=9;var factory_server=s;"), 2);
    EXPECT_EQ(status("var factory_index=10;var factory_server=s;var factory_port=0;"), 3);
    EXPECT_EQ(status("var factory_index=10;var factory_server=s;var factory_port=81;"), 4);
    EXPECT_EQ(status("nothing here"), 5);
    Device.wPort = test::UnusedLoopbackTcpPort();
    EXPECT_EQ(status(""), 6);
    EXPECT_EQ(Client.GetFactoryParams("admin", "Pw", true)->Server, ""); // refilled, not kept
}

TEST_F(TT924SettingsTest, DdnsWritesTheKeptFactoryRecord) {
    EXPECT_EQ(Client.SetDdns("admin", "pw"), 2); // nothing read yet: nothing written
    Camera.Handle("/get_factory_param.cgi",
                  THttpReply::Ok("var factory_index=10;var factory_server=' s v ';"
                                 "var factory_port=81;var factory_user=me;var factory_passwd=a b;"));
    ASSERT_NE(Client.GetFactoryParams("admin", "pw", false), nullptr);
    Camera.Handle("/set_ddns.cgi", THttpReply::Ok("ok."));
    EXPECT_EQ(Client.SetDdns(" admin", "pw "), 0);
    EXPECT_EQ(Camera.Requests().back().Target,
              "/set_ddns.cgi?service=11&user=me&pwd=a%20b&host=&proxy_svr=s%20v&proxy_port=81"
              "&restart_dyndns=&loginuse=admin&loginpas=pw");
    Camera.Handle("/set_ddns.cgi", THttpReply::Ok("error"));
    EXPECT_EQ(Client.SetDdns("admin", "pw"), 1);
}

TEST_F(TT924SettingsTest, WifiParamsReadKeptAndWritten) {
    Camera.Handle("/get_params.cgi", THttpReply::Ok("no settings"));
    EXPECT_EQ(Client.GetWifiParams("admin", "pw"), nullptr);
    EXPECT_EQ(Client.SetWifiParams("admin", "pw"), 0); // nothing read: nothing sent

    Camera.Handle("/get_params.cgi",
                  THttpReply::Ok("var wifi_enable=1;\r\nvar wifi_ssid=\"My Net\";\r\n"
                                 "var wifi_mode=0;\r\nvar wifi_encrypt=2;\r\nvar wifi_authtype=3;\r\n"
                                 "var wifi_defkey=1;\r\nvar wifi_keyformat=1;\r\nvar wifi_key1='k1';\r\n"
                                 "var wifi_key3='';\r\nvar wifi_key1_bits=64;\r\nvar wifi_key3_bits=x;\r\n"
                                 "var wifi_wpa_psk=\" secret&1 \";\r\n"));
    TWifiParams* p = Client.GetWifiParams("admin", "pw");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->Ssid, "My Net");
    EXPECT_EQ(p->Keys[0], "k1");
    EXPECT_EQ(p->KeyBits[0], 64);
    EXPECT_EQ(p->KeyBits[2], 0);
    EXPECT_EQ(p->WpaPsk, " secret&1 ");
    const std::size_t reads = Camera.RequestCount();
    EXPECT_EQ(Client.GetWifiParams("admin", "pw"), p); // kept: no new request
    EXPECT_EQ(Camera.RequestCount(), reads);

    Camera.Handle("/set_wifi.cgi", THttpReply::Ok("<a href=reboot.htm>"));
    Camera.Handle("/reboot.cgi", THttpReply::Ok(""));
    EXPECT_EQ(Client.SetWifiParams("admin", "pw"), 1);
    const auto requests = Camera.Requests();
    ASSERT_EQ(requests.size(), reads + 2);
    // The key is a password: its "&" is encoded, so it does not split the query.
    EXPECT_EQ(requests[reads].Target,
              "/set_wifi.cgi?next_url=rebootme.htm&user=admin&pwd=pw&channel=5&enable=1"
              "&ssid=My%20Net&mode=0&encrypt=2&authtype=3&keyformat=1&defkey=1&key1=k1&key2="
              "&key3=&key4=&key1_bits=64&key2_bits=0&key3_bits=0&key4_bits=0&wpa_psk=secret%261");
    EXPECT_EQ(requests[reads].QueryValue("wpa_psk"), "secret&1");
    EXPECT_EQ(requests[reads + 1].Target, "/reboot.cgi?next_url=reboot.htm");
    EXPECT_EQ(requests[reads + 1].Header("Authorization"), "Basic YWRtaW46cHc=");
    EXPECT_EQ(Host.BusyCalls(), 2);
    EXPECT_FALSE(Host.Busy());

    Camera.Handle("/set_wifi.cgi", THttpReply::Ok("failed"));
    EXPECT_EQ(Client.SetWifiParams("admin", "pw"), 0);
}

TEST_F(TT924SettingsTest, LoginCheckDefaultsAndRefresh) {
    Camera.Handle("/get_params.cgi?user=admin&pwd=bad", THttpReply::Ok("Auth Failed"));
    Camera.Handle("/get_params.cgi?user=admin&pwd=good", THttpReply::Ok(""));
    EXPECT_FALSE(Client.CheckLogin(Camera.BaseUrl(), "admin", "bad"));
    EXPECT_TRUE(Client.CheckLogin(Camera.BaseUrl(), " admin", "good "));
    EXPECT_FALSE(Client.CheckLogin("http://127.0.0.1:" + std::to_string(test::UnusedLoopbackTcpPort()),
                                   "admin", "good"));

    Camera.Handle("/set_default.cgi", THttpReply::Ok("Result: OK"));
    EXPECT_TRUE(Client.RestoreDefaults("admin", "pw"));
    EXPECT_EQ(Camera.Requests().back().Target, "/set_default.cgi?&loginuse=admin&loginpas=pw");
    Camera.Handle("/set_default.cgi", THttpReply::Ok("refused"));
    EXPECT_FALSE(Client.RestoreDefaults("admin", "pw"));

    Camera.Handle("/get_params.cgi",
                  THttpReply::Ok("ip=\"10.0.0.5\r\nmask=255.0.0.0\r\ngeteway=10.0.0.1\r\n"
                                 "dns1=8.8.8.8\r\ndhcpen=1\r\nport=abc\r\nddns_service=1\r\n"
                                 "ddns_host= cam.example \r\n"));
    Camera.Handle("/get_status.cgi", THttpReply::Ok("mac=00:1a:2b:3c:4d:5e\r\nalias=Door\r\n"
                                                    "sys_ver=48.2.0.7\r\ndeviceid=OBJ\r\n"));
    TDevInfo record;
    TDevInfo* target = &record;
    EXPECT_TRUE(Client.RefreshDevice(0, 0, "admin", "pw", target));
    EXPECT_EQ(record.nType, 9);
    EXPECT_EQ(record.szIPAddr, "10.0.0.5");
    EXPECT_EQ(record.szGateway, "10.0.0.1");
    EXPECT_EQ(record.wPort, 81);
    EXPECT_EQ(record.btDHCP, 1);
    EXPECT_EQ(record.btDdnsOn, 1);
    EXPECT_EQ(record.szDdnsHost, "cam.example");
    EXPECT_EQ(record.szMac, "001A2B3C4D5E");
    EXPECT_EQ(record.szVersion, "48.2.0.7");
    EXPECT_EQ(record.nExtra, 808);
    EXPECT_EQ(Camera.Requests().back().Target, "/get_status.cgi?loginuse=admin&loginpas=pw");

    // Nothing answered: the record is left as it was.
    Device.wPort = test::UnusedLoopbackTcpPort();
    const TDevInfo before = record;
    EXPECT_FALSE(Client.RefreshDevice(0, 0, "admin", "pw", target));
    EXPECT_EQ(record, before);

    // Without a current device every operation that needs one fails.
    Client.SetDevice(nullptr);
    EXPECT_FALSE(Client.RestoreDefaults("admin", "pw"));
    EXPECT_FALSE(Client.RefreshDevice(0, 0, "admin", "pw", target));
    EXPECT_EQ(Client.GetWifiParams("admin", "pw"), nullptr);
    EXPECT_EQ(Client.SetWifiParams("admin", "pw"), 0);
    EXPECT_EQ(Client.GetFactoryParams("admin", "pw", false), nullptr);
    EXPECT_FALSE(Client.SetFactoryParams("admin", "pw", record, record, "001122334455"));
}

// --- the set datagram -------------------------------------------------------------------

// A camera on 127.0.0.1:8600 (where the set datagram goes with the loopback broadcast
// address); none when the port is taken.
std::unique_ptr<TLoopbackUdpPeer> SetPort() {
    try {
        return std::make_unique<TLoopbackUdpPeer>("127.0.0.1", T924SearchPort);
    } catch (const std::runtime_error&) {
        return nullptr;
    }
}

std::string SetAnswer(std::uint32_t status, std::size_t size = t924::SetAnswerSize,
                      std::uint8_t command = t924::CmdSetAnswer.Second) {
    std::string answer(std::max(size, t924::SetAnswerStatus.End()), '\0');
    platform::TByteWriter w(answer);
    w.Bytes(0, t924::Head({t924::CmdSetAnswer.First, command}));
    w.U32LE(t924::SetAnswerStatus, status);
    answer.resize(size); // a shorter answer carries only part of its status
    return answer;
}

class TBroadcastScope {
public:
    TBroadcastScope() : FOld(BroadcastAddress()) { SetBroadcastAddress("127.0.0.1"); }
    ~TBroadcastScope() { SetBroadcastAddress(FOld); }
    TBroadcastScope(const TBroadcastScope&) = delete;
    TBroadcastScope& operator=(const TBroadcastScope&) = delete;

private:
    std::string FOld;
};

TEST_F(TT924SettingsTest, NetworkSettingsByBroadcast) {
    const TBroadcastScope loopback;
    auto camera = SetPort();
    if (!camera) {
        GTEST_SKIP() << "127.0.0.1:8600 is taken";
    }
    // What the camera answers to each datagram (the peer answers on its own thread).
    std::mutex lock;
    std::vector<std::string> script;
    camera->SetResponder([&](const test::TDatagram&) {
        std::lock_guard<std::mutex> g(lock);
        return script;
    });
    const auto answers = [&](std::vector<std::string> next) {
        std::lock_guard<std::mutex> g(lock);
        script = std::move(next);
    };

    TDevInfo settings;
    settings.szIPAddr = "192.168.1.50";
    settings.szMask = "255.255.255.0";
    settings.szMac = "001A2B3C4D5EFF";
    settings.wPort = 8080;
    settings.szName = std::string(100, 'n');
    settings.btDHCP = 2;
    answers({SetAnswer(32768)});
    EXPECT_TRUE(Client.SetNetworkByBroadcast("ignored", 1, "admin", "pw", settings, TDevInfo()));
    auto sent = camera->WaitForDatagram(2000);
    ASSERT_TRUE(sent);
    const std::string& d = sent->Data;
    ASSERT_EQ(d.size(), 324u);
    EXPECT_EQ(d.substr(0, 4), std::string("DH\x02\x01", 4));
    EXPECT_EQ(d.substr(4, 13), std::string("192.168.1.50\0", 13));
    EXPECT_EQ(d.substr(20, 14), std::string("255.255.255.0\0", 14));
    EXPECT_EQ(d.substr(84, 6), std::string("\x00\x1A\x2B\x3C\x4D\x5E", 6));
    EXPECT_EQ(d.substr(90, 2), std::string("\x90\x1F", 2));
    EXPECT_EQ(d.substr(124, 80), std::string(79, 'n') + '\0'); // cut to leave the zero
    EXPECT_EQ(d.substr(236, 6), std::string("admin\0", 6));
    EXPECT_EQ(d.substr(268, 3), std::string("pw\0", 3));
    EXPECT_EQ(d[301], '\0'); // DHCP off

    answers({SetAnswer(1)});
    EXPECT_FALSE(Client.SetNetworkByBroadcast("", 0, "admin", "pw", settings, TDevInfo()));
    answers({SetAnswer(32768, 326)}); // too short to carry its status
    EXPECT_FALSE(Client.SetNetworkByBroadcast("", 0, "admin", "pw", settings, TDevInfo()));
    // Other datagrams first are passed over.
    answers({SetAnswer(32768, 328, 0x01), std::string("XH\x02\x08", 4), SetAnswer(32768)});
    EXPECT_TRUE(Client.SetNetworkByBroadcast("", 0, "admin", "pw", settings, TDevInfo()));
    answers({});
    EXPECT_FALSE(Client.SetNetworkByBroadcast("", 0, "admin", "pw", settings, TDevInfo()));

    // Factory settings on a camera below 48.2.0.121 whose address changes go out this way.
    Device.szVersion = "48.1.5";
    Camera.Handle("/set_factory_param.cgi", THttpReply::Ok("ok"));
    settings.szID = "00:1A:2B:3C:4D:5E";
    answers({SetAnswer(32768)});
    EXPECT_TRUE(Client.SetFactoryParams(" admin ", "pw", TDevInfo(), settings, "AABBCCDDEEFF"));
    EXPECT_EQ(Targets().back(), "/set_factory_param.cgi?user=admin&pwd=pw&mac=00:1a:2b:3c:4d:5e"
                                "&wifimac=aa:bb:cc:dd:ee:ff&heartbeat=180");
}

TEST_F(TT924SettingsTest, FactorySettingsRebootOrRestore) {
    Camera.Handle("/set_factory_param.cgi", THttpReply::Ok("ok"));
    Camera.Handle("/set_default.cgi", THttpReply::Ok("ok"));
    TDevInfo same;
    same.szID = "001a2b3c4d5e";
    EXPECT_TRUE(Client.SetFactoryParams("admin", "pw", same, same, "aa-bb-cc-dd-ee-ff"));
    EXPECT_EQ(Targets().back(), "/set_default.cgi?&loginuse=admin&loginpas=pw");

    Device.szVersion = "48.1.5";
    EXPECT_TRUE(Client.SetFactoryParams("admin", "pw", same, same, "aabbccddeeff"));
    EXPECT_EQ(Targets().back(), "/reboot.cgi?loginuse=admin&loginpas=pw");

    // Addresses that are not twelve hexadecimal digits are never written to the camera.
    Camera.ClearRequests();
    TDevInfo odd = same;
    odd.szID = "00:1A:2B";
    EXPECT_FALSE(Client.SetFactoryParams("admin", "pw", same, odd, "aabbccddeeff"));
    EXPECT_FALSE(Client.SetFactoryParams("admin", "pw", same, same, "aabbccddeefg"));
    EXPECT_EQ(Camera.RequestCount(), 0u);
}

} // namespace
} // namespace torvane
