// The upgrade worker against a scripted adapter: every row of its outcome table, the
// post-upload polls, the exclusion rule and the threaded run.

#include "i18n/Deployment.h"
#include "i18n/StrRes.h"
#include "i18n/StrResource.h"
#include "platform/Folders.h"
#include "platform/Host.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestHost.h"
#include "support/TestSupport.h"
#include "upgrade/PackageBuilder.h"
#include "upgrade/Tools.h"
#include "upgrade/md5.h"
#include "upgrade/uUpgradeThread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <thread>

namespace torvane {
namespace {

// What the scripted adapter was asked, shared with the test because the worker releases
// the adapter at the end of a threaded run.
struct TScriptRecord {
    std::vector<std::string> Calls;
    bool Destroyed = false;
};

class TScriptedUpgrade : public TUpgradeObject {
public:
    explicit TScriptedUpgrade(std::shared_ptr<TScriptRecord> record)
        : FRecord(std::move(record)) {}
    ~TScriptedUpgrade() override { FRecord->Destroyed = true; }

    std::deque<int> LoginResults{0};  // the last one repeats
    bool VersionRead = true;
    std::string Version = "1.0.2";
    std::string Md5;
    std::string Excluded;
    std::string Offered = "1.0.3";
    // What the camera runs once the upload went through: the offered version unless set;
    // VersionReadAfter false: the version cannot be read then.
    std::optional<std::string> VersionAfter;
    bool VersionReadAfter = true;
    std::string PackageName = "fw_worker.zip";
    bool UploadResult = true;
    std::string UploadMessage = "accepted";
    std::string ThrowIn; // name of the slot that throws
    std::function<void()> DuringUpload; // called inside Upload, on the worker's thread

    [[nodiscard]] std::string GetVersionKey() const override { return "SysVer"; }
    [[nodiscard]] std::string GetFileKey() const override { return "SysFile"; }
    [[nodiscard]] std::string GetCatalogFolder() const override { return "fake"; }

    [[nodiscard]] int Login() override {
        Called("Login");
        const int r = LoginResults.front();
        if (LoginResults.size() > 1) {
            LoginResults.pop_front();
        }
        return r;
    }
    [[nodiscard]] bool ReadCurrentVersion() override {
        Called("ReadCurrentVersion");
        if (Uploaded) {
            SetCurrentVersion(VersionReadAfter ? VersionAfter.value_or(Offered) : "");
            return VersionReadAfter;
        }
        if (VersionRead) {
            SetCurrentVersion(Version);
        }
        return VersionRead;
    }
    void ReadCatalog(std::string& md5, std::string& excluded, std::string& offered) override {
        Called("ReadCatalog");
        md5 = Md5;
        excluded = Excluded;
        offered = Offered;
        SetFirmwareFileName(PackageName);
    }
    [[nodiscard]] bool Upload(std::string& message) override {
        Called("Upload");
        if (DuringUpload) {
            DuringUpload();
        }
        message = UploadMessage;
        Uploaded = UploadResult;
        return UploadResult;
    }
    bool Uploaded = false;

private:
    void Called(const std::string& slot) {
        FRecord->Calls.push_back(slot);
        if (slot == ThrowIn) {
            throw std::runtime_error("scripted failure in " + slot);
        }
    }
    std::shared_ptr<TScriptRecord> FRecord;
};

class WorkerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Packs = new TfrmStrRes("worker_test"); }
    static void TearDownTestSuite() {
        delete Packs;
        Packs = nullptr;
    }

