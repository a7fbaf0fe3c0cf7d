// The site upgrade window offscreen: its rows follow a site upgrade of simulated cameras,
// Stop starts no further camera, "Save report" writes what the engine reported, and the
// main window and the site window each refuse to start while the other runs.

#include "AppTestSupport.h"

#include "app/SiteUpgradeWindow.h"
#include "app/SiteUpgradeWindowDesign.h"
#include "discovery/Adv_Main.h"
#include "discovery/DiscoveryTestUtil.h"
#include "i18n/Deployment.h"
#include "i18n/StrRes.h"
#include "i18n/StrResource.h"
#include "i18n/qt/FileDialogs.h"
#include "i18n/qt/ListControls.h"
#include "i18n/qt/QtText.h"
#include "platform/Sleeper.h"
#include "series/SeriesUnits.h"
#include "support/E2eProcess.h"
#include "upgrade/SiteReport.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

#include <chrono>
#include <memory>
#include <set>
#include <string>
#include <vector>

using namespace torvane;
using namespace torvane::test;

namespace {

namespace design = frmSiteUpgradeDesign;

// The packs in English, as the main window has them (the tests without one make them).
class SiteWindow : public TAppTest {
protected:
    void SetUp() override {
        TAppTest::SetUp();
        FPacks = std::make_unique<TfrmStrRes>();
        SetLanguage("en");
        ASSERT_FALSE(GetStrRes("IDS_SITE_WAITING").empty());
    }
    void TearDown() override {
        FPacks.reset();
        TAppTest::TearDown();
    }
    std::unique_ptr<TfrmStrRes> FPacks;
};

constexpr int H = 2;
constexpr int F = 1;

bool HasBox(const TQtTestHost& host, const std::string& key) {
    const std::string text = GetStrRes(key);
    for (const TBox& box : host.Boxes()) {
        if (box.Text == text) {
            return true;
        }
    }
    return false;
}

// Every log line of a row is one of its own camera's (the log window shows no other).
bool LogHas(const TfrmSiteUpgrade& w, int row, const std::string& key) {
    const std::string text = GetStrRes(key);
    for (const std::string& line : w.RowLog(row)) {
        if (line.size() >= text.size() && line.compare(line.size() - text.size(), text.size(),
                                                       text) == 0) {
            return true;
        }
    }
    return false;
}

std::string LogOf(const TfrmSiteUpgrade& w, int row) {
    std::string all;
    for (const std::string& line : w.RowLog(row)) {
        all += line + "\n";
    }
    return all;
}

} // namespace

