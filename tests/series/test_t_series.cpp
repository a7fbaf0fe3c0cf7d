// T-series uploads (which address the firmware goes to) and the T-series adapters (login,
// version reads, upload messages) against loopback pages.

#include "series/SR_924.h"
#include "series/SR_924Text.h"
#include "series/PostFirmware.h"
#include "series/uTUpgrade.h"

#include "i18n/Deployment.h"
#include "i18n/StrRes.h"
#include "i18n/StrResource.h"
#include "platform/ByteWriter.h"
#include "platform/Host.h"
#include "support/LoopbackHttpServer.h"
#include "support/LoopbackTcpPeer.h"
#include "support/LoopbackUdpPeer.h"
#include "support/TestHost.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

namespace torvane {
namespace {

using test::THttpReply;
using test::TLoopbackHttpServer;
using test::TLoopbackTcpPeer;
using test::TTcpStep;

const std::string UploadOk = "HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nok";

std::string StatusPage(const std::string& version) {
    return "var deviceid=\"OBJ-1\";\r\nvar sys_ver=\"" + version + "\";\r\nvar alias=\"cam\";\r\n";
}

// A TCP peer standing in for a camera's upload port 8600 on address; none when the port is
// taken there.
std::unique_ptr<TLoopbackTcpPeer> UploadPort(const std::string& address) {
    try {
        return std::make_unique<TLoopbackTcpPeer>(address, T924UploadPort);
    } catch (const std::runtime_error&) {
        return nullptr;
    }
}

// Reads one request and answers it.
test::TTcpScript Answer(const std::string& reply, const std::string& until = "\r\n\r\n") {
    return {TTcpStep::ExpectUntil(until), TTcpStep::Send(reply), TTcpStep::Close()};
}

class TSeriesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Packs = new TfrmStrRes("t_series_test"); }
    static void TearDownTestSuite() {
        delete Packs;
        Packs = nullptr;
    }
    void SetUp() override {
        platform::SetHost(&Host);
        Firmware = test::ScratchPath("t-fw");
        ASSERT_TRUE(test::WriteWholeFile(Firmware, "T-FIRMWARE"));
    }
    void TearDown() override { platform::SetHost(nullptr); }

    static TfrmStrRes* Packs;
    test::TTestHost Host;
    test::TFakeSleeperScope Sleep;
    std::string Firmware;
    TT924Series Client{0};
};

TfrmStrRes* TSeriesTest::Packs = nullptr;

TEST_F(TSeriesTest, VersionsCompareByteWise) {
    EXPECT_TRUE(IsBelowUploadPortVersion("48.1.9"));
    EXPECT_TRUE(IsBelowUploadPortVersion(""));
    EXPECT_TRUE(IsBelowUploadPortVersion("48.2.0.12")); // a beginning of the threshold
    EXPECT_FALSE(IsBelowUploadPortVersion("48.2.0.121"));
    EXPECT_FALSE(IsBelowUploadPortVersion("48.2.0.99")); // '9' is above '1'
    EXPECT_FALSE(IsBelowUploadPortVersion("V1.0"));
}

TEST_F(TSeriesTest, OldCameraTakesFirmwareAtTheBaseUrl) {
    TLoopbackHttpServer camera;
    camera.Handle("/get_status.cgi", THttpReply::Ok(StatusPage("48.1.9")));
    camera.Handle("/upgrade_firmware.cgi", THttpReply::Ok("ok"));
    camera.Handle("/upgrade_htmls.cgi", THttpReply::Unauthorized("no"));

    EXPECT_TRUE(Client.UploadSystemFirmware(camera.BaseUrl(), "admin", "p w&x", Firmware));
    EXPECT_FALSE(Client.UploadUIFirmware(camera.BaseUrl(), "admin", "p w&x", Firmware));

    const auto requests = camera.Requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[0].Target, "/get_status.cgi?user=admin&pwd=p%20w%26x");
    EXPECT_FALSE(requests[0].HasHeader("Authorization"));
    EXPECT_EQ(requests[1].RequestLine,
              "POST /upgrade_firmware.cgi?loginuse=admin&loginpas=p%20w%26x HTTP/1.0");
    EXPECT_FALSE(requests[1].HasHeader("Authorization"));
    EXPECT_NE(requests[1].Body.find("Content-Type: application/x-zip-compressed\r\n"),
              std::string::npos);
    EXPECT_NE(requests[1].Body.find("filename=\"" + Firmware + "\""), std::string::npos);
    EXPECT_EQ(requests[3].Path, "/upgrade_htmls.cgi");
    // The busy pointer came and went for both uploads, the refused one included.
    EXPECT_EQ(Host.BusyCalls(), 4);
    EXPECT_FALSE(Host.Busy());
}