    void SetUp() override {
        SetLanguage("en");
        platform::SetHost(&Host);
        Record = std::make_shared<TScriptRecord>();
        auto upgrade = std::make_unique<TScriptedUpgrade>(Record);
        Script = upgrade.get();
        Worker = std::make_unique<TUpgradeThread>(std::move(upgrade));
        Worker->OnLog = [this](const std::string& text) { Lines.push_back(text); };
        // Most rows need the download to succeed: the firmware server has the package, the
        // first run unpacks it and later runs reuse the proved file.
        UnpackedPath = TTools::GetTempFolder() + "fw_worker.bin";
        (void)platform::RemoveFile(UnpackedPath);
        const std::string zipPath = test::ScratchPath("worker") + ".zip";
        ASSERT_TRUE(test::BuildZip(zipPath, {{"fw_worker.bin", "firmware"}}));
        const std::string package = test::ReadWholeFile(zipPath);
        (void)platform::RemoveFile(zipPath);
        PackageMd5 = Md5Hex(package);
        Script->Md5 = PackageMd5;
        Firmware.Handle("/FM/fake/fw_worker.zip", test::THttpReply::Ok(package));
        SetFirmwareServerUrl(Firmware.Url("/FM/"));
    }
    void TearDown() override {
        (void)platform::RemoveFile(UnpackedPath);
        SetFirmwareServerUrl(DefaultFirmwareServerUrl());
        platform::SetHost(nullptr);
    }

    // Runs the steps and gives the last log line.
    std::string Run() {
        Lines.clear();
        Script->Uploaded = false;
        Worker->Execute();
        // Every run names itself first.
        if (Lines.empty() || Lines.front() != "System firmware of the ? series camera at "
                                               "192.168.1.126:81") {
            ADD_FAILURE() << "no naming line first";
            return "<no line>";
        }
        Lines.erase(Lines.begin());
        return Lines.empty() ? std::string("<no line>") : Lines.back();
    }

    // The waits of the 40 s reboot wait, a second each, then more.
    static std::vector<int> RebootWait(const std::vector<int>& more = {}) {
        std::vector<int> waits(40, 1000);
        waits.insert(waits.end(), more.begin(), more.end());
        return waits;
    }

    static TfrmStrRes* Packs;
    test::TTestHost Host;
    test::TFakeSleeperScope Sleep;
    std::shared_ptr<TScriptRecord> Record;
    TScriptedUpgrade* Script = nullptr;
    std::unique_ptr<TUpgradeThread> Worker;
    std::vector<std::string> Lines;
    std::string UnpackedPath;
    test::TLoopbackHttpServer Firmware;
    std::string PackageMd5;
};

TfrmStrRes* WorkerTest::Packs = nullptr;

TEST_F(WorkerTest, EveryEarlyOutcomeEndsWithItsLine) {
    Script->LoginResults = {2};
    EXPECT_EQ(Run(), GetStrRes("IDS_NOIPCCONNECT"));
    EXPECT_EQ(Lines.size(), 1u);

    Script->LoginResults = {1};
    EXPECT_EQ(Run(), GetStrRes("IDS_PASSWORDERROR"));

    Script->LoginResults = {0};
    Script->VersionRead = false;
    EXPECT_EQ(Run(), GetStrRes("IDS_VERSIONERROR"));
    EXPECT_EQ(Lines, (std::vector<std::string>{GetStrRes("IDS_IPCCONNECTED"),
                                               GetStrRes("IDS_VERSIONERROR")}));

    Script->VersionRead = true;
    Script->Offered = "";
    EXPECT_EQ(Run(), GetStrRes("IDS_DOWNFIRMERR"));
    EXPECT_EQ(Lines.at(1), GetStrRes("IDS_CURRVERSION") + "1.0.2");

    // Same version (compared trimmed and case-blind), the user says No.
    Script->Version = "v1.0.2";
    Script->Offered = " V1.0.2 ";
    Host.ScriptAnswers({platform::IDNO});
    EXPECT_EQ(Run(), GetStrRes("IDS_NOUPDATEFIRM"));
    ASSERT_EQ(Host.Boxes().size(), 1u);
    // The question names the firmware and the camera it is about.
    EXPECT_EQ(Host.Boxes()[0].Text, "System firmware of the ? series camera at "
                                    "192.168.1.126:81\n\n" + GetStrRes("IDS_ISUPDATEFIRM"));
    EXPECT_EQ(Host.Boxes()[0].Caption, GetStrRes("IDS_INFORMATION"));
    EXPECT_EQ(Host.Boxes()[0].Flags, 36);
    EXPECT_EQ(Lines.at(2), GetStrRes("IDS_HIGHVERSION") + " V1.0.2 ");

    // A different version is never asked about; a lower one is installed too.
    Host.Clear();
    Script->Version = "1.0.2";
    Script->Offered = "0.9";
    Script->Excluded = "0.1, 1.0.2; 2.0";
    EXPECT_EQ(Run(), GetStrRes("IDS_NONEWVERSION"));
    EXPECT_TRUE(Host.Boxes().empty());

    // The upload refused: the adapter's own message, even an empty one.
    Script->Excluded = "";
    Script->UploadResult = false;
    Script->UploadMessage = "camera says no";
    EXPECT_EQ(Run(), "camera says no");
    EXPECT_EQ(Lines.at(Lines.size() - 2), GetStrRes("IDS_UPGRADING"));
    Script->UploadMessage = "";
    EXPECT_EQ(Run(), "");
    EXPECT_TRUE(Sleep.Sleeper.Waits().empty());
}

