// The E-series adapters: local file name, catalogue section, version comparison, the
// version read from the CTP search and the upload hand-over.

#include "i18n/Deployment.h"
#include "i18n/StrRes.h"
#include "i18n/StrResource.h"
#include "series/uEUpgrade.h"
#include "series/uEUpgradeFile.h"
#include "support/LoopbackHttpServer.h"
#include "support/LoopbackTcpPeer.h"
#include "support/LoopbackUdpPeer.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <vector>

using namespace torvane;

namespace {

// An adapter whose catalogue file name can be set as ReadCatalog would.
class TNamedSys : public TESYSUpgrade {
public:
    void Name(const std::string& n) { SetFirmwareFileName(n); }
};
class TNamedUI : public TEUIUpgrade {
public:
    void Name(const std::string& n) { SetFirmwareFileName(n); }
};

} // namespace

TEST(ESeries, LocalPackageName) {
    TNamedSys sys;
    TNamedUI ui;
    sys.Name("  e_sys.zip ");
    ui.Name("e_ui.zip");
    EXPECT_EQ(sys.GetLocalFileName(), "e_sys.pk2");
    EXPECT_EQ(ui.GetLocalFileName(), "e_ui.pk2");
    ui.Name("abc");
    EXPECT_EQ(ui.GetLocalFileName(), "abc.pk2");
    EXPECT_EQ(sys.GetCatalogFolder(), "system");
    EXPECT_EQ(sys.AppModelLength(), 0);
}

TEST(ESeries, CatalogSectionLeavesTheThirdFieldOpen) {
    TESYSUpgrade a;
    a.SetCurrentVersion("1.2.3.4");
    EXPECT_EQ(a.GetCatalogSection(), "1.2.X.4");
    a.SetCurrentVersion("1.2.3.4 "); // as the search delivers it
    EXPECT_EQ(a.GetCatalogSection(), "1.2.X.4 ");
    a.SetCurrentVersion("1.2.3.4.5");
    EXPECT_EQ(a.GetCatalogSection(), "1.2.X.4");
    a.SetCurrentVersion("1.2.3");
    EXPECT_EQ(a.GetCatalogSection(), "");
    a.SetCurrentVersion("1.2.3.4");
    a.SetAppModel("E100");
    EXPECT_EQ(a.GetCatalogSection(), "E100");
}

TEST(ESeries, SameVersionByTheThirdField) {
    TESYSUpgrade a;
    a.SetCurrentVersion("1.2.3.4 ");
    EXPECT_TRUE(a.IsSameVersion("1.2.3.9"));
    EXPECT_TRUE(a.IsSameVersion("7.7. 3 .7"));
    EXPECT_FALSE(a.IsSameVersion("1.2.5.4"));
    EXPECT_FALSE(a.IsSameVersion("1.2.3a.4"));
    EXPECT_THROW((void)a.IsSameVersion("1.2.3"), std::invalid_argument);
    a.SetCurrentVersion("1.2");
    EXPECT_THROW((void)a.IsSameVersion("1.2.3.4"), std::invalid_argument);
}

TEST(ESeries, CatalogueSectionWithTrailingBlankIsFound) {
    TfrmStrRes packs("e_series_test");
    test::TLoopbackHttpServer server;
    server.Handle("/FM/system/firmware.txt",
                  test::THttpReply::Ok("[1.2.X.3]\r\nSysVer=1.2.9.3\r\n"
                                       "[1.2.X.4]\r\nSysVer=1.2.7.4\r\nSysFile=e_sys.zip\r\n"
                                       "MD5=0123\r\nNO=1.2.0.4\r\n",
                                       "text/plain"));
    SetFirmwareServerUrl(server.Url("/FM/"));
    TESYSUpgrade a;
    a.SetCurrentVersion("1.2.3.4 ");
    std::string md5, excluded, offered;
    a.ReadCatalog(md5, excluded, offered);
    EXPECT_EQ(offered, "1.2.7.4");
    EXPECT_EQ(md5, "0123");
    EXPECT_EQ(excluded, "1.2.0.4");
    EXPECT_EQ(a.FirmwareFileName(), "e_sys.zip");
    EXPECT_EQ(a.GetLocalFileName(), "e_sys.pk2");
}

