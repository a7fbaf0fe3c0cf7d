#include "i18n/Deployment.h"
#include "series/SeriesUnits.h"
#include "series/uEUpgrade.h"
#include "series/uFUpgrade.h"
#include "series/uHUpgrade.h"
#include "series/uTUpgrade.h"
#include "support/LoopbackHttpServer.h"
#include "upgrade/uUpgradeFactory.h"

#include <gtest/gtest.h>

using namespace torvane;
using torvane::test::THttpReply;
using torvane::test::TLoopbackHttpServer;

namespace {

// The base behaviour, without a series of its own.
class TPlainSys : public TSysUpgradeObject {};
class TPlainUI : public TUIUpgradeObject {};

template <class T> void PointAt(T& adapter, const TLoopbackHttpServer& server) {
    adapter.SetIP("127.0.0.1");
    adapter.SetPort(server.Port());
}

} // namespace

TEST(Adapter, DefaultsAndSetters) {
    TPlainSys a;
    EXPECT_EQ(a.User(), "admin");
    EXPECT_EQ(a.Password(), "");
    EXPECT_EQ(a.IP(), "192.168.1.126");
    EXPECT_EQ(a.Port(), 81);
    a.SetPassword("  AbC ");
    a.SetUser(" Admin\t");
    EXPECT_EQ(a.Password(), "abc");
    EXPECT_EQ(a.User(), "admin");
    a.SetIP(" 10.0.0.1 ");
    EXPECT_EQ(a.IP(), " 10.0.0.1 "); // stored as typed
    EXPECT_EQ(a.GetVersionKey(), "SysVer");
    EXPECT_EQ(a.GetFileKey(), "SysFile");
    EXPECT_EQ(a.GetCatalogFolder(), "system");
    TPlainUI u;
    EXPECT_EQ(u.GetVersionKey(), "AppVer");
    EXPECT_EQ(u.GetFileKey(), "AppFile");
    std::string message = "untouched";
    EXPECT_FALSE(u.Upload(message));
    EXPECT_EQ(message, "untouched");
}

TEST(Adapter, CatalogSectionSameVersionAndLocalName) {
    TPlainSys a;
    a.SetCurrentVersion("48.2.64.35");
    EXPECT_EQ(a.GetCatalogSection(), "48.2.64");
    a.SetCurrentVersion("1.2.3");
    EXPECT_EQ(a.GetCatalogSection(), "1.2");
    a.SetCurrentVersion("123");
    EXPECT_EQ(a.GetCatalogSection(), "");
    a.SetAppModel("IPCAM");
    EXPECT_EQ(a.GetCatalogSection(), "IPCAM");
    a.SetAppModelLength(3);
    EXPECT_EQ(a.GetCatalogSection(), "IPC");
    a.SetAppModelLength(99);
    EXPECT_EQ(a.GetCatalogSection(), "IPCAM");

    a.SetCurrentVersion("v1.0");
    EXPECT_TRUE(a.IsSameVersion("  V1.0 "));
    EXPECT_FALSE(a.IsSameVersion("1.0"));

    // The local name of the unpacked file, through a catalogue that names the package.
    TLoopbackHttpServer server;
    server.Handle("/FM/system/firmware.txt",
                  THttpReply::Ok("[IPC]\r\nSysVer=2.0\r\nSysFile=  fw123.zip \r\nMD5=ab\r\n"));
    SetFirmwareServerUrl(server.Url("/FM/"));
    std::string md5, no, offered;
    a.SetAppModelLength(0);
    a.SetAppModel("IPC");
    a.ReadCatalog(md5, no, offered);
    EXPECT_EQ(offered, "2.0");
    EXPECT_EQ(a.GetLocalFileName(), "fw123.bin");
    server.Handle("/FM/system/firmware.txt", THttpReply::Ok("[IPC]\r\nSysFile=abc\r\n"));
    a.ReadCatalog(md5, no, offered);
    EXPECT_EQ(a.GetLocalFileName(), "abc.bin");
    server.Handle("/FM/system/firmware.txt", THttpReply::Ok("[IPC]\r\nSysFile=abcd\r\n"));
    a.ReadCatalog(md5, no, offered);
    EXPECT_EQ(a.GetLocalFileName(), ".bin");
    SetFirmwareServerUrl(DefaultFirmwareServerUrl());
}

