#include "i18n/Deployment.h"
#include "i18n/OptionFile.h"
#include "i18n/StrRes.h"
#include "platform/FileOps.h"
#include "platform/Folders.h"
#include "platform/IniFile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <unistd.h>

using namespace torvane;

namespace {

struct OptionFileTest : ::testing::Test {
    void SetUp() override {
        SetProgramFileName("optiontest");
        userFolder = platform::AppDataFolderOf("torvane", true);
        formerFolder = platform::AppDataFolderOf("torvane-cli", false);
        appFolder = platform::TempFolder() + "program/";
        platform::ForceFolder(appFolder);
        appFile = appFolder + "option.ini";
        platform::RemoveFile(userFolder + "option.ini");
        platform::DeleteFolder(formerFolder, true);
        platform::RemoveFile(appFile);
    }
    void TearDown() override {
        platform::RemoveFile(appFile);
        platform::DeleteFolder(userFolder, true);
        platform::DeleteFolder(formerFolder, true);
        SetProgramFileName("");
        SetFirmwareServerUrl(DefaultFirmwareServerUrl());
        SetBroadcastAddress("127.0.0.1"); // as every test starts
        SetSearchInterface("");
    }
    std::string userFolder;
    std::string formerFolder;
    std::string appFolder;
    std::string appFile;
};

} // namespace

TEST_F(OptionFileTest, UserFileWinsOverProgramFolder) {
    ASSERT_EQ(userFolder.back(), '/');
    {
        TOptionFile options("option.ini", appFolder);
        EXPECT_EQ(options.ReadString("Global", "lan", "dflt"), "dflt");
        EXPECT_TRUE(options.WriteString("Global", "lan", "cn"));
    }
    std::ofstream(appFile) << "[Global]\r\nlan=b5\r\nserver=http://127.0.0.1:1/FM/\r\n";
    TOptionFile options("option.ini", appFolder);
    EXPECT_EQ(options.ReadString("global", "LAN", ""), "cn");
    EXPECT_EQ(options.ReadString("Global", "server", ""), "http://127.0.0.1:1/FM/");
    // A present but empty entry in the user's file counts.
    EXPECT_TRUE(options.WriteString("Global", "lan", ""));
    EXPECT_EQ(TOptionFile("option.ini", appFolder).ReadString("Global", "lan", "x"), "");
}

TEST_F(OptionFileTest, UnwritableUserFolderReportsTheFile) {
    // A folder where the file should be: not even root can write the settings there.
    ASSERT_TRUE(platform::MakeFolder(userFolder + "option.ini"));
    TOptionFile options("option.ini", appFolder);
    EXPECT_FALSE(options.WriteString("Global", "lan", "cn"));
    EXPECT_EQ(options.WriteErrorText(), "Unable to write to " + userFolder + "option.ini");
}

TEST_F(OptionFileTest, WindowAndCliShareOneFileAndTheFormerCliFileIsStillRead) {
    // Whatever the program is called, the user's file is ~/.config/torvane/option.ini.
    for (const char* program : {"torvane", "torvane-cli", "optiontest"}) {
        SetProgramFileName(program);
        EXPECT_EQ(TOptionFile("option.ini", appFolder).UserFileName(), userFolder + "option.ini")
            << program;
    }
    SetProgramFileName("torvane");
    ASSERT_TRUE(StoreDeploymentSettings({"http://127.0.0.1:9/FM/", "127.0.0.9", ""}).Ok);
    SetProgramFileName("torvane-cli");
    LoadDeploymentSettings();
    EXPECT_EQ(FirmwareServerUrl(), "http://127.0.0.1:9/FM/");
    EXPECT_EQ(BroadcastAddress(), "127.0.0.9");
    EXPECT_FALSE(FormerSettingsFile()) << "no former file, nothing to say";

    // torvane-cli's former file: read where the shared file lacks a setting, above the
    // program folder's file, never written; what the shared file overrides is named.
    ASSERT_TRUE(platform::ForceFolder(formerFolder));
    std::ofstream(formerFolder + "option.ini")
        << "[Global]\r\nserver=/srv/firmware\r\ninterface=eth7\r\nbroadcast=127.0.0.9\r\n"
           "lan=cn\r\n";
    std::ofstream(appFile) << "[Global]\r\nlan=b5\r\nmore=1\r\n";
    TOptionFile options("option.ini", appFolder);
    EXPECT_EQ(options.FormerFileName(), formerFolder + "option.ini");
    EXPECT_EQ(options.ReadString("Global", "server", ""), "http://127.0.0.1:9/FM/");
    EXPECT_EQ(options.ReadString("Global", "interface", "x"), "") << "set empty in the shared file";
    EXPECT_EQ(options.ReadString("Global", "lan", ""), "cn") << "the former file over the program's";
    EXPECT_EQ(options.ReadString("Global", "more", ""), "1");
    EXPECT_TRUE(options.WriteString("Global", "lan", "en"));
    EXPECT_EQ(options.ReadString("Global", "lan", ""), "en");
    EXPECT_EQ(platform::TIniFile(formerFolder + "option.ini").ReadString("Global", "lan", "-"),
              "cn")
        << "never written";

    const auto former = FormerSettingsFile();
    ASSERT_TRUE(former);
    EXPECT_EQ(former->Path, formerFolder + "option.ini");
    EXPECT_EQ(former->SharedPath, userFolder + "option.ini");
    ASSERT_EQ(former->Overridden.size(), 2u) << "broadcast is the same in both";
    EXPECT_EQ(former->Overridden[0].Key, "server");
    EXPECT_EQ(former->Overridden[0].FormerValue, "/srv/firmware");
    EXPECT_EQ(former->Overridden[0].Value, "http://127.0.0.1:9/FM/");
    EXPECT_EQ(former->Overridden[1].Key, "interface");
    EXPECT_EQ(former->Overridden[1].Value, "");
}

