#include "i18n/StrRes.h"
#include "i18n/StrResource.h"
#include "series/SeriesUnits.h"
#include "series/uFUpgrade.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestSupport.h"
#include "upgrade/uUpgradeFactory.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace torvane {
namespace {

using test::THttpReply;
using test::TLoopbackHttpServer;

// The adapters with the unpacked file's path settable, as the download step would set it.
template <class TBase> class TWithFile : public TBase {
public:
    using TBase::SetLocalFirmwarePath;
};
using TFUI = TWithFile<TFUIUpgrade>;
using TFSYS = TWithFile<TFSYSUpgrade>;

const std::string UIFile("\xBD\x9A\x0C\x44 ui firmware", 16);
const std::string SystemFile("BNEG system firmware");

class FSeries : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterSeriesAdapters();
        SetLanguage("en");
    }
    template <class T> void PointAt(T& adapter) {
        adapter.SetIP("127.0.0.1");
        adapter.SetPort(Camera.Port());
    }
    static std::string File(const std::string& data) {
        const std::string path = test::ScratchPath("ffw");
        EXPECT_TRUE(test::WriteWholeFile(path, data));
        return path;
    }

    TfrmStrRes Packs{"f_series_tests"};
    TLoopbackHttpServer Camera;
};

TEST_F(FSeries, FactoryAndStatusPageVersions) {
    EXPECT_NE(dynamic_cast<TFSYSUpgrade*>(TUpgradeFactory::CreateUpgrade(1, true).get()), nullptr);
    EXPECT_NE(dynamic_cast<TFUIUpgrade*>(TUpgradeFactory::CreateUpgrade(1, false).get()), nullptr);

    TFUI ui;
    TFSYS sys;
    PointAt(ui);
    PointAt(sys);
    ui.SetPassword("secret");
    Camera.Handle(
        "/get_status.cgi",
        THttpReply::Ok("var alias='cam';\nvar app_ver='3.2.5.7';\nvar sys_ver='21.37.2.47';"));
    ASSERT_TRUE(ui.ReadCurrentVersion());
    EXPECT_EQ(ui.CurrentVersion(), "3.2.5.7");
    ASSERT_TRUE(sys.ReadCurrentVersion());
    EXPECT_EQ(sys.CurrentVersion(), "21.37.2.47");
    EXPECT_EQ(sys.AppModel(), ""); // the model is not read: the section follows the version
    EXPECT_EQ(sys.GetCatalogSection(), "21.37.2");
    const auto requests = Camera.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].Target, "/get_status.cgi");
    EXPECT_FALSE(requests[0].HasHeader("Authorization")); // no credentials on this page
    EXPECT_EQ(requests[0].Header("Host"), "127.0.0.1:" + std::to_string(Camera.Port()));

    // sys_ver only: the UI adapter fails and leaves its version; the system adapter reads.
    Camera.Handle("/get_status.cgi", THttpReply::Ok("var sys_ver='1.9.0.3';"));
    EXPECT_FALSE(ui.ReadCurrentVersion());
    EXPECT_EQ(ui.CurrentVersion(), "3.2.5.7");
    EXPECT_TRUE(sys.ReadCurrentVersion());
    EXPECT_EQ(sys.CurrentVersion(), "1.9.0.3");
    // No closing quote: an empty version, still read.
    Camera.Handle("/get_status.cgi", THttpReply::Ok("var sys_ver='1.9.0.3"));
    EXPECT_TRUE(sys.ReadCurrentVersion());
    EXPECT_EQ(sys.CurrentVersion(), "");
    // Double quotes are not this series' quote.
    Camera.Handle("/get_status.cgi", THttpReply::Ok("var app_ver=\"3.3\";"));
    EXPECT_TRUE(ui.ReadCurrentVersion());
    EXPECT_EQ(ui.CurrentVersion(), "");
    // A camera that cannot be reached.
    TFSYS gone;
    gone.SetIP("127.0.0.1");
    gone.SetPort(test::UnusedLoopbackTcpPort());
    EXPECT_FALSE(gone.ReadCurrentVersion());
}