TEST_F(SiteWindow, RowsFollowEachCameraLiveAndTheReportIsWhatTheEngineReported) {
    // Two good F cameras sharing one package, a good H camera, and an H camera that refuses
    // the account, on 127.0.17.x (a range no other test uses).
    TE2eCamsim sim(TORVANE_CAMSIM_PATH,
                   {"--server", "127.0.17.100:0", "--reboot-ms", "5", "--exit-after-ms",
                    "300000"},
                   {"series=F,ip=127.0.17.1,port=0,password=135790",
                    "series=F,ip=127.0.17.2,port=0,password=135790",
                    "series=H,ip=127.0.17.3,port=0,password=135790",
                    "series=H,ip=127.0.17.4,port=0,password=135790,fault=refuse-login"},
                   std::chrono::seconds(30), TChildStderr::Inherited);
    ASSERT_TRUE(sim.Ready()) << sim.StartOutput();
    RegisterSeriesAdapters(); // the real adapters, not the fixture's fakes
    // The cameras reboot in real time: the product's waits shortened a thousandfold (as the
    // end-to-end tests run torvane-cli), instead of not waiting at all.
    platform::TScaledSleeper scaled(0.001);
    platform::SetSleeper(&scaled);
    struct TBackToFake {
        platform::ISleeper* Fake;
        ~TBackToFake() { platform::SetSleeper(Fake); }
    } backToFake{&FSleeper.Sleeper};
    SetFirmwareServerUrl(sim.Server());

    TfrmSiteUpgrade w(nullptr);
    w.show();
    const std::vector<std::pair<int, std::string>> cameras = {
        {F, "127.0.17.1"}, {F, "127.0.17.2"}, {H, "127.0.17.3"}, {H, "127.0.17.4"}};
    for (const auto& [series, ip] : cameras) {
        ASSERT_TRUE(w.AddCamera(series, ip, std::stoi(sim.Port(ip)), "", ""));
    }
    ASSERT_EQ(w.RowCount(), 4);
    EXPECT_EQ(w.RowText(0, design::ColumnSeries), QStringLiteral("F"));
    EXPECT_EQ(w.RowText(3, design::ColumnSeries), QStringLiteral("H"));
    EXPECT_TRUE(w.RowChecked(0)) << "a camera added by address is checked";
    EXPECT_FALSE(w.btnSaveReport->isEnabled()) << "nothing to report before a run";

    // Every change of a row is watched as it is shown: a phase, and a bar with a value.
    std::set<int> rowsWithPhase;
    bool sawProgress = false;
    QObject::connect(w.lvCameras, &QTreeWidget::itemChanged, &w, [&](QTreeWidgetItem* item, int) {
        const int row = w.lvCameras->indexOfTopLevelItem(item);
        const QString phase = item->text(design::ColumnPhase);
        if (row >= 0 && !phase.isEmpty() && phase != ToQ(GetStrRes("IDS_SITE_WAITING"))) {
            rowsWithPhase.insert(row);
        }
        sawProgress = sawProgress || (row >= 0 && w.RowProgress(row) >= 0);
    });

    // Two at once: the others wait for a free slot.
    w.spnParallel->setValue(2);
    w.btnStart->click();
    ASSERT_TRUE(w.Running());
    EXPECT_FALSE(w.btnStart->isEnabled());
    EXPECT_TRUE(w.btnStop->isEnabled());
    EXPECT_FALSE(w.gbOptions->isEnabled());
    EXPECT_EQ(w.RowText(3, design::ColumnPhase), ToQ(GetStrRes("IDS_SITE_WAITING")));
    ASSERT_TRUE(RunUntil([&] { return !w.Running(); }, 120000));
    EXPECT_EQ(rowsWithPhase.size(), 4u) << "every camera's row showed where it stood";
    EXPECT_TRUE(sawProgress);

    // The good cameras: upgraded, both firmware kinds with their versions before and after.
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(w.RowText(row, design::ColumnOutcome), ToQ(GetStrRes("IDS_SITE_UPGRADED")))
            << w.RowName(row) << "\n" << LogOf(w, row);
        // The versions the engine recorded, before and after, for both firmware kinds.
        const TSiteCameraResult& result = w.Results()[static_cast<std::size_t>(row)];
        ASSERT_EQ(result.Runs.size(), 2u);
        for (const TSiteRunResult& run : result.Runs) {
            const QString shown =
                w.RowText(row, run.IsSystem ? design::ColumnSystem : design::ColumnUI);
            EXPECT_TRUE(shown.contains(ToQ(run.VersionBefore))) << FromQ(shown);
            EXPECT_TRUE(shown.contains(ToQ(run.VersionAfter))) << FromQ(shown);
        }
        EXPECT_TRUE(w.RowText(row, design::ColumnPhase).isEmpty());
        EXPECT_EQ(w.RowProgress(row), -1) << "no bar once a camera has ended";
        EXPECT_TRUE(LogHas(w, row, "IDS_IPCWORKING")) << w.RowName(row);
        EXPECT_FALSE(LogHas(w, row, "IDS_PASSWORDERROR")) << "each log holds its own camera";
    }
    // The camera that refused the account failed without stopping the others.
    EXPECT_EQ(w.RowText(3, design::ColumnOutcome), ToQ(GetStrRes("IDS_SITE_FAILED")));
    EXPECT_FALSE(LogHas(w, 3, "IDS_IPCWORKING"));
    EXPECT_FALSE(w.RowLog(3).empty());
    EXPECT_TRUE(w.btnStart->isEnabled());
    EXPECT_FALSE(w.btnStop->isEnabled());
    EXPECT_TRUE(w.lblSummary->text().contains(QStringLiteral("3 upgraded")))
        << FromQ(w.lblSummary->text());

    // The log window shows the chosen camera's lines.
    w.lvCameras->setCurrentItem(w.lvCameras->topLevelItem(1));
    w.btnShowLog->click();
    ASSERT_NE(w.LogWindow(), nullptr);
    EXPECT_TRUE(w.LogWindow()->isVisible());
    EXPECT_TRUE(w.LogWindow()->windowTitle().contains(ToQ(w.RowName(1))));

    // "Save report": JSON or CSV by the name, byte for byte the engine's record.
    const std::vector<TSiteCameraResult>& results = w.Results();
    ASSERT_EQ(results.size(), 4u);
    EXPECT_EQ(results[3].Outcome, ESiteCameraOutcome::Failed);
    std::string target;
    w.SaveDialog1.Chooser = [&](TFileDialog& dialog) {
        dialog.FileName = ToQ(target);
        return true;
    };
    target = ScratchPath("site") + ".json";
    w.btnSaveReport->click();
    EXPECT_EQ(ReadWholeFile(target), SiteReportJson(results));
    EXPECT_NE(ReadWholeFile(target).find("127.0.17.4"), std::string::npos);
    target = ScratchPath("site") + ".CSV";
    w.btnSaveReport->click();
    EXPECT_EQ(ReadWholeFile(target), SiteReportCsv(results));
    EXPECT_TRUE(FHost.Boxes().empty());
    // A folder that does not exist: an error box naming the file, nothing written.
    target = ScratchPath("missing") + "/site.json";
    w.btnSaveReport->click();
    ASSERT_EQ(FHost.Boxes().size(), 1u);
    EXPECT_NE(FHost.Boxes()[0].Text.find(target), std::string::npos) << FHost.Boxes()[0].Text;
    EXPECT_EQ(FHost.Boxes()[0].Caption, GetStrRes("IDS_ERROR"));

    sim.Stop(std::chrono::seconds(30));
}