TEST_F(WorkerTest, ExclusionIsAPlainSubstringSearch) {
    Script->UploadResult = false;
    Script->UploadMessage = "reached the upload";
    Script->Version = "1.0";
    Script->Excluded = "0.9\n1.0.1";
    EXPECT_EQ(Run(), GetStrRes("IDS_NONEWVERSION"));
    // Case-sensitive.
    Script->Version = "v1.0";
    Script->Excluded = "V1.0";
    EXPECT_EQ(Run(), "reached the upload");
    // An empty version is never excluded, whatever the list says.
    Script->Version = "";
    Script->Excluded = "1.0";
    EXPECT_EQ(Run(), "reached the upload");
}

TEST_F(WorkerTest, SameVersionWithYesGoesOnAndUnusualLoginGoesOnSilently) {
    Script->LoginResults = {3, 0};
    Script->Offered = "1.0.2";
    Script->Excluded = "none";
    Host.ScriptAnswers({platform::IDYES});
    EXPECT_EQ(Run(), "The camera now runs version 1.0.2, the new firmware.");
    EXPECT_TRUE(Worker->Succeeded());
    EXPECT_EQ(Host.Boxes().size(), 1u);
    const std::vector<std::string> expected = {
        GetStrRes("IDS_CURRVERSION") + "1.0.2", GetStrRes("IDS_HIGHVERSION") + "1.0.2",
        GetStrRes("IDS_DOWNLOADING"),           GetStrRes("IDS_UPGRADING"),
        GetStrRes("IDS_UPGRADED"),              GetStrRes("IDS_IPCWORKING"),
        "The camera now runs version 1.0.2, the new firmware."};
    EXPECT_EQ(Lines, expected); // no line for the login result 3
    // The camera answered the first poll: the reboot wait (40 s in steps of a second) and
    // no pause.
    EXPECT_EQ(Sleep.Sleeper.Waits(), RebootWait());
    // The worker passes the offered version on to the adapter.
    EXPECT_EQ(Worker->Upgrade().NewestVersion(), "1.0.2");
    EXPECT_EQ(Record->Calls,
              (std::vector<std::string>{"Login", "ReadCurrentVersion", "ReadCatalog", "Upload",
                                        "Login", "ReadCurrentVersion"}));
}

TEST_F(WorkerTest, PollsAfterTheUpload) {
    // Back on the third poll, and a refused login counts as back.
    Script->LoginResults = {0, 2, 2, 1};
    EXPECT_EQ(Run(), "The camera now runs version 1.0.3, the new firmware.");
    EXPECT_EQ(Lines.at(Lines.size() - 2), GetStrRes("IDS_IPCWORKING"));
    EXPECT_EQ(Sleep.Sleeper.Waits(), RebootWait({1000, 1000}));

    // Never back: eleven polls, ten pauses.
    Sleep.Sleeper.Clear();
    Record->Calls.clear();
    Script->LoginResults = {0, 2};
    EXPECT_EQ(Run(), GetStrRes("IDS_IPCNOTWORK"));
    EXPECT_FALSE(Worker->Succeeded());
    const std::vector<int> waits = RebootWait(std::vector<int>(10, 1000));
    EXPECT_EQ(Sleep.Sleeper.Waits(), waits);
    EXPECT_EQ(std::count(Record->Calls.begin(), Record->Calls.end(), "Login"), 1 + 11);

    // Back only on the eleventh poll, after the tenth pause: still not back.
    Sleep.Sleeper.Clear();
    Script->LoginResults = {0, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 0};
    EXPECT_EQ(Run(), GetStrRes("IDS_IPCNOTWORK"));
    EXPECT_EQ(Sleep.Sleeper.Waits(), waits);

    // Back on the tenth poll.
    Script->LoginResults = {0, 2, 2, 2, 2, 2, 2, 2, 2, 2, 0};
    EXPECT_EQ(Run(), "The camera now runs version 1.0.3, the new firmware.");
}

