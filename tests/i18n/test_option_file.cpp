#include "i18n/Deployment.h"
#include "i18n/OptionFile.h"
#include "i18n/StrRes.h"
#include "platform/FileOps.h"
#include "platform/Folders.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace torvane;

namespace {

struct OptionFileTest : ::testing::Test {
    void SetUp() override {
        SetProgramFileName("optiontest");
        userFolder = platform::AppDataFolderOf("optiontest", true);
        appFolder = platform::TempFolder() + "program/";
        platform::ForceFolder(appFolder);
        appFile = appFolder + "option.ini";
        platform::RemoveFile(userFolder + "option.ini");
        platform::RemoveFile(appFile);
    }
    void TearDown() override {
        platform::RemoveFile(appFile);
        platform::DeleteFolder(userFolder, true);
        SetProgramFileName("");
    }
    std::string userFolder;
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

    SetBroadcastAddress("127.0.0.1"); // as every test starts
    SetSearchInterface("");
}