TEST_F(SiteWindow, StopStartsNoFurtherCameraAndLetsTheOneUnderWayFinish) {
    TfrmSiteUpgrade w(nullptr);
    for (const char* ip : {"127.0.0.1", "127.0.0.2", "127.0.0.3"}) {
        ASSERT_TRUE(w.AddCamera(H, ip, 81, "", ""));
    }
    w.spnParallel->setValue(1);
    w.cmbFirmware->setCurrentIndex(1); // system firmware only

    TFakeAdapters::Hold();
    w.btnStart->click();
    ASSERT_TRUE(RunUntil([] { return TFakeAdapters::Runs().size() == 1; }));
    w.btnStop->click();
    EXPECT_FALSE(w.btnStop->isEnabled());
    EXPECT_TRUE(w.Running()) << "the camera under way goes on";
    EXPECT_TRUE(w.lblSummary->text().contains(ToQ(GetStrRes("IDS_SITE_STOPPING"))));
    TFakeAdapters::Release();
    ASSERT_TRUE(RunUntil([&] { return !w.Running(); }));

    const std::vector<TFakeRun> runs = TFakeAdapters::Runs();
    ASSERT_EQ(runs.size(), 1u) << "no camera started after Stop";
    EXPECT_EQ(runs[0].IP, "127.0.0.1");
    EXPECT_TRUE(runs[0].IsSystem);
    EXPECT_EQ(w.RowText(0, design::ColumnOutcome), ToQ(GetStrRes("IDS_SITE_FAILED")));
    for (int row : {1, 2}) {
        EXPECT_EQ(w.RowText(row, design::ColumnOutcome), ToQ(GetStrRes("IDS_SITE_NOTSTARTED")));
        EXPECT_EQ(w.Results()[static_cast<std::size_t>(row)].Outcome,
                  ESiteCameraOutcome::NotStarted);
    }
    EXPECT_TRUE(w.btnStart->isEnabled());

    // Start with nothing checked, or without an account: a box, and nothing runs.
    TFakeAdapters::Clear();
    for (int row = 0; row < w.RowCount(); ++row) {
        w.SetRowChecked(row, false);
    }
    w.btnStart->click();
    EXPECT_TRUE(HasBox(FHost, "IDS_SITE_NOCAMERA"));
    w.SetRowChecked(0, true);
    w.edUser->setText(QStringLiteral("  "));
    w.btnStart->click();
    EXPECT_TRUE(HasBox(FHost, "IDS_NOLOGINUSER"));
    EXPECT_FALSE(w.Running());
    EXPECT_TRUE(TFakeAdapters::Runs().empty());

    // Addresses that are no camera's are refused before they reach the list.
    const int rows = w.RowCount();
    EXPECT_FALSE(w.AddCamera(H, "", 81, "", ""));
    EXPECT_FALSE(w.AddCamera(H, "127.0.0.9/x?y", 81, "", ""));
    EXPECT_FALSE(w.AddCamera(H, "127.0.0.9", 0, "", ""));
    EXPECT_FALSE(w.AddCamera(H, "127.0.0.9", 65536, "", ""));
    EXPECT_FALSE(w.AddCamera(-1, "127.0.0.9", 81, "", ""));
    EXPECT_EQ(w.RowCount(), rows);
    // The same address and port again is the same camera, with what was typed last.
    EXPECT_TRUE(w.AddCamera(F, "127.0.0.2", 81, "op", "pw"));
    EXPECT_EQ(w.RowCount(), rows);
    EXPECT_EQ(w.RowText(w.RowOf("127.0.0.2:81"), design::ColumnSeries), QStringLiteral("F"));
}

