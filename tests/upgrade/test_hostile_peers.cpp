// Whole upgrade runs (the worker with a real adapter) against hostile firmware servers and
// cameras on loopback: packages that fail their check, packages that carry other releases,
// files and links planted in the temporary folder, peers that trickle or never end, OEM
// names that lead out of the catalogue folder, link entries. Each run ends with its own
// line of the outcome table, and nothing that was not verified reaches the camera.

#include "i18n/Deployment.h"
#include "i18n/StrRes.h"
#include "i18n/StrResource.h"
#include "platform/FileOps.h"
#include "platform/Folders.h"
#include "platform/Host.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestHost.h"
#include "support/TestSupport.h"
#include "upgrade/FirmwareProof.h"
#include "upgrade/PackageBuilder.h"
#include "upgrade/RecordingCamera.h"
#include "upgrade/Tools.h"
#include "upgrade/md5.h"
#include "upgrade/uUpgradeThread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <unistd.h>

namespace torvane {
namespace {

using test::THttpReply;
using test::TRecordingCamera;

long long ElapsedMs(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 since)
        .count();
}

class HostilePeerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Packs = new TfrmStrRes("hostile_test"); }
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
        SetFirmwareServerUrl(Server.Url("/FM/"));
        Server.Handle("/oem.txt", THttpReply::Ok("OEM", "text/plain"));
        Server.Handle("/appver.js", THttpReply::Ok("var app_model=\"" + Name +
                                                   "\";\nvar app_ver=\"v1.0.0\";\n"));
    }
    void TearDown() override {
        SetFirmwareServerUrl(DefaultFirmwareServerUrl());
        platform::SetHost(nullptr);
    }

    // The bytes of a ZIP package with these entries.
    static std::string Zip(const std::vector<test::TZipEntry>& entries) {
        std::string bytes = test::ZipBytes(entries);
        EXPECT_FALSE(bytes.empty());
        return bytes;
    }
    // The same bytes with one of them changed.
    static std::string Corrupted(std::string bytes) {
        bytes[bytes.size() / 2] = static_cast<char>(bytes[bytes.size() / 2] ^ 0x55);
        return bytes;
    }

    // The system catalogue offers file (with md5) to this test's camera model; the UI
    // catalogue of folder the same.
    void Offer(const std::string& file, const std::string& md5, const std::string& version = "2.0",
               const std::string& folder = "system") {
        const std::string key = folder == "system" ? "Sys" : "App";
        Server.Handle("/FM/" + folder + "/firmware.txt",
                      THttpReply::Ok("[" + Name + "]\r\n" + key + "Ver=" + version + "\r\n" + key +
                                         "File=" + file + "\r\nMD5=" + md5 + "\r\n",
                                     "text/plain"));
    }

    // One whole run; the last line of its log.
    template <class TKind = TSysUpgradeObject> std::string Run() {
        auto camera = std::make_unique<TRecordingCamera<TKind>>(Uploads);
        camera->SetIP("127.0.0.1");
        camera->SetPort(Server.Port());
        TUpgradeThread worker(std::move(camera));
        Lines.clear();
        worker.OnLog = [this](const std::string& text) { Lines.push_back(text); };
        worker.Execute();
        Lines = test::WithoutRunFrame(Lines);
        return Lines.empty() ? std::string("<no line>") : Lines.back();
    }

    [[nodiscard]] std::size_t RequestsFor(const std::string& path) const {
        const auto requests = Server.Requests();
        return static_cast<std::size_t>(std::count_if(
            requests.begin(), requests.end(),
            [&](const test::TRecordedHttpRequest& r) { return r.Path == path; }));
    }
    [[nodiscard]] std::string LastBoxText() const {
        return Host.Boxes().empty() ? std::string("<no box>") : Host.Boxes().back().Text;
    }
    // Names in the temporary folder that this test's runs may have left.
    [[nodiscard]] std::vector<std::string> LeftFiles(const std::string& stem) const {
        std::vector<std::string> names;
        for (const auto& e : platform::ListFolder(Temp)) {
            if (e.Name.find(stem) != std::string::npos) {
                names.push_back(e.Name);
            }
        }
        return names;
    }

    static TfrmStrRes* Packs;
    // Deadlines divided by 100: the login's 20 s is 200 ms, the catalogue's 60 s 600 ms.
    test::TFakeSleeperScope Sleep{100, 50};
    test::TTestHost Host;
    test::TLoopbackHttpServer Server;
    std::shared_ptr<std::vector<std::string>> Uploads = std::make_shared<std::vector<std::string>>();
    std::vector<std::string> Lines;
    std::string Temp;
    std::string Name;
};

