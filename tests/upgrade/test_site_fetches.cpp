// The downloads of runs side by side: a package that several runs need is downloaded and
// checked once while the others wait for it, each catalogue of a site upgrade is read once,
// and a download that fails leaves the file another package put in place as it was.

#include "i18n/Deployment.h"
#include "platform/Folders.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestHost.h"
#include "support/TestSupport.h"
#include "upgrade/FirmwareFetches.h"
#include "upgrade/FirmwareProof.h"
#include "upgrade/PackageBuilder.h"
#include "upgrade/Tools.h"
#include "upgrade/md5.h"
#include "upgrade/uIUpgrade.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

namespace torvane {
namespace {

using test::THttpReply;

constexpr int Runs = 8;

class SiteFetchesTest : public ::testing::Test {
protected:
    // Each test its own firmware name: the tests of this file may run side by side in
    // several processes, which share the temporary folder.
    SiteFetchesTest()
        : Name(std::string("fw_site_") +
               ::testing::UnitTest::GetInstance()->current_test_info()->name()) {}

    void SetUp() override {
        platform::SetHost(&Host);
        SetFirmwareServerUrl(Server.Url("/FM/"));
        Temp = TTools::GetTempFolder();
        ASSERT_FALSE(Temp.empty());
        Clean();
    }
    void TearDown() override {
        Clean();
        SetFirmwareServerUrl(DefaultFirmwareServerUrl());
        platform::SetHost(nullptr);
    }
    void Clean() {
        (void)platform::RemoveFile(Temp + Name + ".bin");
        RemoveFirmwareProof(Temp + Name + ".bin");
    }

    // Offers the package Name + ".zip" with the given digest to the model SITE; the package answers with
    // reply after a pause, so that every run asks while the first download is under way.
    void Offer(const std::string& md5, THttpReply reply) {
        Server.Handle("/FM/system/firmware.txt",
                      [this, md5](const test::TRecordedHttpRequest&) {
                          ++CatalogRequests;
                          return THttpReply::Ok(
                              "[SITE]\r\nSysVer=2.0\r\nSysFile=" + Name + ".zip\r\nMD5=" + md5 + "\r\n",
                              "text/plain");
                      });
        Server.Handle("/FM/system/" + Name + ".zip",
                      [this, reply](const test::TRecordedHttpRequest&) {
                          ++PackageRequests;
                          std::this_thread::sleep_for(std::chrono::milliseconds(200));
                          return reply;
                      });
    }

    // Runs catalogue and download in Runs threads at once, each with an adapter that goes
    // at the end of its run, as a worker's does; the download results.
    std::vector<int> RunSideBySide(const std::shared_ptr<TFirmwareFetches>& fetches) {
        std::vector<int> results(Runs, -1);
        {
            std::vector<std::jthread> threads;
            for (int i = 0; i < Runs; ++i) {
                threads.emplace_back([&, i] {
                    TSysUpgradeObject run;
                    run.SetAppModel("SITE");
                    run.SetFetches(fetches);
                    std::string md5, excluded, offered;
                    run.ReadCatalog(md5, excluded, offered);
                    results[i] = run.DownloadFirmware(md5);
                });
            }
        }
        return results;
    }