TEST_F(TSeriesTest, UnreadableStatusPageStillUploadsToTheBaseUrl) {
    TLoopbackHttpServer camera;
    THttpReply silent;
    silent.Silent = true; // closes without a reply: the page is not answered
    camera.Handle("/get_status.cgi", silent);
    camera.Handle("/upgrade_firmware.cgi", THttpReply::Ok("ok"));
    EXPECT_TRUE(Client.UploadSystemFirmware(camera.BaseUrl(), "admin", "", Firmware));
    ASSERT_EQ(camera.RequestCount(), 2u);
    EXPECT_EQ(camera.Requests()[1].Path, "/upgrade_firmware.cgi");

    // A file that cannot be opened leaves the upload with an error; the pointer is restored.
    EXPECT_THROW((void)Client.UploadSystemFirmware(camera.BaseUrl(), "admin", "",
                                                   Firmware + ".missing"),
                 TFirmwareFileError);
    EXPECT_FALSE(Host.Busy());
}

TEST_F(TSeriesTest, NewCameraTakesFirmwareOnPort8600OfItsHost) {
    // The status page and port 8600 on one address other than the loopback server's.
    const std::string address = "127.0.0.38";
    auto upload = UploadPort(address);
    if (!upload) {
        GTEST_SKIP() << address << ":8600 is taken";
    }
    upload->AddConnection(Answer(UploadOk, "--\r\n"));
    TLoopbackTcpPeer status(address);
    status.AddConnection(Answer("HTTP/1.0 200 OK\r\n\r\n" + StatusPage("48.2.0.99")));

    const std::string base = "http://" + address + ":" + std::to_string(status.Port());
    EXPECT_TRUE(Client.UploadUIFirmware(base, "admin", "pw", Firmware));
    ASSERT_TRUE(upload->WaitUntilDone(5000));
    EXPECT_EQ(upload->Connection(0).Received.rfind(
                  "POST /upgrade_htmls.cgi?loginuse=admin&loginpas=pw HTTP/1.0\r\n", 0),
              0u);

    // With a current device its version and address decide, and no status page is read.
    TDevInfo device;
    device.szIPAddr = address;
    device.szVersion = "48.2.0.121";
    Client.SetDevice(&device);
    upload->AddConnection(Answer("HTTP/1.0 500 Internal Server Error\r\n\r\n", "--\r\n"));
    EXPECT_FALSE(Client.UploadSystemFirmware("http://127.0.0.1:1", "admin", "pw", Firmware));
    ASSERT_TRUE(upload->WaitUntilDone(5000, 2));
    EXPECT_EQ(status.ConnectionCount(), 1u);
    Client.SetDevice(nullptr);
}

TEST_F(TSeriesTest, CredentialsReachTheCameraWhole) {
    // "#" would end the query in the HTTP client, "&" and "=" split it, "%" and "+" be
    // read as escapes: every one of them reaches the camera as part of the value.
    const std::string password = "p#1&x=%41+ y";
    TLoopbackHttpServer camera;
    camera.Handle("/get_status.cgi", THttpReply::Ok(StatusPage("48.1.9")));
    camera.Handle("/upgrade_firmware.cgi", THttpReply::Ok("ok"));
    EXPECT_TRUE(Client.UploadSystemFirmware(camera.BaseUrl(), "a&b", password, Firmware));
    EXPECT_TRUE(Client.CheckLogin(camera.BaseUrl(), "a&b", password));
    const auto requests = camera.Requests();
    ASSERT_EQ(requests.size(), 3u);
    for (const auto& r : requests) {
        const auto parameters = r.QueryParameters();
        ASSERT_EQ(parameters.size(), 2u) << r.Target;
        EXPECT_EQ(parameters[0].second, "a&b") << r.Target;
        EXPECT_EQ(parameters[1].second, password) << r.Target;
    }
    EXPECT_EQ(requests[0].Target, "/get_status.cgi?user=a%26b&pwd=p%231%26x%3D%2541%2B%20y");
    EXPECT_EQ(requests[1].RequestLine, "POST /upgrade_firmware.cgi?loginuse=a%26b"
                                       "&loginpas=p%231%26x%3D%2541%2B%20y HTTP/1.0");
}