TEST_F(SiteWindow, TheMainWindowAndTheSiteWindowRefuseToStartWhileTheOtherRuns) {
    auto main = NewWindow();
    main->SetUIRunPause(0);
    main->btnSiteUpgrade->click();
    TfrmSiteUpgrade* site = main->SiteWindow();
    ASSERT_NE(site, nullptr);
    EXPECT_TRUE(site->isVisible());
    EXPECT_EQ(site->edUser->text(), main->edAcc->text()) << "the main window's account";
    EXPECT_EQ(site->edPwd->displayText(), QStringLiteral("******")) << "masked as designed";
    ASSERT_TRUE(site->AddCamera(H, "127.0.0.5", 81, "", ""));

    // A site upgrade under way: the main window starts no run and does not close.
    TFakeAdapters::Hold();
    site->btnStart->click();
    ASSERT_TRUE(RunUntil([] { return TFakeAdapters::Runs().size() == 1; }));
    main->edIP->setText(QStringLiteral("127.0.0.6"));
    main->btnUpgrdSysByIP->click();
    EXPECT_TRUE(HasBox(FHost, "IDS_SITE_SITERUNNING"));
    EXPECT_FALSE(main->Busy());
    QCloseEvent close;
    QApplication::sendEvent(main.get(), &close);
    EXPECT_FALSE(close.isAccepted());
    EXPECT_TRUE(HasBox(FHost, "IDS_SITE_CLOSEREFUSED"));
    TFakeAdapters::Release();
    ASSERT_TRUE(RunUntil([&] { return !site->Running(); }));
    for (const TFakeRun& run : TFakeAdapters::Runs()) {
        EXPECT_EQ(run.IP, "127.0.0.5") << "only the site upgrade's camera ran";
    }

    // A single run under way (and the pause before its UI run): the site window refuses.
    FHost.ClearBoxes();
    TFakeAdapters::Clear();
    TFakeAdapters::Hold();
    main->btnUpgrdSysByIP->click();
    ASSERT_TRUE(RunUntil([] { return TFakeAdapters::Runs().size() == 1; }));
    site->btnStart->click();
    EXPECT_TRUE(HasBox(FHost, "IDS_SITE_SINGLERUNNING"));
    EXPECT_FALSE(site->Running());
    TFakeAdapters::Release();
    ASSERT_TRUE(RunUntil([&] { return !main->Busy(); }));
    // The single run went on as designed: system, then UI firmware of the typed camera.
    const std::vector<TFakeRun> runs = TFakeAdapters::Runs();
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].IP, "127.0.0.6");
    EXPECT_FALSE(runs[1].IsSystem);

    // Both idle again: the site window starts.
    TFakeAdapters::Clear();
    site->btnStart->click();
    EXPECT_TRUE(site->Running());
    ASSERT_TRUE(RunUntil([&] { return !site->Running(); }));
    EXPECT_FALSE(TFakeAdapters::Runs().empty());
}

TEST_F(SiteWindow, TheListOffersTheSearchsCamerasAndKeepsWhatTheUserChose) {
    auto main = NewWindow();
    TfrmAdv_Main* search = main->CameraDialog();
    ASSERT_NE(search, nullptr);
    search->Timer1->stop();
    main->btnSiteUpgradeClick();
    TfrmSiteUpgrade* site = main->SiteWindow();
    ASSERT_NE(site, nullptr);
    const int before = site->RowCount(); // other cameras may answer on loopback

    // Two cameras of the search (F series, 192.168.1.x:8080): listed, not checked.
    search->Session().HandleDatagram(test::MoiReply("MOIA", "a", 11));
    search->Session().HandleDatagram(test::MoiReply("MOIB", "b", 12));
    site->TakeSearchResults();
    ASSERT_EQ(site->RowCount(), before + 2);
    const int a = site->RowOf("192.168.1.11:8080");
    const int b = site->RowOf("192.168.1.12:8080");
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    EXPECT_FALSE(site->RowChecked(a)) << "nothing is upgraded that the user did not check";
    EXPECT_EQ(site->RowText(a, design::ColumnSeries), QStringLiteral("F"));
    site->chkAll->click();
    EXPECT_TRUE(site->RowChecked(a));
    EXPECT_TRUE(site->RowChecked(b));

    // Typed at the same address and port: the same row, with the series typed.
    ASSERT_TRUE(site->AddCamera(H, "192.168.1.12", 8080, "", ""));
    EXPECT_EQ(site->RowCount(), before + 2);
    EXPECT_EQ(site->RowText(b, design::ColumnSeries), QStringLiteral("H"));
    site->TakeSearchResults();
    EXPECT_EQ(site->RowText(b, design::ColumnSeries), QStringLiteral("H"))
        << "the search does not overrule what the user typed";

    // The search loses both: the unchecked one leaves the list, the checked one stays.
    site->SetRowChecked(a, false);
    search->Session().ClearDevices();
    site->TakeSearchResults();
    EXPECT_EQ(site->RowOf("192.168.1.11:8080"), -1);
    EXPECT_GE(site->RowOf("192.168.1.12:8080"), 0);
}