TEST_F(WorkerTest, DownloadOutcomes) {
    (void)platform::RemoveFile(UnpackedPath);
    test::TLoopbackHttpServer server;
    SetFirmwareServerUrl(server.Url("/FM/"));
    const std::string notZip = "this is not a zip archive";
    const std::string packagePath = TTools::GetTempFolder() + "fw_worker.zip";
    const std::string zipPath = test::ScratchPath("other") + ".zip";
    ASSERT_TRUE(test::BuildZip(zipPath, {{"other.bin", "firmware"}}));
    const std::string otherZip = test::ReadWholeFile(zipPath);
    Script->UploadResult = false;
    Script->UploadMessage = "reached the upload";

    // 404: the download routine's error box, then the line.
    EXPECT_EQ(Run(), GetStrRes("IDS_DOWNLOADERR"));
    EXPECT_EQ(Lines.at(Lines.size() - 2), GetStrRes("IDS_DOWNLOADING"));
    EXPECT_EQ(Host.Boxes().size(), 1u);

    server.Handle("/FM/fake/fw_worker.zip", test::THttpReply::Ok(notZip));
    Script->Md5 = "00000000000000000000000000000000";
    EXPECT_EQ(Run(), GetStrRes("IDS_MD5ERROR"));
    // Nothing that failed its check is kept under a name a run looks for.
    EXPECT_FALSE(platform::FileExists(packagePath));
    EXPECT_FALSE(platform::FileExists(UnpackedPath));

    Script->Md5 = Md5Hex(notZip);
    EXPECT_EQ(Run(), GetStrRes("IDS_UNZIPERROR"));

    // A package without the expected file counts as one that failed to unpack.
    server.Handle("/FM/fake/fw_worker.zip", test::THttpReply::Ok(otherZip));
    Script->Md5 = Md5Hex(otherZip);
    EXPECT_EQ(Run(), GetStrRes("IDS_UNZIPERROR"));
    EXPECT_FALSE(platform::FileExists(packagePath));
    EXPECT_FALSE(platform::FileExists(TTools::GetTempFolder() + "other.bin"));

    (void)platform::RemoveFile(TTools::GetTempFolder() + "other.bin");
    (void)platform::RemoveFile(zipPath);
    (void)platform::RemoveFile(packagePath);
    SetFirmwareServerUrl(DefaultFirmwareServerUrl());
}

TEST_F(WorkerTest, ThreadedRunDeliversOnTheMainThreadAndEndsAfterAnError) {
    Host.UseQueue = true;
    Host.Queue().BindToCurrentThread();
    const auto mainThread = std::this_thread::get_id();

    for (const bool fail : {false, true}) {
        auto record = std::make_shared<TScriptRecord>();
        auto upgrade = std::make_unique<TScriptedUpgrade>(record);
        if (fail) {
            upgrade->ThrowIn = "ReadCatalog";
        }
        std::vector<std::string> lines;
        bool ended = false;
        bool succeeded = false;
        bool adapterGoneAtEnd = false;
        bool allOnMain = true;
        upgrade->Md5 = PackageMd5;
        auto owned = std::make_unique<TUpgradeThread>(std::move(upgrade));
        TUpgradeThread* worker = owned.get();
        worker->OnLog = [&](const std::string& text) {
            allOnMain = allOnMain && std::this_thread::get_id() == mainThread;
            lines.push_back(text);
        };
        worker->OnTerminate = [&, worker] {
            allOnMain = allOnMain && std::this_thread::get_id() == mainThread;
            succeeded = worker->Succeeded();
            adapterGoneAtEnd = record->Destroyed;
            ended = true;
        };
        worker->Start();
        for (int i = 0; i < 600 && !ended; ++i) {
            Host.Queue().WaitAndRun(100);
        }
        ASSERT_TRUE(ended);
        worker->Wait(); // the completion has run: the thread needs the main thread no more
        EXPECT_FALSE(worker->Running());
        owned.reset();
        EXPECT_TRUE(allOnMain);
        EXPECT_TRUE(adapterGoneAtEnd);
        if (fail) {
            // The error ends the run after the version line, with no line of its own.
            ASSERT_EQ(lines.size(), 3u);
            EXPECT_EQ(lines.back(), GetStrRes("IDS_CURRVERSION") + "1.0.2");
            EXPECT_FALSE(succeeded);
        } else {
            ASSERT_FALSE(lines.empty());
            EXPECT_EQ(lines.back(), "The camera now runs version 1.0.3, the new firmware.");
            EXPECT_TRUE(succeeded);
        }
    }
}

