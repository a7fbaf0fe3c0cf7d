// Progress reports of the steps that move data: the package download (from a server, from
// a folder, from servers that say more or less than they send) and the multipart upload of
// the F, H and T series. Each ends at its total, never goes past it, and says 0 when the
// total is not known.

#include "i18n/StrRes.h"
#include "i18n/StrResource.h"
#include "platform/FileOps.h"
#include "platform/Folders.h"
#include "series/PostFirmware.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestSupport.h"
#include "upgrade/Progress.h"
#include "upgrade/Tools.h"
#include "upgrade/uIUpgradeOpt.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace torvane {
namespace {

using test::THttpReply;

class TRecordingSink : public IProgressSink {
public:
    void Report(const TProgress& progress) override { Reports.push_back(progress); }
    std::vector<TProgress> Reports;
};

// What every sequence of reports of one transfer must be: one phase, done never falling,
// never past a known total, the last at the file's size.
void ExpectAddsUp(const std::vector<TProgress>& reports, EUpgradePhase phase,
                  std::uint64_t size, std::uint64_t total) {
    ASSERT_FALSE(reports.empty());
    std::uint64_t before = 0;
    for (const TProgress& p : reports) {
        EXPECT_EQ(p.Phase, phase);
        EXPECT_GE(p.Done, before);
        before = p.Done;
        EXPECT_EQ(p.Total, total);
        if (p.Total > 0) {
            EXPECT_LE(p.Done, p.Total);
        }
    }
    EXPECT_EQ(reports.back().Done, size);
}

std::string Noise(std::size_t size) {
    std::string data(size, '\0');
    for (std::size_t i = 0; i < size; ++i) {
        data[i] = static_cast<char>((i * 131 + i / 7) & 0xFF);
    }
    return data;
}

TEST(TransferProgress, DownloadsReportBytesUpToWhatTheFileHolds) {
    test::TLoopbackHttpServer server;
    const std::string body = Noise(700 * 1024);
    const std::string path = test::ScratchPath("progress_download");
    std::string error;

    // A plain package: every report knows the total, the last one is all of it.
    server.Handle("/whole.zip", THttpReply::Ok(body, "application/zip"));
    {
        TRecordingSink sink;
        const TProgressScope scope(sink);
        ASSERT_TRUE(TUpgradeOpt::FetchUrl(server.Url("/whole.zip"), path, EDownloadKind::Package,
                                          error))
            << error;
        ExpectAddsUp(sink.Reports, EUpgradePhase::Download, body.size(), body.size());
    }

    // No length announced (the end is where the connection closes): the total stays 0.
    THttpReply unannounced = THttpReply::Ok(body, "application/zip");
    unannounced.AddContentLength = false;
    server.Handle("/unannounced.zip", unannounced);
    {
        TRecordingSink sink;
        const TProgressScope scope(sink);
        ASSERT_TRUE(TUpgradeOpt::FetchUrl(server.Url("/unannounced.zip"), path,
                                          EDownloadKind::Package, error))
            << error;
        ExpectAddsUp(sink.Reports, EUpgradePhase::Download, body.size(), 0);
    }

    // A server that sends more than its Content-Length: the file holds what was announced,
    // and no report goes past it.
    THttpReply overlong = THttpReply::Ok(body, "application/zip");
    overlong.DeclaredLength = 100 * 1024;
    server.Handle("/overlong.zip", overlong);
    {
        TRecordingSink sink;
        const TProgressScope scope(sink);
        (void)TUpgradeOpt::FetchUrl(server.Url("/overlong.zip"), path, EDownloadKind::Package,
                                    error);
        std::string written;
        ASSERT_TRUE(platform::ReadFileBytes(path, written));
        ExpectAddsUp(sink.Reports, EUpgradePhase::Download, written.size(), 100 * 1024);
    }

    // A catalogue is no package: it reports nothing of its own.
    server.Handle("/firmware.txt", THttpReply::Ok("[x]\r\nSysVer=1\r\n", "text/plain"));
    {
        TRecordingSink sink;
        const TProgressScope scope(sink);
        ASSERT_TRUE(TUpgradeOpt::FetchUrl(server.Url("/firmware.txt"), path,
                                          EDownloadKind::Catalog, error));
        EXPECT_TRUE(sink.Reports.empty());
    }

    // From a firmware folder: the file's size is the total.
    const std::string folder = test::ScratchPath("progress_folder") + "/";
    ASSERT_TRUE(TTools::ForceFolder(folder + "system"));
    ASSERT_TRUE(test::WriteWholeFile(folder + "system/pkg.zip", body));
    {
        TRecordingSink sink;
        const TProgressScope scope(sink);
        TFirmwareSource source;
        source.Kind = EFirmwareSourceKind::Folder;
        source.Location = folder;
        ASSERT_TRUE(TUpgradeOpt::FetchFromSource(source, "system", "pkg.zip", path,
                                                 EDownloadKind::Package, error))
            << error;
        ExpectAddsUp(sink.Reports, EUpgradePhase::Download, body.size(), body.size());
    }
    (void)TTools::DeleteFolder(folder, true);
    (void)platform::RemoveFile(path);
}

TEST(TransferProgress, TheMultipartUploadOfEveryVariantEndsAtTheFilesSize) {
    test::TLoopbackHttpServer camera;
    camera.SetDefaultReply(THttpReply::Ok("ok"));
    const std::string file = test::ScratchPath("progress_upload") + ".bin";
    const std::string firmware = Noise(300 * 1024 + 17); // not a whole number of blocks
    ASSERT_TRUE(test::WriteWholeFile(file, firmware));
    for (const TPostVariant variant : {TPostVariant::F, TPostVariant::H, TPostVariant::T}) {
        SCOPED_TRACE(static_cast<int>(variant));
        TRecordingSink sink;
        const TProgressScope scope(sink);
        const TPostResult r = PostFirmware(camera.Url("/upgrade_firmware.cgi"), file,
                                           "application/octet-stream", variant,
                                           {"admin", "pw"});
        ASSERT_TRUE(r.Completed) << r.ErrorText;
        ExpectAddsUp(sink.Reports, EUpgradePhase::Upload, firmware.size(), firmware.size());
        EXPECT_EQ(sink.Reports.front().Done, 0u) << "the upload shows itself before its first block";
    }
    (void)platform::RemoveFile(file);
}

TEST(TransferProgress, ReportsWithoutASinkGoNowhereAndWaitsCountDownInSeconds) {
    ReportProgress(EUpgradePhase::Upload, 1, 2); // no sink on this thread: nothing happens
    test::TFakeSleeperScope sleep;
    TRecordingSink sink;
    {
        const TProgressScope scope(sink);
        WaitReporting(EUpgradePhase::RebootWait, 2500);
    }
    EXPECT_EQ(sleep.Sleeper.Waits(), (std::vector<int>{1000, 1000, 500}));
    ASSERT_EQ(sink.Reports.size(), 4u);
    EXPECT_EQ(sink.Reports.front(), (TProgress{EUpgradePhase::RebootWait, 0, 3, 3}));
    EXPECT_EQ(sink.Reports.back(), (TProgress{EUpgradePhase::RebootWait, 3, 3, 0}));
    ReportProgress(EUpgradePhase::Upload, 1, 2); // the scope has ended: nothing recorded
    EXPECT_EQ(sink.Reports.size(), 4u);
}

TEST(TransferProgress, TheLineSaysThePhaseAndWhatIsKnownOfIt) {
    TfrmStrRes packs("progress_text_test");
    SetLanguage("en");
    EXPECT_EQ(ProgressText({EUpgradePhase::Download, 12 * 1024 * 1024 + 300 * 1024,
                            27 * 1024 * 1024, -1}),
              "Downloading the firmware: 45% (12.3 / 27.0 MiB)");
    EXPECT_EQ(ProgressText({EUpgradePhase::Upload, 1000, 300 * 1024, -1}),
              "Sending the firmware to the camera: 0% (1 / 300 KiB)");
    // More than the total never shows above 100%; an unknown total shows what came.
    EXPECT_EQ(ProgressText({EUpgradePhase::Download, 400, 300, -1}),
              "Downloading the firmware: 100% (1 / 1 KiB)");
    EXPECT_EQ(ProgressText({EUpgradePhase::Download, 3 * 1024 * 1024, 0, -1}),
              "Downloading the firmware: 3.0 MiB");
    EXPECT_EQ(ProgressText({EUpgradePhase::RebootWait, 8, 40, 32}),
              "Waiting for the camera to restart: 32 s left");
    EXPECT_EQ(ProgressText({EUpgradePhase::Poll, 2, 11, -1}),
              "Checking whether the camera is back: attempt 2 of 11");
    EXPECT_EQ(ProgressText({EUpgradePhase::Check, 0, 0, -1}), "Checking the package");
    SetLanguage("cn");
    EXPECT_EQ(ProgressText({EUpgradePhase::RebootWait, 8, 40, 32}),
              "正在等待摄像机重启：还剩 32 秒");
    SetLanguage("b5");
    EXPECT_EQ(ProgressText({EUpgradePhase::Poll, 2, 11, -1}),
              "正在確認攝像機是否恢復運作：第 2 次，共 11 次");
    SetLanguage("en");
}

} // namespace
} // namespace torvane