TEST_F(OptionFileTest, SearchSettingsComeFromTheUserFile) {
    platform::ForceFolder(userFolder);
    std::ofstream(userFolder + "option.ini")
        << "[Global]\r\nbroadcast= AUTO \r\ninterface= enp3s0 \r\n";
    LoadDeploymentSettings();
    EXPECT_EQ(BroadcastAddress(), "auto");
    EXPECT_EQ(SearchInterface(), "enp3s0");

    std::ofstream(userFolder + "option.ini", std::ios::trunc)
        << "[Global]\r\nbroadcast=192.168.1.255\r\n";
    LoadDeploymentSettings();
    EXPECT_EQ(BroadcastAddress(), "192.168.1.255");
    EXPECT_EQ(SearchInterface(), DefaultSearchInterface()); // back to every interface

    platform::RemoveFile(userFolder + "option.ini");
    LoadDeploymentSettings();
    EXPECT_EQ(BroadcastAddress(), DefaultBroadcastAddress());
    EXPECT_TRUE(platform::IsValidBroadcastSetting(DefaultBroadcastAddress()));
}

TEST_F(OptionFileTest, StoredSettingsAreCheckedAndKeptWhereBothProgramsReadThem) {
    // A bad value writes nothing at all.
    for (const TDeploymentSettings& bad :
         {TDeploymentSettings{"ftp://x/", "auto", ""}, TDeploymentSettings{"", "255.1", ""},
          TDeploymentSettings{"", "", "no such/name"}}) {
        const TStoreResult r = StoreDeploymentSettings(bad);
        EXPECT_FALSE(r.Ok);
        EXPECT_FALSE(r.InvalidKey.empty());
        EXPECT_FALSE(platform::FileExists(userFolder + "option.ini"));
    }
    // A relative folder is stored as the absolute folder it names now.
    char cwd[4096];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_TRUE(StoreDeploymentSettings({"mirror", "AUTO", "eth1"}).Ok);
    const TDeploymentSettings stored = StoredDeploymentSettings();
    EXPECT_EQ(stored.Server, std::string(cwd) + "/mirror/");
    EXPECT_EQ(stored.Broadcast, "auto");
    EXPECT_EQ(stored.Interface, "eth1");
    // Empty values are written as empty: the compiled-in defaults apply again.
    ASSERT_TRUE(StoreDeploymentSettings({"", "", ""}).Ok);
    EXPECT_EQ(StoredDeploymentSettings().Server, "");
    LoadDeploymentSettings();
    EXPECT_EQ(FirmwareServerUrl(), DefaultFirmwareServerUrl());

    // The user's file cannot be written.
    platform::RemoveFile(userFolder + "option.ini");
    ASSERT_TRUE(platform::MakeFolder(userFolder + "option.ini"));
    const TStoreResult r = StoreDeploymentSettings({"/srv/fw", "", ""});
    EXPECT_FALSE(r.Ok);
    EXPECT_EQ(r.File, userFolder + "option.ini");
}