TEST_F(WorkerTest, AnOwnerThatGoesAwayClosesTheWorkersWayToTheMainThread) {
    // Nobody serves the main thread: the worker's first line waits there. Its owner goes
    // away all the same, without waiting for the main thread.
    Host.UseQueue = true;
    Host.Queue().BindToCurrentThread();
    auto record = std::make_shared<TScriptRecord>();
    auto upgrade = std::make_unique<TScriptedUpgrade>(record);
    upgrade->Md5 = PackageMd5;
    upgrade->Offered = upgrade->Version; // the run would ask whether to go on
    std::vector<std::string> lines;
    bool ended = false;
    auto worker = std::make_unique<TUpgradeThread>(std::move(upgrade));
    worker->OnLog = [&](const std::string& text) { lines.push_back(text); };
    worker->OnTerminate = [&] { ended = true; };
    worker->Start();
    worker.reset(); // closes the hand-over and joins: the run goes on to its end unshown

    // The question could not be shown: it counts as No, so nothing was uploaded.
    EXPECT_EQ(record->Calls,
              (std::vector<std::string>{"Login", "ReadCurrentVersion", "ReadCatalog"}));
    EXPECT_TRUE(record->Destroyed);
    Host.Queue().RunPending();
    EXPECT_TRUE(lines.empty());
    EXPECT_FALSE(ended) << "no completion after the owner has gone";
    EXPECT_TRUE(Host.Boxes().empty());
}

TEST_F(WorkerTest, WorkersRunSideBySideEachWithItsOwnerWhichItsCompletionMayEnd) {
    Host.UseQueue = true;
    Host.Queue().BindToCurrentThread();
    constexpr int Workers = 3;
    std::vector<std::unique_ptr<TUpgradeThread>> owners(Workers);
    std::vector<std::vector<std::string>> lines(Workers);
    std::vector<std::shared_ptr<TScriptRecord>> records;
    std::atomic<int> uploadsSeenUnderWay{0};
    int ended = 0;
    for (int i = 0; i < Workers; ++i) {
        records.push_back(std::make_shared<TScriptRecord>());
        auto upgrade = std::make_unique<TScriptedUpgrade>(records.back());
        upgrade->Md5 = PackageMd5;
        upgrade->UploadMessage = "accepted by camera " + std::to_string(i);
        TScriptedUpgrade* script = upgrade.get();
        owners[i] = std::make_unique<TUpgradeThread>(std::move(upgrade));
        TUpgradeThread* worker = owners[i].get();
        script->DuringUpload = [worker, &uploadsSeenUnderWay] {
            if (worker->UploadUnderWay()) {
                ++uploadsSeenUnderWay;
            }
        };
        worker->OnLog = [&lines, i](const std::string& text) { lines[i].push_back(text); };
        // The owner lets its worker go from the completion itself.
        worker->OnTerminate = [&owners, &ended, &lines, i] {
            EXPECT_TRUE(owners[i]->Succeeded());
            EXPECT_FALSE(owners[i]->UploadUnderWay());
            owners[i].reset();
            lines[i].push_back("ended");
            ++ended;
        };
    }
    for (auto& owner : owners) {
        owner->Start();
    }
    for (int i = 0; i < 600 && ended < Workers; ++i) {
        Host.Queue().WaitAndRun(100);
    }
    ASSERT_EQ(ended, Workers);
    EXPECT_EQ(uploadsSeenUnderWay.load(), Workers);
    for (int i = 0; i < Workers; ++i) {
        EXPECT_EQ(owners[i], nullptr);
        // Each worker's lines, in its order, the completion after the last of them.
        ASSERT_GE(lines[i].size(), 3u);
        EXPECT_EQ(lines[i][1], GetStrRes("IDS_IPCCONNECTED"));
        EXPECT_EQ(lines[i][lines[i].size() - 3], GetStrRes("IDS_IPCWORKING"));
        EXPECT_EQ(lines[i].back(), "ended");
        EXPECT_TRUE(records[i]->Destroyed);
    }
}

