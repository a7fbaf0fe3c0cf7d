#pragma once
// The site upgrade window: many cameras upgraded side by side. The list holds the cameras
// the background LAN search finds (kept up to date while no site upgrade runs) and the
// cameras added by address, each with a check box; Start upgrades the checked ones with the
// options under the list (account and password of cameras without their own, how many at
// once, which firmware, what to do with a camera that already runs the offered version).
// While the site upgrade runs, each camera's row shows its phase, progress, versions
// before and after and outcome; Stop starts no further camera and lets the ones under way
// finish. Each camera's log is shown on request, and "Save report" writes the whole result
// as JSON or CSV (by the file name's extension).
//
// The window lives as long as the main window, which opens it. Closing it while a site
// upgrade runs only hides it: the run goes on, and reopening shows it.

#include "i18n/qt/FileDialogs.h"
#include "upgrade/Progress.h"
#include "upgrade/SiteUpgrade.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QDialog;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QTimer;
class QTreeWidgetItem;

namespace torvane {

class TDiscoverySession;
class TListView;

class TfrmSiteUpgrade : public QWidget {
    Q_OBJECT
public:
    // search: the background search whose cameras the list offers (nullptr: none).
    // parent: the main window, which owns this window.
    explicit TfrmSiteUpgrade(TDiscoverySession* search, QWidget* parent = nullptr);
    ~TfrmSiteUpgrade() override;

    // True while a single-camera run of the main window is under way or due: Start is then
    // refused. Set by the main window.
    std::function<bool()> SingleRunBusy;
    // A site upgrade has started or ended (Running() changed).
    std::function<void()> OnRunningChanged;

    // A site upgrade has started and not yet ended.
    [[nodiscard]] bool Running() const;
    // The account and password offered for cameras without their own.
    void SetDefaultAccount(const std::string& user, const std::string& password);
    // Applies the current language (the main window's language list changed).
    void Retranslate();
    // Takes the search's cameras into the list (the one-second timer; tests call it).
    void TakeSearchResults();

    // Adds a camera by address, checked; an address and port the list holds already is
    // updated and checked. False, after a box saying why, when the entries are not a camera.
    bool AddCamera(int seriesIndex, const std::string& address, int port,
                   const std::string& user, const std::string& password);

    // Event handlers.
    void btnAddClick();
    void btnStartClick();
    void btnStopClick();
    void btnSaveReportClick();
    void btnShowLogClick();

    // --- what the list shows, for the tests ---
    [[nodiscard]] int RowCount() const;
    // "ADDR:PORT" of the row.
    [[nodiscard]] std::string RowName(int row) const;
    [[nodiscard]] int RowOf(const std::string& name) const; // -1 when not listed
    [[nodiscard]] bool RowChecked(int row) const;
    void SetRowChecked(int row, bool checked);
    [[nodiscard]] QString RowText(int row, int column) const;
    // The progress column's value in percent, -1 when it shows none.
    [[nodiscard]] int RowProgress(int row) const;
    // The log lines of the row's camera, as shown in its log window.
    [[nodiscard]] const std::vector<std::string>& RowLog(int row) const;
    // The records of the last site upgrade (what "Save report" writes).
    [[nodiscard]] const std::vector<TSiteCameraResult>& Results() const;
    [[nodiscard]] QDialog* LogWindow() const { return FLogWindow; }

    // --- components, by their names: those the window uses after making them; the frame of
    // the list, the labels of the strips, Add and Close are only made and wired ---
    TListView* lvCameras = nullptr;
    QGroupBox* gbAdd = nullptr;
    QComboBox* cmbAddSeries = nullptr;
    QLineEdit* edAddIP = nullptr;
    QLineEdit* edAddPort = nullptr;
    QLineEdit* edAddUser = nullptr;
    QLineEdit* edAddPwd = nullptr;
    QGroupBox* gbOptions = nullptr;
    QLineEdit* edUser = nullptr;
    QLineEdit* edPwd = nullptr;
    QSpinBox* spnParallel = nullptr;
    QComboBox* cmbFirmware = nullptr;
    QComboBox* cmbSameVersion = nullptr;
    QLabel* lblSummary = nullptr;
    QCheckBox* chkAll = nullptr;
    QPushButton* btnShowLog = nullptr;
    QPushButton* btnSaveReport = nullptr;
    QPushButton* btnStart = nullptr;
    QPushButton* btnStop = nullptr;
    // The report's dialog lives as long as the window and offers the name last chosen.
    TSaveDialog SaveDialog1{this};

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // Where one camera of the list stands.
    enum class ERowState { Idle, Waiting, Running, Done };
    struct TRow {
        TSiteCamera Camera; // the password too: it is only used for runs of this window
        bool FromSearch = false;
        bool SeenBySearch = false;
        ERowState State = ERowState::Idle;
        bool RunIsSystem = true;
        bool RunOpen = false; // between a run's start and its end
        EUpgradePhase Phase = EUpgradePhase::Login; // while a run is open
        bool RunEnded = false; // a run has ended and the camera's next has not begun
        int Percent = -1;
        int SecondsLeft = -1;
        std::string SystemBefore, SystemAfter, UIBefore, UIAfter;
        bool SystemRan = false, UIRan = false;
        ESiteCameraOutcome Outcome = ESiteCameraOutcome::NotStarted;
        std::string FailureText; // the last line of the first run that failed
        std::vector<std::string> Log;
        QTreeWidgetItem* Item = nullptr;
    };

    void CreateComponents();
    TRow& NewRow(const TSiteCamera& camera);
    void ShowRow(TRow& row);
    void ShowSummary();
    void UpdateControls();
    void ShowLogOf(std::size_t row);
    void AppendLog(TRow& row, const std::string& text);
    [[nodiscard]] TRow* RowOfCamera(std::size_t camera);
    [[nodiscard]] int SelectedRow() const;
    void SiteFinished();
    int Box(const std::string& textKey, int flags, const QString& arg = {});

    TDiscoverySession* FSearch = nullptr;
    std::vector<std::unique_ptr<TRow>> FRows; // in list order
    std::unique_ptr<TSiteUpgrade> FSite;
    std::vector<TRow*> FRunRows; // camera index of the site upgrade -> its row
    bool FRunning = false;       // from Start until the site upgrade's last event
    bool FShowingRows = false;   // the list is being filled: check changes are ours
    QTimer* FSearchTimer = nullptr;
    QDialog* FLogWindow = nullptr;
    QPlainTextEdit* FLogMemo = nullptr;
    TRow* FLogShown = nullptr; // the camera whose log the log window shows
};

} // namespace torvane
