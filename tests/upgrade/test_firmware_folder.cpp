// Whole upgrade runs (the worker with a real adapter) whose firmware comes from a folder or
// a file:// URL instead of a firmware server: the same catalogue rules, the same MD5 check
// before unpacking, the same log lines; a folder that is missing or holds links fails the
// way an unreachable server or a bad package does.

#include "i18n/Deployment.h"
#include "i18n/StrRes.h"
#include "i18n/StrResource.h"
#include "platform/FileOps.h"
#include "platform/Folders.h"
#include "platform/Host.h"
#include "platform/Text.h"
#include "support/TestHost.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestSupport.h"
#include "upgrade/FirmwareProof.h"
#include "upgrade/PackageBuilder.h"
#include "upgrade/RecordingCamera.h"
#include "upgrade/Tools.h"
#include "upgrade/md5.h"
#include "upgrade/uUpgradeThread.h"

#include <gtest/gtest.h>

#include <memory>
#include <unistd.h>

namespace torvane {
namespace {

using test::THttpReply;
using test::TRecordingCamera;

class FirmwareFolderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Packs = new TfrmStrRes("folder_test"); }
    static void TearDownTestSuite() {
        delete Packs;
        Packs = nullptr;
    }

    void SetUp() override {
        SetLanguage("en");
        platform::SetHost(&Host);
        Temp = TTools::GetTempFolder();
        ASSERT_FALSE(Temp.empty());
        Name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        // A folder name with a blank and a non-ASCII character, as on a USB stick.
        Folder = test::ScratchPath("fw folder \xE5\x9B\xBA") + "/";
        ASSERT_TRUE(platform::ForceFolder(Folder + "system/"));
        Camera.Handle("/oem.txt", THttpReply::Ok("ABC", "text/plain"));
        Camera.Handle("/appver.js", THttpReply::Ok("var app_model=\"" + Name +
                                                   "\";\nvar app_ver=\"v1.0.0\";\n"));
    }
    void TearDown() override {
        SetFirmwareServerUrl(DefaultFirmwareServerUrl());
        platform::SetHost(nullptr);
        (void)platform::RemovePath(Folder);
    }

    static std::string Zip(const std::vector<test::TZipEntry>& entries) {
        std::string bytes = test::ZipBytes(entries);
        EXPECT_FALSE(bytes.empty());
        return bytes;
    }

    // The catalogue of the folder offers file (with md5) to this test's camera model.
    [[nodiscard]] std::string Catalogue(const std::string& file, const std::string& md5,
                                        const std::string& kind = "Sys") const {
        return "[" + Name + "]\r\n" + kind + "Ver=2.0\r\n" + kind + "File=" + file +
               "\r\nMD5=" + md5 + "\r\n";
    }
    void Offer(const std::string& file, const std::string& package, const std::string& md5,
               const std::string& folder = "system") {
        ASSERT_TRUE(platform::ForceFolder(Folder + folder));
        ASSERT_TRUE(test::WriteWholeFile(Folder + folder + "/firmware.txt",
                                         Catalogue(file, md5, folder == "system" ? "Sys" : "App")));
        ASSERT_TRUE(test::WriteWholeFile(Folder + folder + "/" + file, package));
    }
    // What an earlier run left in the temporary folder goes, so the next run fetches again.
    void Forget(const std::string& firmwareFile) {
        RemoveFirmwareProof(Temp + firmwareFile);
        (void)platform::RemoveFile(Temp + firmwareFile);
    }

    // One whole run; its log.
    template <class TKind = TSysUpgradeObject> std::vector<std::string> Run() {
        auto camera = std::make_unique<TRecordingCamera<TKind>>(Uploads);
        camera->SetIP("127.0.0.1");
        camera->SetPort(Camera.Port());
        TUpgradeThread worker(std::move(camera));
        std::vector<std::string> lines;
        worker.OnLog = [&lines](const std::string& text) { lines.push_back(text); };
        worker.Execute();
        return test::WithoutRunFrame(lines);
    }
    template <class TKind = TSysUpgradeObject> std::string LastLine() {
        const std::vector<std::string> lines = Run<TKind>();
        return lines.empty() ? std::string("<no line>") : lines.back();
    }
    [[nodiscard]] std::string LastBoxText() const {
        return Host.Boxes().empty() ? std::string("<no box>") : Host.Boxes().back().Text;
    }
    // The folder as a file:// URL, each byte outside the unreserved ones percent-encoded.
    [[nodiscard]] std::string FileUrl() const {
        std::string url = "file://";
        for (const char ch : Folder) {
            const auto c = static_cast<unsigned char>(ch);
            if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                ch == '/' || ch == '-' || ch == '_' || ch == '.') {
                url += ch;
            } else {
                static constexpr char Hex[] = "0123456789ABCDEF";
                url += '%';
                url += Hex[c >> 4];
                url += Hex[c & 15];
            }
        }
        return url;
    }

    static TfrmStrRes* Packs;
    test::TFakeSleeperScope Sleep{100, 50};
    test::TTestHost Host;
    test::TLoopbackHttpServer Camera;
    test::TLoopbackHttpServer Server;
    std::shared_ptr<std::vector<std::string>> Uploads = std::make_shared<std::vector<std::string>>();
    std::string Temp;
    std::string Name;
    std::string Folder;
};

TfrmStrRes* FirmwareFolderTest::Packs = nullptr;