TEST_F(WorkerTest, TheVersionAfterTheRestartSaysWhatTheCameraRuns) {
    // Taken: the offered version (here with a "v" the catalogue does not write).
    Script->VersionAfter = "v1.0.3";
    EXPECT_EQ(Run(), "The camera now runs version v1.0.3, the new firmware.");
    EXPECT_EQ(Lines.at(Lines.size() - 2), GetStrRes("IDS_IPCWORKING"));
    const TRunResult& r = Worker->Result();
    EXPECT_EQ(r.OutcomeKey, "IDS_NOWVERSION");
    EXPECT_EQ(r.VersionBefore, "1.0.2");
    EXPECT_EQ(r.VersionOffered, "1.0.3");
    EXPECT_EQ(r.VersionAfter, "v1.0.3");
    EXPECT_EQ(r.Firmware, EFirmwareKind::System);
    EXPECT_TRUE(r.Working);
    EXPECT_TRUE(r.Installed);
    EXPECT_EQ(r.Class(), ERunClass::Installed);

    // Back on the version it ran before: a warning, and a failure for the caller.
    Script->VersionAfter = "1.0.2";
    EXPECT_EQ(Run(), "Warning: the camera came back still running version 1.0.2. The new "
                     "firmware was not installed.");
    EXPECT_TRUE(Worker->Succeeded()) << "the camera answers again";
    EXPECT_FALSE(Worker->Result().Installed);
    EXPECT_EQ(Worker->Result().Class(), ERunClass::Failed);

    // On yet another version.
    Script->VersionAfter = "0.9";
    EXPECT_EQ(Run(), "Warning: the camera came back running version 0.9, not the new version "
                     "1.0.3. The new firmware was not installed.");
    EXPECT_EQ(Worker->Result().OutcomeKey, "IDS_OTHERVERSION");

    // Unreadable: said so, whether the read fails or finds no version.
    Script->VersionReadAfter = false;
    EXPECT_EQ(Run(), GetStrRes("IDS_AFTERVERSIONERR"));
    EXPECT_EQ(Worker->Result().VersionAfter, "");
    EXPECT_EQ(Worker->Result().Class(), ERunClass::Failed);
    Script->VersionReadAfter = true;
    Script->VersionAfter = "  ";
    EXPECT_EQ(Run(), GetStrRes("IDS_AFTERVERSIONERR"));

    // Nothing installed and nothing failed: declined, or excluded by the catalogue.
    Script->Offered = "1.0.2";
    Host.ScriptAnswers({platform::IDNO});
    EXPECT_EQ(Run(), GetStrRes("IDS_NOUPDATEFIRM"));
    EXPECT_EQ(Worker->Result().Class(), ERunClass::NothingDone);
    Script->Offered = "1.0.3";
    Script->Excluded = "1.0.2";
    EXPECT_EQ(Run(), GetStrRes("IDS_NONEWVERSION"));
    EXPECT_EQ(Worker->Result().Class(), ERunClass::NothingDone);
    EXPECT_FALSE(Worker->Result().Working);

    // The camera refused the upload: the outcome is the key its message was made from.
    Script->Excluded = "";
    Script->UploadResult = false;
    Script->UploadMessage = GetStrRes("IDS_UPGRADEFAIL") + "HTTP/1.1 500 Internal Server Error";
    (void)Run();
    EXPECT_EQ(Worker->Result().OutcomeKey, "IDS_UPGRADEFAIL");
    EXPECT_EQ(Worker->Result().OutcomeText, Script->UploadMessage);
}

