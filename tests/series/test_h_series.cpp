#include "i18n/StrRes.h"
#include "i18n/StrResource.h"
#include "series/SeriesUnits.h"
#include "series/uHUpgrade.h"
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

template <class TBase> class TWithFile : public TBase {
public:
    using TBase::SetLocalFirmwarePath;
};
using THUI = TWithFile<THUIUpgrade>;
using THSYS = TWithFile<THSYSUpgrade>;

class HSeries : public ::testing::Test {
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
        const std::string path = test::ScratchPath("hfw");
        EXPECT_TRUE(test::WriteWholeFile(path, data));
        return path;
    }

    TfrmStrRes Packs{"h_series_tests"};
    TLoopbackHttpServer Camera;
};

TEST_F(HSeries, SystemVersionFromStatusPage) {
    EXPECT_NE(dynamic_cast<THSYSUpgrade*>(TUpgradeFactory::CreateUpgrade(2, true).get()), nullptr);
    EXPECT_NE(dynamic_cast<THUIUpgrade*>(TUpgradeFactory::CreateUpgrade(2, false).get()), nullptr);

    THSYS sys;
    PointAt(sys);
    sys.SetPassword("pw");
    Camera.Handle("/appver.js", THttpReply::Ok("var app_model=\"H264IPC\";"));
    Camera.Handle("/get_status.cgi", THttpReply::Ok("var sys_ver=\"V2.1.0.9\";"));
    ASSERT_TRUE(sys.ReadCurrentVersion());
    EXPECT_EQ(sys.CurrentVersion(), "V2.1.0.9"); // taken as it stands, its V included
    EXPECT_EQ(sys.AppModel(), "H264IPC");
    const auto requests = Camera.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].Target, "/appver.js");
    EXPECT_TRUE(requests[0].HasHeader("Authorization"));
    EXPECT_EQ(requests[1].Target, "/get_status.cgi");
    EXPECT_FALSE(requests[1].HasHeader("Authorization"));

    // Single quotes are not this series' quote: the text up to the next double quote.
    Camera.Handle("/get_status.cgi", THttpReply::Ok("var sys_ver='2.1.0.9';"));
    EXPECT_TRUE(sys.ReadCurrentVersion());
    EXPECT_EQ(sys.CurrentVersion(), "");
    Camera.Handle("/get_status.cgi", THttpReply::Ok("var sys_ver='2.1.0.9'; var x=\"y\";"));
    EXPECT_TRUE(sys.ReadCurrentVersion());
    EXPECT_EQ(sys.CurrentVersion(), "2.1.0.9'; var x=");
    // Status page without the key, or not answered: true with an empty version.
    Camera.Handle("/get_status.cgi", THttpReply::Ok("var alias=\"cam\";"));
    sys.SetCurrentVersion("old");
    EXPECT_TRUE(sys.ReadCurrentVersion());
    EXPECT_EQ(sys.CurrentVersion(), "");
    Camera.Handle("/get_status.cgi", THttpReply::CloseEarly("", 0));
    EXPECT_TRUE(sys.ReadCurrentVersion());
    EXPECT_EQ(sys.CurrentVersion(), "");
}

TEST_F(HSeries, UploadSendsAnyFileWithBasicCredentials) {
    THUI ui;
    THSYS sys;
    PointAt(ui);
    PointAt(sys);
    ui.SetUser(" Admin ");
    ui.SetPassword("");
    Camera.Handle("/cgi-bin/upgrade_htmls.cgi", THttpReply::Ok("<html>rebooting</html>"));
    Camera.Handle("/cgi-bin/upgrade_firmware.cgi", THttpReply::Ok("ok"));

    // A system image to the UI adapter: no signature is compared. The stored path has a
    // trailing blank; the file is still found and the name sent has none.
    const std::string path = File("BNEG system image");
    ui.SetLocalFirmwarePath(path + " ");
    std::string message;
    ASSERT_TRUE(ui.Upload(message));
    EXPECT_EQ(message, GetStrRes("IDS_UPGRADESUCC"));
    sys.SetUser("admin");
    sys.SetPassword("12345");
    sys.SetLocalFirmwarePath(File(std::string("\xBD\x9A\x0C\x44 ui image", 13)));
    ASSERT_TRUE(sys.Upload(message));

    const auto requests = Camera.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].RequestLine,
              "POST /cgi-bin/upgrade_htmls.cgi?next_url=reboot.htm HTTP/1.0");
    EXPECT_EQ(requests[0].Header("Authorization"), "Basic YWRtaW46"); // "admin:"
    EXPECT_EQ(requests[0].Header("Accept-Encoding"), "gzip,deflate");
    EXPECT_NE(requests[0].Body.find("filename=\"" + path +
                                    "\"\r\nContent-Type: application/x-zip-compressed\r\n"),
              std::string::npos);
    EXPECT_EQ(requests[1].RequestLine, "POST /cgi-bin/upgrade_firmware.cgi HTTP/1.0");
    EXPECT_EQ(requests[1].Header("Authorization"), "Basic YWRtaW46MTIzNDU=");
    EXPECT_EQ(requests[1].Query, ""); // credentials never in the URL
}

TEST_F(HSeries, RefusalsAndFileErrors) {
    THSYS sys;
    PointAt(sys);
    std::string message;
    sys.SetLocalFirmwarePath(File("abc"));
    EXPECT_FALSE(sys.Upload(message));
    EXPECT_EQ(message, GetStrRes("IDS_UPGRADEFILEERR"));
    EXPECT_EQ(Camera.ConnectionCount(), 0u);
    sys.SetLocalFirmwarePath(test::ScratchPath("vanished"));
    EXPECT_THROW((void)sys.Upload(message), std::runtime_error);
    EXPECT_EQ(Camera.ConnectionCount(), 0u);

    // Credentials refused: the challenge is not answered.
    Camera.Handle("/cgi-bin/upgrade_firmware.cgi", THttpReply::Unauthorized("<html>401</html>"));
    sys.SetLocalFirmwarePath(File("anything at all"));
    message.clear();
    EXPECT_FALSE(sys.Upload(message));
    EXPECT_EQ(message, GetStrRes("IDS_UPGRADEFAIL") + "HTTP/1.1 401 Unauthorized");
    EXPECT_EQ(Camera.RequestCount(), 1u);
}

} // namespace
} // namespace torvane