TEST_F(FirmwareFolderTest, AFolderAndAFileUrlServeTheSameRunsAsAServer) {
    const std::string package = Zip({{"fw_folder.bin", "firmware from the stick"}});
    Offer("fw_folder.zip", package, Md5Hex(package));

    // The reference: the same files from a firmware server.
    Server.Handle("/FM/system/firmware.txt",
                  THttpReply::Ok(Catalogue("fw_folder.zip", Md5Hex(package)), "text/plain"));
    Server.Handle("/FM/system/fw_folder.zip", THttpReply::Ok(package, "application/zip"));
    SetFirmwareServerUrl(Server.Url("/FM/"));
    const std::vector<std::string> fromServer = Run();
    ASSERT_FALSE(fromServer.empty());
    EXPECT_EQ(fromServer.back(), GetStrRes("IDS_IPCWORKING"));

    for (const std::string& source : {Folder, FileUrl()}) {
        SCOPED_TRACE(source);
        Forget("fw_folder.bin");
        SetFirmwareServerUrl(source);
        EXPECT_EQ(Run(), fromServer);
        EXPECT_TRUE(platform::FileExists(Temp + "fw_folder.bin"));
        EXPECT_FALSE(platform::FileExists(Temp + "fw_folder.zip"));
        // The second run of the same firmware reuses the proved file: the package may even
        // be gone from the folder by then.
        ASSERT_TRUE(platform::RenameFile(Folder + "system/fw_folder.zip", Folder + "away.zip"));
        EXPECT_EQ(Run(), fromServer);
        ASSERT_TRUE(platform::RenameFile(Folder + "away.zip", Folder + "system/fw_folder.zip"));
    }
    EXPECT_EQ(*Uploads, std::vector<std::string>(5, "firmware from the stick"));
    EXPECT_TRUE(Host.Boxes().empty()) << LastBoxText();

    // UI firmware: the catalogue folder is the camera's OEM name in lower case.
    const std::string ui = Zip({{"ui_folder.bin", "web pages"}});
    Offer("ui_folder.zip", ui, platform::UpperAscii(Md5Hex(ui)), "abc");
    SetFirmwareServerUrl(Folder);
    EXPECT_EQ(LastLine<TUIUpgradeObject>(), GetStrRes("IDS_IPCWORKING"));
    EXPECT_EQ(Uploads->back(), "web pages");
}

TEST_F(FirmwareFolderTest, BadPackagesMissingFilesAndLinksFailAsFromAServer) {
    const std::string package = Zip({{"fw_bad.bin", "firmware"}});
    // A wrong MD5: nothing is unpacked, nothing flashed, nothing left under the name.
    Offer("fw_bad.zip", package, Md5Hex(package + "x"));
    SetFirmwareServerUrl(Folder);
    EXPECT_EQ(LastLine(), GetStrRes("IDS_MD5ERROR"));
    EXPECT_FALSE(platform::FileExists(Temp + "fw_bad.bin"));
    EXPECT_TRUE(Host.Boxes().empty()) << LastBoxText();

    // A folder that does not exist, or one without a catalogue: the lines of a server that
    // cannot be reached, each after its error box.
    SetFirmwareServerUrl("http://127.0.0.1:" + std::to_string(test::UnusedLoopbackTcpPort()) +
                         "/FM/");
    const std::vector<std::string> unreachable = Run();
    ASSERT_FALSE(unreachable.empty());
    EXPECT_EQ(unreachable.back(), GetStrRes("IDS_DOWNFIRMERR"));
    for (const std::string& source : {Folder + "nowhere", Folder + "system"}) {
        SetFirmwareServerUrl(source);
        const std::size_t boxes = Host.Boxes().size();
        EXPECT_EQ(Run(), unreachable) << source;
        EXPECT_EQ(Host.Boxes().size(), boxes + 1);
        EXPECT_NE(LastBoxText().find("No such file or directory"), std::string::npos)
            << LastBoxText();
    }

    // A catalogue naming a package that is missing, or one that is a link (to a good
    // package outside the folder): the download fails, nothing reaches the camera.
    SetFirmwareServerUrl(Folder);
    Offer("fw_bad.zip", package, Md5Hex(package));
    ASSERT_TRUE(platform::RemoveFile(Folder + "system/fw_bad.zip"));
    EXPECT_EQ(LastLine(), GetStrRes("IDS_DOWNLOADERR"));
    const std::string outside = test::ScratchPath("outside") + ".zip";
    ASSERT_TRUE(test::WriteWholeFile(outside, package));
    ASSERT_EQ(::symlink(outside.c_str(), (Folder + "system/fw_bad.zip").c_str()), 0);
    EXPECT_EQ(LastLine(), GetStrRes("IDS_DOWNLOADERR"));
    EXPECT_EQ(LastBoxText(), platform::ReplaceAll(GetStrRes("IDS_DOWNNOTFILE"), "%s",
                                                  Folder + "system/fw_bad.zip"));
    (void)platform::RemoveFile(outside);

    // A setting that is no source at all says so, then fails like an unreachable server.
    SetFirmwareServerUrl("ftp://firmware.example.com/FM/");
    EXPECT_EQ(Run(), unreachable);
    EXPECT_EQ(LastBoxText(), platform::ReplaceAll(GetStrRes("IDS_BADSOURCE"), "%s",
                                                  "ftp://firmware.example.com/FM/"));
    EXPECT_TRUE(Uploads->empty());
}

} // namespace
} // namespace torvane