TEST_F(WorkerTest, ProgressReachesTheMainThreadCoalescedInOrderAndComplete) {
    Host.UseQueue = true;
    Host.Queue().BindToCurrentThread();
    auto record = std::make_shared<TScriptRecord>();
    auto upgrade = std::make_unique<TScriptedUpgrade>(record);
    upgrade->Md5 = PackageMd5;
    // An upload of many small blocks, reported one by one as fast as they go.
    constexpr std::uint64_t Blocks = 20000;
    upgrade->DuringUpload = [] {
        for (std::uint64_t i = 0; i <= Blocks; ++i) {
            ReportProgress(EUpgradePhase::Upload, i, Blocks);
        }
    };
    TUpgradeThread worker(std::move(upgrade));
    // One list of what reached the main thread: log lines and progress, in their order.
    std::vector<std::string> events;
    std::vector<TProgress> reports;
    bool ended = false;
    worker.OnLog = [&](const std::string& text) { events.push_back("log " + text); };
    worker.OnProgress = [&](const TProgress& p) {
        events.push_back(std::string("progress ") + PhaseName(p.Phase));
        reports.push_back(p);
    };
    worker.OnTerminate = [&] { ended = true; };
    worker.Start();
    for (int i = 0; i < 600 && !ended; ++i) {
        Host.Queue().WaitAndRun(100);
    }
    ASSERT_TRUE(ended);
    worker.Wait();

    // Far fewer deliveries than reports, but the last of every phase is there.
    const auto uploads = std::count_if(reports.begin(), reports.end(), [](const TProgress& p) {
        return p.Phase == EUpgradePhase::Upload;
    });
    EXPECT_LT(uploads, 1000) << "the reports were not coalesced";
    auto lastOf = [&](EUpgradePhase phase) {
        TProgress last{};
        for (const TProgress& p : reports) {
            if (p.Phase == phase) {
                last = p;
            }
        }
        return last;
    };
    EXPECT_EQ(lastOf(EUpgradePhase::Upload), (TProgress{EUpgradePhase::Upload, Blocks, Blocks, -1}));
    EXPECT_EQ(lastOf(EUpgradePhase::RebootWait),
              (TProgress{EUpgradePhase::RebootWait, 40, 40, 0}));
    EXPECT_EQ(lastOf(EUpgradePhase::Poll).Done, 1u);
    // The phases arrive in the run's order, each before the line that follows it.
    std::vector<std::string> phases;
    for (const std::string& e : events) {
        if (e.rfind("progress ", 0) == 0 && (phases.empty() || phases.back() != e)) {
            phases.push_back(e);
        }
    }
    EXPECT_EQ(phases, (std::vector<std::string>{"progress login", "progress version",
                                                "progress catalogue", "progress download",
                                                "progress check", "progress unpack",
                                                "progress upload", "progress reboot",
                                                "progress poll", "progress proof"}));
    const auto at = [&](const std::string& e) {
        return std::find(events.begin(), events.end(), e) - events.begin();
    };
    const auto lastUpload =
        (events.rend() - std::find(events.rbegin(), events.rend(), "progress upload")) - 1;
    EXPECT_LT(lastUpload, at("log " + GetStrRes("IDS_UPGRADED")));
    EXPECT_LT(at("progress reboot"), at("log " + GetStrRes("IDS_IPCWORKING")));
}

TEST(LogLineTest, DateAndTimeAsTheLocaleWritesThem) {
    std::tm midnight{};
    midnight.tm_year = 2024 - 1900;
    midnight.tm_mon = 2;
    midnight.tm_mday = 14;
    midnight.tm_isdst = -1;
    const std::time_t atMidnight = std::mktime(&midnight);
    const std::string date = LogTimeStamp(atMidnight);
    EXPECT_FALSE(date.empty());
    EXPECT_EQ(date.find(' '), std::string::npos) << date; // no time at exactly midnight

    const std::string later = LogTimeStamp(atMidnight + 1);
    EXPECT_EQ(later.substr(0, date.size() + 1), date + " ");
    EXPECT_GT(later.size(), date.size() + 1);

    const std::string line = FormatLogLine("text");
    EXPECT_EQ(line.substr(line.size() - 5), ":text");
}

} // namespace
} // namespace torvane
