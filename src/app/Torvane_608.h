#pragma once
// The main window: the camera's address, port, account and password, the language list,
// the upgrade buttons and the operation log. One press of "Upgrade Firmware" runs the
// system firmware upgrade and, once that run has ended and a short pause has passed, the
// UI firmware upgrade of the same camera (reading the entry fields anew). While a run is
// under way the window answers key presses and clicks over it with the "upgrading" box
// and refuses to close.

#include "i18n/StrResource.h"
#include "upgrade/Progress.h"

#include <QWidget>

#include <memory>
#include <string>
#include <vector>

class QAction;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QStatusBar;
class QTimer;

namespace torvane {

class TImage;
class TInstanceGuard;
class TPanel;
class TSaveDialog;
class TUpgradeThread;
class TfrmAdv_Main;
class TfrmSiteUpgrade;

// The language of a system's OEM code page: 863 fr, 932 jp, 936 cn, 950 b5, 1144 Ita,
// 1145 spa, any other en.
[[nodiscard]] std::string DefaultLanguageOf(int oemCodePage);
// The same for this system's code page.
[[nodiscard]] std::string GetDefaultLanguage();
// The port field read as a decimal integer: 0 when it is not one (or does not fit).
[[nodiscard]] int PortOfText(const std::string& text);

class TfrmTorvane : public QWidget {
    Q_OBJECT
public:
    explicit TfrmTorvane(QWidget* parent = nullptr);
    ~TfrmTorvane() override;

    // True when another copy of the program runs: this window must not be shown and the
    // program ends.
    [[nodiscard]] bool StartRefused() const { return FStartRefused; }

    void CheckAndStart(bool isSystem);
    // In the series of the series list (cmbMType).
    void StartUpgrade(const std::string& account, const std::string& password, bool isSystem,
                      int port, const std::string& ip);
    void StartUpgrade(const std::string& account, const std::string& password, bool isSystem,
                      int port, const std::string& ip, int series);
    // The series index a run of the camera at ip:port uses: that camera's series when the
    // background search lists it there, else the series list's (the camera last chosen in
    // the search window, H at start and after a language change).
    [[nodiscard]] int SeriesForRun(const std::string& ip, int port) const;
    void AddLog(const std::string& text);
    void UpgradeDone();
    // The run band: where a run stands (the worker's progress sink), and idle and empty
    // between runs.
    void ShowProgress(const TProgress& progress);
    void ClearProgress();
    void FillLanguageList();

    // Event handlers.
    void btnUpgrdSysByIPClick();
    void btnUpgrdUIByIPClick();
    void btnFindCamClick();
    // Opens the settings window (not while a run is under way or due).
    void btnSettingsClick();
    // Opens the site upgrade window (made on first use; it lives as long as this window).
    void btnSiteUpgradeClick();
    void cmbLanChange();
    void N1Click();
    void N2Click();

    // A run is under way.
    [[nodiscard]] bool Upgrading() const { return FUpgrading; }
    // A run is under way, or the system run of a press has ended and its UI run is still
    // to come. After a press whose entry checks failed nothing runs, so the window is not
    // busy, although the UI check still follows after the pause.
    [[nodiscard]] bool Busy() const { return FUpgrading || FUIRunPending; }
    [[nodiscard]] bool MouseInside() const { return FMouseInside; }
    [[nodiscard]] const std::vector<std::string>& LanguageFiles() const { return FLanguageFiles; }
    // The pause between the system run and the UI run of one press (1000 ms).
    static constexpr int UIRunPauseMs = 1000;
    [[nodiscard]] int UIRunPause() const;
    void SetUIRunPause(int ms); // tests shorten it
    [[nodiscard]] QLabel* StatusPanel(int index) const { return FStatusPanels[index]; }
    [[nodiscard]] TfrmAdv_Main* CameraDialog() const { return FCameraDialog; }
    [[nodiscard]] TfrmSiteUpgrade* SiteWindow() const { return FSiteWindow; }
    // A site upgrade runs: no single run starts, and the window does not close.
    [[nodiscard]] bool SiteUpgradeRunning() const;

    // --- components, by their names ---
    TPanel* Panel1 = nullptr;
    TImage* Image1 = nullptr;
    QLabel* lblSoftName = nullptr;
    QLabel* lblSoftMemo = nullptr;
    TPanel* Panel3 = nullptr;
    QLabel* lblIPMemo = nullptr;
    QPushButton* btnFindCam = nullptr;
    QPushButton* btnUpgrdSysByIP = nullptr;
    QPushButton* btnUpgrdUIByIP = nullptr;
    QLabel* Label1 = nullptr;
    QComboBox* cmbLan = nullptr;
    QLabel* lblIPCType = nullptr;
    QComboBox* cmbMType = nullptr;
    TPanel* Panel2 = nullptr;
    QLabel* lblIPCIP = nullptr;
    QLineEdit* edIP = nullptr;
    QLabel* lblIPCPort = nullptr;
    QLineEdit* edPort = nullptr;
    QLabel* lblIPCUser = nullptr;
    QLineEdit* edAcc = nullptr;
    QLabel* lblIPCPwd = nullptr;
    QLineEdit* edpwd = nullptr;
    TPanel* Panel4 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QLabel* lblPhase = nullptr;
    QPushButton* btnSettings = nullptr;
    QPushButton* btnSiteUpgrade = nullptr;
    QGroupBox* GroupBox3 = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* N2 = nullptr;
    QAction* N1 = nullptr;
    TSaveDialog* SaveDialog1 = nullptr;
    QStatusBar* StatusBar1 = nullptr;

protected:
    // AppMessage: the application-wide hook.
    bool eventFilter(QObject* watched, QEvent* event) override;
    // FormClose.
    void closeEvent(QCloseEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void CreateComponents();
    void FormCreate();
    void FormDestroy();
    bool CheckSingleInstance(const std::string& caption);
    void SetBannerFonts(bool english);
    void PlaceSoftName();
    void SetStatusBar();
    void ShowUpgradeInfo();
    void RaiseWindow();
    // True, after a box saying why, when a site upgrade runs and a single run must wait.
    bool RefuseWhileSiteRuns();

    std::unique_ptr<TfrmStrRes> FStrRes;
    std::unique_ptr<TInstanceGuard> FInstance;
    // The worker of the last run: kept until the next run starts or the window goes, whose
    // destructor joins it (its thread has ended by then: closing is refused during a run).
    std::unique_ptr<TUpgradeThread> FWorker;
    std::vector<std::string> FLanguageFiles;
    bool FUpgrading = false;
    bool FMouseInside = false;
    bool FUIRunPending = false;
    bool FShowingInfo = false;
    bool FStartRefused = false;
    bool FCentred = false;
    QTimer* FUIRunTimer = nullptr;
    TfrmAdv_Main* FCameraDialog = nullptr;
    TfrmSiteUpgrade* FSiteWindow = nullptr;
    QLabel* FStatusPanels[2] = {nullptr, nullptr};
};

} // namespace torvane