TEST_F(TSeriesTest, SearchDropsDatagramsLongerThanItsBuffer) {
    SetBroadcastAddress("127.0.0.1"); // the probe stays on loopback
    Host.UseQueue = true;
    Host.Queue().BindToCurrentThread();
    const auto reply = [](const std::string& ip, std::size_t size) {
        std::string d(size, '\0');
        platform::TByteWriter w(d);
        w.Bytes(0, t924::Head(t924::CmdSearchReply));
        w.Sub(t924::Addresses).Text(addresstexts::Address, ip);
        return d;
    };
    test::TLoopbackUdpPeer camera("127.0.0.1");
    camera.SetResponder([&](const test::TDatagram&) {
        // 1025 bytes and more arrive cut to the 1024-byte buffer: no camera sends them.
        return std::vector<std::string>{reply("10.1.1.1", 1025), reply("10.1.1.2", 1024),
                                        reply("10.1.1.3", 4000), reply("10.1.1.4", 516)};
    });
    std::vector<std::string> found;
    EXPECT_EQ(Client.SearchDevices(camera.Port(),
                                   [&](const TDevInfo& r) { found.push_back(r.szIPAddr); }),
              0);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (Client.RunningSearches() > 0 && std::chrono::steady_clock::now() < end) {
        Host.Queue().WaitAndRun(5); // the receiver hands each camera over here
    }
    Host.Queue().RunPending();
    EXPECT_EQ(found, (std::vector<std::string>{"10.1.1.2", "10.1.1.4"}));
}

// --- adapters ---------------------------------------------------------------------------

template <typename TAdapter>
std::unique_ptr<TAdapter> AdapterFor(const TLoopbackHttpServer& camera) {
    auto adapter = std::make_unique<TAdapter>();
    adapter->SetIP("127.0.0.1");
    adapter->SetPort(camera.Port());
    adapter->SetUser(" Admin ");
    adapter->SetPassword("P&W");
    return adapter;
}

TEST_F(TSeriesTest, LoginReadsStatusPageAndOem) {
    TLoopbackHttpServer camera;
    camera.Handle("/get_status.cgi", THttpReply::Ok("var deviceid=\"OBJ-77\";\r\nvar x=1;"));
    camera.Handle("/oem.txt", THttpReply::Ok("ACME\r\n"));
    auto ui = AdapterFor<TTUIUpgrade>(camera);
    EXPECT_EQ(ui->Login(), 0);
    EXPECT_EQ(ui->DeviceId(), "\"OBJ-77\""); // quotes kept
    EXPECT_EQ(ui->OemName(), "ACME\r\n");
    const auto requests = camera.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].Target, "/get_status.cgi?user=admin&pwd=p%26w");
    EXPECT_EQ(requests[1].Target, "/oem.txt?user=admin&pwd=p%26w");
    EXPECT_EQ(requests[1].QueryValue("pwd"), "p&w");
    EXPECT_FALSE(requests[0].HasHeader("Authorization"));

    // Refused: the device id read before stays.
    camera.Handle("/get_status.cgi", THttpReply::Ok("Auth Failed\r\nvar deviceid=NEW;"));
    EXPECT_EQ(ui->Login(), 1);
    EXPECT_EQ(ui->DeviceId(), "\"OBJ-77\"");

    // An empty oem.txt, or an empty status page, is no usable answer.
    camera.Handle("/get_status.cgi", THttpReply::Ok("var deviceid=A;"));
    camera.Handle("/oem.txt", THttpReply::Ok(""));
    auto sys = AdapterFor<TTSYSUpgrade>(camera);
    EXPECT_EQ(sys->Login(), 2);
    EXPECT_EQ(sys->DeviceId(), "A");
    EXPECT_EQ(sys->OemName(), "");
    camera.Handle("/get_status.cgi", THttpReply::Ok(""));
    EXPECT_EQ(sys->Login(), 2);

    sys->SetPort(test::UnusedLoopbackTcpPort());
    EXPECT_EQ(sys->Login(), 2);
}