TfrmStrRes* HostilePeerTest::Packs = nullptr;

TEST_F(HostilePeerTest, FailedChecksOfABinPackageNeverReachTheCamera) {
    // The catalogue names the ".bin" directly: package and firmware share one name.
    const std::string file = "fw_direct.bin";
    const std::string path = "/FM/system/" + file;
    const std::string package = Zip({{file, "firmware 2.0, whole"}});
    Offer(file, Md5Hex(package));

    // Corrupted bytes: the check fails, now and in the next run, which downloads again.
    Server.Handle(path, THttpReply::Ok(Corrupted(package), "application/octet-stream"));
    for (std::size_t run = 1; run <= 2; ++run) {
        EXPECT_EQ(Run(), GetStrRes("IDS_MD5ERROR"));
        EXPECT_EQ(RequestsFor(path), run);
        EXPECT_TRUE(LeftFiles(file).empty()) << LeftFiles(file).front();
    }
    // Closed half-way with no Content-Length: the client cannot tell, the digest can.
    Server.Handle(path, THttpReply::CloseHalfwayUnannounced(package));
    for (std::size_t run = 3; run <= 4; ++run) {
        EXPECT_EQ(Run(), GetStrRes("IDS_MD5ERROR"));
        EXPECT_EQ(RequestsFor(path), run);
        EXPECT_TRUE(LeftFiles(file).empty());
    }
    EXPECT_TRUE(Uploads->empty());

    // The whole package: flashed, and the next run reuses it without a download.
    Server.Handle(path, THttpReply::Ok(package, "application/octet-stream"));
    EXPECT_EQ(Run(), GetStrRes("IDS_IPCWORKING"));
    EXPECT_EQ(Run(), GetStrRes("IDS_IPCWORKING"));
    EXPECT_EQ(RequestsFor(path), 5u);
    EXPECT_EQ(*Uploads, (std::vector<std::string>{"firmware 2.0, whole", "firmware 2.0, whole"}));
}

TEST_F(HostilePeerTest, AnotherReleasesFileInAPackageIsNeverTakenForIt) {
    const std::string a = Zip({{"fw_rel_a.bin", "release A"}, {"fw_rel_b.bin", "planted B"}});
    Offer("fw_rel_a.zip", Md5Hex(a), "1.0");
    Server.Handle("/FM/system/fw_rel_a.zip", THttpReply::Ok(a, "application/zip"));
    EXPECT_EQ(Run(), GetStrRes("IDS_IPCWORKING"));
    EXPECT_FALSE(platform::FileExists(Temp + "fw_rel_b.bin")) << "only the file asked for";

    // The catalogue moves to release B, whose package fails its check: B is not flashed.
    const std::string b = Zip({{"fw_rel_b.bin", "release B"}});
    Offer("fw_rel_b.zip", Md5Hex(b), "2.0");
    Server.Handle("/FM/system/fw_rel_b.zip", THttpReply::Ok(Corrupted(b), "application/zip"));
    EXPECT_EQ(Run(), GetStrRes("IDS_MD5ERROR"));
    EXPECT_EQ(RequestsFor("/FM/system/fw_rel_b.zip"), 1u);

    Server.Handle("/FM/system/fw_rel_b.zip", THttpReply::Ok(b, "application/zip"));
    EXPECT_EQ(Run(), GetStrRes("IDS_IPCWORKING"));
    EXPECT_EQ(*Uploads, (std::vector<std::string>{"release A", "release B"}));
}