TEST(ESeries, CurrentVersionFromTheSearch) {
    TfrmStrRes packs("e_series_test");
    test::TFakeSleeperScope sleeper(16, 150);
    SetBroadcastAddress("127.0.0.1");
    test::TLoopbackUdpPeer cameras("127.0.0.1", 0);
    cameras.SetResponder([](const test::TDatagram&) {
        return std::vector<std::string>{"REPLY * CTP/1.0\r\n-ip 127.0.0.1\r\n-version V 1.2.3.4 b\r\n"};
    });
    SetCtpSearchPorts({0, cameras.Port()});

    test::TLoopbackTcpPeer camera;
    TESYSUpgrade a;
    a.SetIP("127.0.0.1");
    a.SetPort(camera.Port());
    a.SetAppModel("kept model");
    EXPECT_TRUE(a.ReadCurrentVersion());
    EXPECT_EQ(a.CurrentVersion(), "1.2.3.4 ");
    EXPECT_EQ(a.AppModel(), "kept model");

    // No camera at that address: false, and the error text never becomes the version.
    a.SetPort(test::UnusedLoopbackTcpPort());
    EXPECT_FALSE(a.ReadCurrentVersion());
    EXPECT_EQ(a.CurrentVersion(), "1.2.3.4 ");

    // Reachable, but no reply names it.
    test::TLoopbackTcpPeer other("127.0.0.3");
    a.SetIP("127.0.0.3");
    a.SetPort(other.Port());
    EXPECT_FALSE(a.ReadCurrentVersion());
    EXPECT_EQ(a.CurrentVersion(), "");
    SetCtpSearchPorts({});
}

TEST(ESeries, UploadSendsTheUnpackedPackage) {
    TfrmStrRes packs("e_series_test");
    test::TFakeSleeperScope sleeper(16, 150);
    // Nothing downloaded yet: the package check refuses before the camera is contacted.
    test::TLoopbackTcpPeer camera;
    std::vector<std::unique_ptr<TUpgradeObject>> adapters;
    adapters.push_back(std::make_unique<TESYSUpgrade>());
    adapters.push_back(std::make_unique<TEUIUpgrade>());
    for (const auto& a : adapters) {
        a->SetIP("127.0.0.1");
        a->SetPort(camera.Port());
        std::string message;
        EXPECT_FALSE(a->Upload(message));
        EXPECT_EQ(message, GetStrRes("IDS_UPGRADEFILEFAIL"));
    }
    EXPECT_EQ(camera.ConnectionCount(), 0u);
}

TEST(ESeries, LoginRefusesCredentialsTheCtpLoginCannotCarry) {
    TfrmStrRes packs("e_series_test");
    test::TLoopbackHttpServer camera;
    camera.Handle("/oem.txt", test::THttpReply::Ok("EVN"));
    std::vector<std::unique_ptr<TUpgradeObject>> adapters;
    adapters.push_back(std::make_unique<TESYSUpgrade>());
    adapters.push_back(std::make_unique<TEUIUpgrade>());
    for (const auto& a : adapters) {
        a->SetIP("127.0.0.1");
        a->SetPort(camera.Port());
        a->SetPassword("pw\r\n\r\nCMD exit CTP/1.0");
        EXPECT_EQ(a->Login(), TUpgradeObject::LoginRefused);
        a->SetPassword("pw");
        a->SetUser("ad\nmin");
        EXPECT_EQ(a->Login(), TUpgradeObject::LoginRefused);
    }
    EXPECT_EQ(camera.ConnectionCount(), 0u); // nothing was asked
    // Ordinary credentials go to the HTTP login check.
    adapters[0]->SetUser("admin");
    EXPECT_EQ(adapters[0]->Login(), TUpgradeObject::LoginOk);
    EXPECT_EQ(adapters[0]->OemName(), "EVN");
    ASSERT_EQ(camera.RequestCount(), 1u);
    EXPECT_EQ(camera.Requests()[0].Path, "/oem.txt");
}