TEST_F(OptionFileTest, StoringAgainstTheSettingsAsReadWritesOnlyWhatChanged) {
    // The server comes from torvane-cli's former file, the broadcast from the shared one.
    platform::ForceFolder(formerFolder);
    std::ofstream(formerFolder + "option.ini") << "[Global]\r\nserver=http://127.0.0.1:7/FM/\r\n";
    std::ofstream(userFolder + "option.ini") << "[Global]\r\nbroadcast=127.0.0.3\r\n";
    const TDeploymentSettings before = StoredDeploymentSettings();
    ASSERT_EQ(before.Server, "http://127.0.0.1:7/FM/");

    // Left as they were, the server and the interface are not written; the changed
    // broadcast is. Every value is still checked, also one left as it was.
    TDeploymentSettings changed = before;
    changed.Server = " http://127.0.0.1:7/FM/ ";
    changed.Broadcast = "AUTO";
    ASSERT_TRUE(StoreDeploymentSettings(changed, before).Ok);
    const TOptionFile options("option.ini");
    EXPECT_EQ(options.FindInUserFile("Global", "server"), std::nullopt);
    EXPECT_EQ(options.FindInUserFile("Global", "interface"), std::nullopt);
    EXPECT_EQ(options.FindInUserFile("Global", "broadcast"), "auto");
    EXPECT_EQ(StoredDeploymentSettings().Server, "http://127.0.0.1:7/FM/");

    TDeploymentSettings badBefore = StoredDeploymentSettings();
    badBefore.Interface = "bad/name";
    const TStoreResult refused = StoreDeploymentSettings(badBefore, badBefore);
    EXPECT_FALSE(refused.Ok);
    EXPECT_EQ(refused.InvalidKey, "interface");

    // Emptied, a value is written empty: the compiled-in default applies over every file.
    changed = StoredDeploymentSettings();
    changed.Server.clear();
    ASSERT_TRUE(StoreDeploymentSettings(changed, StoredDeploymentSettings()).Ok);
    EXPECT_EQ(TOptionFile("option.ini").FindInUserFile("Global", "server"), "");
    LoadDeploymentSettings();
    EXPECT_EQ(FirmwareServerUrl(), DefaultFirmwareServerUrl());
}

TEST(FirmwareSource, UrlsFileUrlsAndFolders) {
    const auto kind = [](const std::string& text) { return ParseFirmwareSource(text).Kind; };
    const auto where = [](const std::string& text) { return ParseFirmwareSource(text).Location; };
    using K = EFirmwareSourceKind;

    EXPECT_EQ(kind(" http://fw.example.com/FM "), K::Http);
    EXPECT_EQ(where(" http://fw.example.com/FM "), "http://fw.example.com/FM/");
    EXPECT_EQ(kind("HTTPS://fw.example.com/FM/"), K::Http);

    EXPECT_EQ(where("file:///media/usb/FM"), "/media/usb/FM/");
    EXPECT_EQ(where("file://localhost/media/usb/FM/"), "/media/usb/FM/");
    EXPECT_EQ(where("FILE:/media/usb"), "/media/usb/");
    EXPECT_EQ(where("file:///media/usb%20stick/%E5%9B%BA%E4%BB%B6?x#y"),
              "/media/usb stick/\xE5\x9B\xBA\xE4\xBB\xB6/");
    EXPECT_EQ(where("/srv/firmware"), "/srv/firmware/");
    EXPECT_EQ(where("/srv/http:x"), "/srv/http:x/") << "a colon in a path is no scheme";

    char cwd[4096];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    EXPECT_EQ(where("mirror/FM"), std::string(cwd) + "/mirror/FM/");
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') {
        EXPECT_EQ(where("~/FM"), platform::WithTrailingSeparator(home) + "FM/");
    }

    // Nothing that would quietly fetch from elsewhere or from nowhere.
    for (const char* bad : {"", "   ", "http://", "https://a b/", "ftp://fw.example.com/FM/",
                            "htp://fw.example.com/FM/", "file://nas/share/FM", "file:relative",
                            "file://", "file:///bad%2", "file:///bad%zz", "file:///zero%00"}) {
        EXPECT_EQ(kind(bad), K::Invalid) << bad;
    }
    EXPECT_EQ(ParseFirmwareSource(" ftp://x ").Setting, "ftp://x");
}