TEST(Adapter, LoginResults) {
    TLoopbackHttpServer server;
    TPlainUI a;
    PointAt(a, server);
    a.SetPassword("135790");
    server.Handle("/oem.txt", THttpReply::Ok("ABC\r\n"));
    EXPECT_EQ(a.Login(), TUpgradeObject::LoginOk);
    EXPECT_EQ(a.OemName(), "ABC\r\n"); // the whole body as received
    EXPECT_EQ(a.GetCatalogFolder(), "ABC\r\n");
    ASSERT_FALSE(server.Requests().empty());
    EXPECT_EQ(server.Requests().back().Header("Authorization"), "Basic YWRtaW46MTM1Nzkw");

    server.Handle("/oem.txt", THttpReply::Unauthorized("<h1>401 Unauthorized</h1>"));
    EXPECT_EQ(a.Login(), TUpgradeObject::LoginRefused);
    EXPECT_EQ(a.OemName(), "");
    server.Handle("/oem.txt", THttpReply::Ok("text that says Unauthorized somewhere"));
    EXPECT_EQ(a.Login(), TUpgradeObject::LoginRefused);
    server.Handle("/oem.txt", THttpReply::Ok(""));
    EXPECT_EQ(a.Login(), TUpgradeObject::LoginRefused); // empty body: refused, not unreachable

    TPlainUI gone;
    gone.SetIP("127.0.0.1");
    {
        TLoopbackHttpServer closed;
        gone.SetPort(closed.Port());
    }
    EXPECT_EQ(gone.Login(), TUpgradeObject::LoginUnreachable);
}

TEST(Adapter, VersionPagesOfTheKindClasses) {
    TLoopbackHttpServer server;
    server.Handle("/appver.js",
                  THttpReply::Ok("var app_model=\"IPCAM-2\";\r\nvar app_ver=\" v1.2.v3 \";\r\n"));
    TPlainUI ui;
    PointAt(ui, server);
    ASSERT_TRUE(ui.ReadCurrentVersion());
    EXPECT_EQ(ui.AppModel(), "IPCAM-2");
    EXPECT_EQ(ui.CurrentVersion(), "1.2.3"); // every lower-case v removed, then trimmed

    server.Handle("/appver.js", THttpReply::Ok("var app_model=\"M\";"));
    EXPECT_FALSE(ui.ReadCurrentVersion()); // no app_ver
    EXPECT_EQ(ui.AppModel(), "M");

    TPlainSys sys;
    PointAt(sys, server);
    sys.SetAppModel("kept");
    sys.SetCurrentVersion("old");
    server.Handle("/appver.js", THttpReply::Ok("nothing here"));
    EXPECT_TRUE(sys.ReadCurrentVersion());
    EXPECT_EQ(sys.AppModel(), "");
    EXPECT_EQ(sys.CurrentVersion(), "");

    TPlainSys down;
    down.SetIP("127.0.0.1");
    {
        TLoopbackHttpServer closed;
        down.SetPort(closed.Port());
    }
    down.SetAppModel("kept");
    EXPECT_TRUE(down.ReadCurrentVersion()); // a failed fetch still gives true
    EXPECT_EQ(down.AppModel(), "kept");
}

TEST(Adapter, QuotedValues) {
    bool found = false;
    EXPECT_EQ(ReadQuotedValue("var app_ver='3.2.5.7';", "app_ver", '\''), "3.2.5.7");
    EXPECT_EQ(ReadQuotedValue("sys_ver=\"V2.1.0.9\";", "sys_ver", '"'), "V2.1.0.9");
    EXPECT_EQ(ReadQuotedValue("sys_ver='1.0';", "sys_ver", '"'), ""); // no double quote
    EXPECT_EQ(ReadQuotedValue("app_ver='open", "app_ver", '\'', &found), "");
    EXPECT_TRUE(found);
    EXPECT_EQ(ReadQuotedValue("other", "app_ver", '\'', &found), "");
    EXPECT_FALSE(found);
    EXPECT_EQ(ReadQuotedValue("app_ver", "app_ver", '\''), ""); // nothing after the key
}

TEST(Factory, EightClassesForTheRightIndexAndKind) {
    RegisterSeriesAdapters();
    EXPECT_NE(dynamic_cast<TESYSUpgrade*>(TUpgradeFactory::CreateUpgrade(0, true).get()), nullptr);
    EXPECT_NE(dynamic_cast<TEUIUpgrade*>(TUpgradeFactory::CreateUpgrade(0, false).get()), nullptr);
    EXPECT_NE(dynamic_cast<TFSYSUpgrade*>(TUpgradeFactory::CreateUpgrade(1, true).get()), nullptr);
    EXPECT_NE(dynamic_cast<TFUIUpgrade*>(TUpgradeFactory::CreateUpgrade(1, false).get()), nullptr);
    EXPECT_NE(dynamic_cast<THSYSUpgrade*>(TUpgradeFactory::CreateUpgrade(2, true).get()), nullptr);
    EXPECT_NE(dynamic_cast<THUIUpgrade*>(TUpgradeFactory::CreateUpgrade(2, false).get()), nullptr);
    EXPECT_NE(dynamic_cast<TTSYSUpgrade*>(TUpgradeFactory::CreateUpgrade(3, true).get()), nullptr);
    EXPECT_NE(dynamic_cast<TTUIUpgrade*>(TUpgradeFactory::CreateUpgrade(3, false).get()), nullptr);
    EXPECT_EQ(TUpgradeFactory::CreateUpgrade(4, true), nullptr);
    EXPECT_EQ(TUpgradeFactory::CreateUpgrade(-1, false), nullptr);
    auto sys = TUpgradeFactory::CreateUpgrade(1, true);
    EXPECT_EQ(sys->AppModelLength(), 0);
    EXPECT_EQ(sys->GetCatalogFolder(), "system");
}