TEST_F(HostilePeerTest, ReuseNeedsAFileThatStillMatchesItsProof) {
    const std::string file = "fw_reuse.bin";
    const std::string package = Zip({{file, "firmware R"}});
    Offer("fw_reuse.zip", Md5Hex(package));
    Server.Handle("/FM/system/fw_reuse.zip", THttpReply::Ok(package, "application/zip"));
    EXPECT_EQ(Run(), GetStrRes("IDS_IPCWORKING"));
    EXPECT_EQ(Run(), GetStrRes("IDS_IPCWORKING"));
    EXPECT_EQ(RequestsFor("/FM/system/fw_reuse.zip"), 1u) << "the second run downloads nothing";

    // Changed since (same size), or its proof gone, or the proof damaged: fetched again.
    ASSERT_TRUE(test::WriteWholeFile(Temp + file, "firmware X"));
    EXPECT_EQ(Run(), GetStrRes("IDS_IPCWORKING"));
    EXPECT_EQ(RequestsFor("/FM/system/fw_reuse.zip"), 2u);
    RemoveFirmwareProof(Temp + file);
    EXPECT_EQ(Run(), GetStrRes("IDS_IPCWORKING"));
    EXPECT_EQ(RequestsFor("/FM/system/fw_reuse.zip"), 3u);
    ASSERT_TRUE(test::WriteWholeFile(ProofPathOf(Temp + file), "package-md5=" + Md5Hex(package)));
    EXPECT_EQ(Run(), GetStrRes("IDS_IPCWORKING"));
    EXPECT_EQ(RequestsFor("/FM/system/fw_reuse.zip"), 4u);
    EXPECT_EQ(*Uploads, std::vector<std::string>(5, "firmware R"));
}

TEST_F(HostilePeerTest, WhateverIsInTheFirmwaresPlaceIsReplacedByTheNextGoodRun) {
    const std::string file = "fw_place.bin";
    const std::string target = Temp + file;
    const std::string victim = test::ScratchPath("victim");
    ASSERT_TRUE(test::WriteWholeFile(victim, "not firmware"));
    const std::string package = Zip({{file, "good firmware"}});
    Offer("fw_place.zip", Md5Hex(package));
    Server.Handle("/FM/system/fw_place.zip", THttpReply::Ok(package, "application/zip"));

    const std::vector<std::pair<std::string, std::function<void()>>> obstacles = {
        {"folder",
         [&] {
             ASSERT_TRUE(platform::MakeFolder(target));
             ASSERT_TRUE(platform::MakeFolder(target + "/inner"));
             ASSERT_TRUE(test::WriteWholeFile(target + "/inner/x", "x"));
         }},
        {"link to a file", [&] { ASSERT_EQ(::symlink(victim.c_str(), target.c_str()), 0); }},
        {"link to nothing",
         [&] { ASSERT_EQ(::symlink((Temp + "nothing-here").c_str(), target.c_str()), 0); }},
        {"empty file", [&] { ASSERT_TRUE(test::WriteWholeFile(target, "")); }},
    };
    for (const auto& [what, plant] : obstacles) {
        SCOPED_TRACE(what);
        ASSERT_TRUE(platform::RemovePath(target));
        plant();
        Uploads->clear();
        EXPECT_EQ(Run(), GetStrRes("IDS_IPCWORKING"));
        EXPECT_EQ(*Uploads, std::vector<std::string>{"good firmware"});
        EXPECT_FALSE(platform::IsSymbolicLink(target));
        EXPECT_EQ(test::ReadWholeFile(target), "good firmware");
        EXPECT_EQ(test::ReadWholeFile(victim), "not firmware");
    }
}