TEST_F(TSeriesTest, VersionReads) {
    TLoopbackHttpServer camera;
    camera.Handle("/appver.js", THttpReply::Ok("var app_model=\"T924\";\r\nvar app_ver=\"v3.1.2\";"));
    camera.Handle("/get_status.cgi", THttpReply::Ok(StatusPage("48.2.0.5")));

    auto ui = AdapterFor<TTUIUpgrade>(camera);
    EXPECT_TRUE(ui->ReadCurrentVersion());
    EXPECT_EQ(ui->CurrentVersion(), "v3.1.2");
    EXPECT_EQ(ui->AppModel(), "T924");
    EXPECT_EQ(ui->GetCatalogFolder(), "");

    auto sys = AdapterFor<TTSYSUpgrade>(camera);
    EXPECT_TRUE(sys->ReadCurrentVersion());
    EXPECT_EQ(sys->CurrentVersion(), "48.2.0.5");
    EXPECT_EQ(sys->AppModel(), "T924");

    // appver.js not answered: the model stays, the version still comes from the status page.
    THttpReply silent;
    silent.Silent = true;
    camera.Handle("/appver.js", silent);
    sys->SetAppModel("KEPT");
    EXPECT_TRUE(sys->ReadCurrentVersion());
    EXPECT_EQ(sys->AppModel(), "KEPT");
    EXPECT_FALSE(ui->ReadCurrentVersion());
    EXPECT_EQ(ui->CurrentVersion(), "");

    // Pages without the version keys.
    camera.Handle("/appver.js", THttpReply::Ok("var app_model=\"M\";"));
    camera.Handle("/get_status.cgi", THttpReply::Ok("var alias=\"cam\";"));
    EXPECT_FALSE(ui->ReadCurrentVersion());
    EXPECT_EQ(ui->AppModel(), "M");
    EXPECT_FALSE(sys->ReadCurrentVersion());
}

// The download step sets the firmware path; here the test does.
template <typename TAdapter>
struct TWithFile : TAdapter {
    using TAdapter::SetLocalFirmwarePath;
};

TEST_F(TSeriesTest, AdapterPagesOnItsPortAndFirmwareOnPort8600) {
    auto upload = UploadPort("127.0.0.1");
    if (!upload) {
        GTEST_SKIP() << "127.0.0.1:8600 is taken";
    }
    // Each upload: the client asks port 8600 for the status page, then sends the file there,
    // whichever side of the threshold the version is.
    upload->AddConnection(Answer("HTTP/1.0 200 OK\r\n\r\n" + StatusPage("48.1.0")));
    upload->AddConnection(Answer(UploadOk, "--\r\n"));
    upload->AddConnection(Answer("HTTP/1.0 200 OK\r\n\r\n" + StatusPage("48.3.0")));
    upload->AddConnection(Answer("HTTP/1.0 401 Unauthorized\r\n\r\n", "--\r\n"));

    TLoopbackHttpServer camera; // the web port only serves pages
    camera.Handle("/get_status.cgi", THttpReply::Ok(StatusPage("48.1.0")));
    camera.Handle("/oem.txt", THttpReply::Ok("ACME"));
    auto sys = AdapterFor<TWithFile<TTSYSUpgrade>>(camera);
    auto ui = AdapterFor<TWithFile<TTUIUpgrade>>(camera);
    sys->SetLocalFirmwarePath("  " + Firmware + " ");
    ui->SetLocalFirmwarePath(Firmware);
    EXPECT_EQ(sys->Login(), 0);

    std::string message;
    EXPECT_TRUE(sys->Upload(message));
    EXPECT_EQ(message, GetStrRes("IDS_UPGRADESUCC"));
    EXPECT_FALSE(ui->Upload(message));
    EXPECT_EQ(message, GetStrRes("IDS_UPGRADEFAIL")); // no reason added
    EXPECT_FALSE(message.empty());

    ASSERT_TRUE(upload->WaitUntilDone(5000, 4));
    const auto c = upload->Connections();
    EXPECT_EQ(c[0].Received.rfind("GET /get_status.cgi?user=admin&pwd=p%26w ", 0), 0u);
    EXPECT_EQ(
        c[1].Received.rfind("POST /upgrade_firmware.cgi?loginuse=admin&loginpas=p%26w ", 0), 0u);
    EXPECT_NE(c[1].Received.find("filename=\"" + Firmware + "\""), std::string::npos);
    EXPECT_EQ(c[3].Received.rfind("POST /upgrade_htmls.cgi?loginuse=admin&loginpas=p%26w ", 0), 0u);
    for (const auto& request : camera.Requests()) {
        EXPECT_EQ(request.Method, "GET"); // nothing was posted to the web port
    }
}

} // namespace
} // namespace torvane