    const std::string Name;
    test::TFakeSleeperScope Sleep;
    test::TTestHost Host;
    test::TLoopbackHttpServer Server;
    std::string Temp;
    std::atomic<int> CatalogRequests{0};
    std::atomic<int> PackageRequests{0};
};

TEST_F(SiteFetchesTest, RunsThatNeedOnePackageDownloadItOnce) {
    const std::string package = test::ZipBytes({{Name + ".bin", "site firmware"}});
    Offer(Md5Hex(package), THttpReply::Ok(package, "application/zip"));

    // A site upgrade: one catalogue read, one download, every run ready with the file.
    auto fetches = std::make_shared<TFirmwareFetches>();
    EXPECT_EQ(RunSideBySide(fetches), std::vector<int>(Runs, TUpgradeObject::DownloadReady));
    EXPECT_EQ(CatalogRequests.load(), 1);
    EXPECT_EQ(PackageRequests.load(), 1);
    EXPECT_EQ(fetches->CatalogFetches(), 1u);
    fetches.reset(); // the site's catalogue copy goes with it
    EXPECT_EQ(test::ReadWholeFile(Temp + Name + ".bin"), "site firmware");
    EXPECT_TRUE(IsProvedFirmware(Temp + Name + ".bin", Md5Hex(package)));

    // Runs without a site (single presses, or other copies of the program) read their own
    // catalogue each, but wait on the package's lock and find the proved file.
    Clean();
    CatalogRequests = 0;
    PackageRequests = 0;
    EXPECT_EQ(RunSideBySide(nullptr), std::vector<int>(Runs, TUpgradeObject::DownloadReady));
    EXPECT_EQ(CatalogRequests.load(), Runs);
    EXPECT_EQ(PackageRequests.load(), 1);
    EXPECT_EQ(test::ReadWholeFile(Temp + Name + ".bin"), "site firmware");
    // No catalogue copy of a run or a site is left beside Firmware.ini, which holds the
    // last one read.
    for (const auto& e : platform::ListFolder(Temp)) {
        EXPECT_EQ(e.Name.find(".Firmware.ini"), std::string::npos) << e.Name;
    }
    EXPECT_TRUE(Host.Boxes().empty());
}

TEST_F(SiteFetchesTest, AFailedDownloadIsNotRepeatedAndLeavesTheProvedFileIntact) {
    // A proved file from an earlier package.
    const std::string earlier = test::ZipBytes({{Name + ".bin", "earlier firmware"}});
    Offer(Md5Hex(earlier), THttpReply::Ok(earlier, "application/zip"));
    ASSERT_EQ(RunSideBySide(std::make_shared<TFirmwareFetches>()),
              std::vector<int>(Runs, TUpgradeObject::DownloadReady));

    // A newer package under the same name fails for the whole site: one request, every
    // run ends with the download's failure and its reason, the earlier file keeps its proof.
    const std::string newer = test::ZipBytes({{Name + ".bin", "newer firmware"}});
    PackageRequests = 0;
    Offer(Md5Hex(newer), THttpReply::WithStatus(503, "Service Unavailable"));
    EXPECT_EQ(RunSideBySide(std::make_shared<TFirmwareFetches>()),
              std::vector<int>(Runs, TUpgradeObject::DownloadFailed));
    EXPECT_EQ(PackageRequests.load(), 1);
    EXPECT_EQ(Host.Boxes().size(), static_cast<std::size_t>(Runs));
    EXPECT_EQ(test::ReadWholeFile(Temp + Name + ".bin"), "earlier firmware");
    EXPECT_TRUE(IsProvedFirmware(Temp + Name + ".bin", Md5Hex(earlier)));

    // A package whose digest is wrong (cut short by the server): checked once, refused for
    // every run, the earlier file untouched.
    PackageRequests = 0;
    Offer(Md5Hex(newer), THttpReply::Ok(newer.substr(0, newer.size() / 2), "application/zip"));
    EXPECT_EQ(RunSideBySide(std::make_shared<TFirmwareFetches>()),
              std::vector<int>(Runs, TUpgradeObject::DownloadDigestMismatch));
    EXPECT_EQ(PackageRequests.load(), 1);
    EXPECT_TRUE(IsProvedFirmware(Temp + Name + ".bin", Md5Hex(earlier)));

    // Once the server has it, the next site fetches it and replaces the file.
    PackageRequests = 0;
    Offer(Md5Hex(newer), THttpReply::Ok(newer, "application/zip"));
    EXPECT_EQ(RunSideBySide(std::make_shared<TFirmwareFetches>()),
              std::vector<int>(Runs, TUpgradeObject::DownloadReady));
    EXPECT_EQ(PackageRequests.load(), 1);
    EXPECT_EQ(test::ReadWholeFile(Temp + Name + ".bin"), "newer firmware");
}

TEST_F(SiteFetchesTest, ACatalogueThatCannotBeHadIsAskedForOnce) {
    Server.Handle("/FM/system/firmware.txt", [this](const test::TRecordedHttpRequest&) {
        ++CatalogRequests;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        return THttpReply::WithStatus(404, "Not Found");
    });
    const auto fetches = std::make_shared<TFirmwareFetches>();
    std::vector<std::jthread> threads;
    std::atomic<int> offeredNothing{0};
    for (int i = 0; i < Runs; ++i) {
        threads.emplace_back([&] {
            TSysUpgradeObject run;
            run.SetAppModel("SITE");
            run.SetFetches(fetches);
            std::string md5, excluded, offered;
            run.ReadCatalog(md5, excluded, offered);
            offeredNothing += offered.empty() ? 1 : 0;
        });
    }
    threads.clear();
    EXPECT_EQ(offeredNothing.load(), Runs);
    EXPECT_EQ(CatalogRequests.load(), 1);
    // Each run still says why it has no catalogue, as a single run does.
    EXPECT_EQ(Host.Boxes().size(), static_cast<std::size_t>(Runs));
}

} // namespace
} // namespace torvane