TEST_F(HostilePeerTest, LinksPlantedUnderThePackagesNamesAreNeverWrittenThrough) {
    const std::string victim = test::ScratchPath("victim");
    ASSERT_TRUE(test::WriteWholeFile(victim, "precious"));
    ASSERT_EQ(::symlink(victim.c_str(), (Temp + "fw_linked.zip").c_str()), 0);
    (void)platform::RemovePath(Temp + "Firmware.ini");
    ASSERT_EQ(::symlink(victim.c_str(), (Temp + "Firmware.ini").c_str()), 0);
    const std::string package = Zip({{"fw_linked.bin", "linked firmware"}});
    Offer("fw_linked.zip", Md5Hex(package));
    Server.Handle("/FM/system/fw_linked.zip", THttpReply::Ok(package, "application/zip"));

    EXPECT_EQ(Run(), GetStrRes("IDS_IPCWORKING"));
    EXPECT_EQ(test::ReadWholeFile(victim), "precious");
    EXPECT_EQ(*Uploads, std::vector<std::string>{"linked firmware"});
    EXPECT_FALSE(platform::IsSymbolicLink(Temp + "Firmware.ini"));
}

TEST_F(HostilePeerTest, ALinkEntryRefusesThePackage) {
    const std::string victim = test::ScratchPath("victim");
    ASSERT_TRUE(test::WriteWholeFile(victim, "secret"));
    const std::string package = Zip({{"fw_symlink.bin", victim, true, true}});
    Offer("fw_symlink.zip", Md5Hex(package));
    Server.Handle("/FM/system/fw_symlink.zip", THttpReply::Ok(package, "application/zip"));
    EXPECT_EQ(Run(), GetStrRes("IDS_UNZIPERROR"));
    EXPECT_TRUE(Uploads->empty());
    EXPECT_TRUE(LeftFiles("fw_symlink").empty());
}

TEST_F(HostilePeerTest, ATricklingCameraIsUnreachable) {
    // One byte every 5 ms: the login's 20 s (200 ms here) end it all the same.
    Server.Handle("/oem.txt", THttpReply::Trickle(5));
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(Run(), GetStrRes("IDS_NOIPCCONNECT"));
    EXPECT_LT(ElapsedMs(t0), 5000);
    EXPECT_EQ(Lines.size(), 1u);
}

TEST_F(HostilePeerTest, APollThatTricklesCountsAsNotBack) {
    const std::string package = Zip({{"fw_polls.bin", "firmware P"}});
    Offer("fw_polls.zip", Md5Hex(package));
    Server.Handle("/FM/system/fw_polls.zip", THttpReply::Ok(package, "application/zip"));
    // Answers the login before the upload, trickles the first two polls, then answers.
    auto logins = std::make_shared<std::atomic<int>>(0);
    Server.Handle("/oem.txt", [logins](const test::TRecordedHttpRequest&) {
        const int n = ++*logins;
        return n == 2 || n == 3 ? THttpReply::Trickle(5) : THttpReply::Ok("OEM", "text/plain");
    });
    EXPECT_EQ(Run(), GetStrRes("IDS_IPCWORKING"));
    std::vector<int> waits(40, 1000); // the reboot wait, a second at a time
    waits.insert(waits.end(), {1000, 1000});
    EXPECT_EQ(Sleep.Sleeper.Waits(), waits);
    EXPECT_EQ(logins->load(), 4);
}