TEST_F(FSeries, WrongOrShortFilesAreRefusedBeforeAnyConnection) {
    TFUI ui;
    TFSYS sys;
    PointAt(ui);
    PointAt(sys);
    std::string message;
    ui.SetLocalFirmwarePath(File(SystemFile));
    EXPECT_FALSE(ui.Upload(message));
    EXPECT_EQ(message, GetStrRes("IDS_UPGRADEFILEERR"));
    sys.SetLocalFirmwarePath(File(UIFile));
    message.clear();
    EXPECT_FALSE(sys.Upload(message));
    EXPECT_EQ(message, "Error on reading ROM for upgrade.");
    sys.SetLocalFirmwarePath(File("BNE"));
    message.clear();
    EXPECT_FALSE(sys.Upload(message));
    EXPECT_EQ(message, GetStrRes("IDS_UPGRADEFILEERR"));
    EXPECT_EQ(Camera.ConnectionCount(), 0u);

    // A file that vanished after the download step: the error leaves Upload.
    sys.SetLocalFirmwarePath(test::ScratchPath("vanished"));
    EXPECT_THROW((void)sys.Upload(message), std::runtime_error);
    EXPECT_EQ(Camera.ConnectionCount(), 0u);
}

TEST_F(FSeries, UploadQueryFileAndOutcome) {
    TFUI ui;
    TFSYS sys;
    PointAt(ui);
    PointAt(sys);
    ui.SetUser("  Admin ");
    ui.SetPassword(" p&ss=1 ");
    const std::string uiPath = File(UIFile);
    ui.SetLocalFirmwarePath(uiPath);
    Camera.Handle("/upgrade_htmls.cgi", THttpReply::Ok("<html>Error: bad image</html>"));
    std::string message;
    ASSERT_TRUE(ui.Upload(message)); // a 200 answer is success, whatever its page says
    EXPECT_EQ(message, GetStrRes("IDS_UPGRADESUCC"));

    auto requests = Camera.Requests();
    ASSERT_EQ(requests.size(), 1u);
    const auto& r = requests[0];
    EXPECT_EQ(r.RequestLine,
              "POST /upgrade_htmls.cgi?user=admin&pwd=p%26ss%3D1&next_url=reboot.htm HTTP/1.0");
    EXPECT_FALSE(r.HasHeader("Authorization"));
    EXPECT_FALSE(r.HasHeader("Accept-Encoding"));
    EXPECT_EQ(r.Header("Accept"), "text/html, */*");
    EXPECT_NE(
        r.Body.find("filename=\"" + uiPath + "\"\r\nContent-Type: application/octet-stream\r\n"),
        std::string::npos);
    EXPECT_NE(r.Body.find(UIFile), std::string::npos);

    // A blank in the password would break the request line: it goes out as %20.
    sys.SetPassword("a b");
    sys.SetLocalFirmwarePath(File(SystemFile));
    Camera.Handle("/upgrade_firmware.cgi",
                  THttpReply::WithStatus(500, "Internal Server Error", "<html>500</html>"));
    message.clear();
    EXPECT_FALSE(sys.Upload(message));
    EXPECT_EQ(message, GetStrRes("IDS_UPGRADEFAIL") + "HTTP/1.1 500 Internal Server Error");
    requests = Camera.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].Target, "/upgrade_firmware.cgi?user=admin&pwd=a%20b&next_url=reboot.htm");

    // Whatever the password holds, the camera reads it whole as the one pwd value, and
    // next_url stays the only other parameter.
    for (const std::string password :
         {"a#b", "p&next_url=evil.htm", "50%+1=x", "%41 ~!*'()", "&&==##"}) {
        Camera.ClearRequests();
        ui.SetPassword(password);
        message.clear();
        EXPECT_TRUE(ui.Upload(message)) << message;
        requests = Camera.Requests();
        ASSERT_EQ(requests.size(), 1u) << password;
        const auto parameters = requests[0].QueryParameters();
        ASSERT_EQ(parameters.size(), 3u) << requests[0].Target;
        EXPECT_EQ(parameters[0], std::make_pair(std::string("user"), std::string("admin")));
        EXPECT_EQ(parameters[1], std::make_pair(std::string("pwd"), password));
        EXPECT_EQ(parameters[2],
                  std::make_pair(std::string("next_url"), std::string("reboot.htm")));
    }

    // A camera that is gone: the failure text carries the network error.
    sys.SetPort(test::UnusedLoopbackTcpPort());
    message.clear();
    EXPECT_FALSE(sys.Upload(message));
    EXPECT_EQ(message, GetStrRes("IDS_UPGRADEFAIL") + "Connection refused");
}

} // namespace
} // namespace torvane