TEST_F(HostilePeerTest, ACatalogueThatTricklesOrNeverEndsOffersNothing) {
    const auto before = platform::ListFolder(Temp);
    Server.Handle("/FM/system/firmware.txt", THttpReply::Trickle(5));
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(Run(), GetStrRes("IDS_DOWNFIRMERR"));
    EXPECT_LT(ElapsedMs(t0), 5000);
    EXPECT_EQ(LastBoxText(), GetStrRes("IDS_DOWNTIMEOUT"));

    // As fast as the client takes it, without end: stopped at 1 MiB, nothing kept.
    std::string lines;
    while (lines.size() < 65536) {
        lines += "[" + Name + "]\r\nSysVer=9.9\r\n";
    }
    Server.Handle("/FM/system/firmware.txt", THttpReply::EndlessBody(lines));
    EXPECT_EQ(Run(), GetStrRes("IDS_DOWNFIRMERR"));
    EXPECT_EQ(LastBoxText(), GetStrRes("IDS_DOWNTOOLARGE"));
    EXPECT_EQ(test::ReadWholeFile(Temp + "Firmware.ini"), "") << "as after a missing catalogue";
    std::vector<std::string> added;
    for (const auto& e : platform::ListFolder(Temp)) {
        if (std::none_of(before.begin(), before.end(),
                         [&](const platform::TDirEntry& b) { return b.Name == e.Name; })) {
            added.push_back(e.Name);
        }
    }
    EXPECT_TRUE(added.empty() || added == std::vector<std::string>{"Firmware.ini"})
        << added.front();
}

TEST_F(HostilePeerTest, APackageSlowerThanOneKiBPerSecondIsAbandoned) {
    std::string firmware(300000, '\0');
    for (std::size_t i = 0; i < firmware.size(); ++i) {
        firmware[i] = static_cast<char>((i * 2654435761u) >> 13);
    }
    const std::string package = Zip({{"fw_slow.bin", firmware, false}});
    Offer("fw_slow.zip", Md5Hex(package));
    // 100 bytes every 5 ms or slower: about 12 KB in the 600 ms window, under its 60 KiB.
    THttpReply slow = THttpReply::Ok(package, "application/zip");
    slow.TrickleMs = 5;
    slow.TrickleBytes = 100;
    Server.Handle("/FM/system/fw_slow.zip", slow);
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(Run(), GetStrRes("IDS_DOWNLOADERR"));
    EXPECT_LT(ElapsedMs(t0), 5000);
    EXPECT_EQ(LastBoxText(), GetStrRes("IDS_DOWNTOOSLOW"));
    EXPECT_TRUE(LeftFiles("fw_slow").empty());
}

TEST_F(HostilePeerTest, OemNamesThatLeaveTheCatalogueFolderGetNoCatalogue) {
    const std::string package = Zip({{"ui_good.bin", "ui firmware"}});
    Offer("ui_good.zip", Md5Hex(package), "2.0", "good");
    Server.Handle("/FM/good/ui_good.zip", THttpReply::Ok(package, "application/zip"));
    const std::vector<std::string> hostile = {"../../../outside", "..",       ".",
                                              "a/b",              "a\\b",     "good\r\n",
                                              "go\tod", "good\x7F"};
    for (const std::string& oem : hostile) {
        SCOPED_TRACE(oem);
        Server.Handle("/oem.txt", THttpReply::Ok(oem, "text/plain"));
        Server.ClearRequests();
        EXPECT_EQ(Run<TUIUpgradeObject>(), GetStrRes("IDS_DOWNFIRMERR"));
        for (const auto& r : Server.Requests()) {
            EXPECT_EQ(r.Path.find("firmware.txt"), std::string::npos) << r.Target;
        }
    }
    // Percent signs and query marks are sent as text, never decoded into a path.
    Server.Handle("/oem.txt", THttpReply::Ok("%2e%2e?#x", "text/plain"));
    Server.ClearRequests();
    EXPECT_EQ(Run<TUIUpgradeObject>(), GetStrRes("IDS_DOWNFIRMERR"));
    ASSERT_FALSE(Server.Requests().empty());
    EXPECT_EQ(Server.Requests().back().Target, "/FM/%252e%252e%3F%23x/firmware.txt");

    Server.Handle("/oem.txt", THttpReply::Ok("Good", "text/plain"));
    EXPECT_EQ(Run<TUIUpgradeObject>(), GetStrRes("IDS_IPCWORKING"));
    EXPECT_EQ(*Uploads, std::vector<std::string>{"ui firmware"});
}

} // namespace
} // namespace torvane
