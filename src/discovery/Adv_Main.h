#pragma once
// The camera selection window: the list of cameras the background LAN search has found,
// from which the user picks the one to upgrade. The window lives as long as the program
// and its search runs all the time, shown or not (a pass every second); closing it only
// hides it, until its owner sets isClose and destroys it. The search itself (listeners,
// probes, merging, ageing, sorting, selection) is the Qt-free TDiscoverySession; this
// window shows its list and hands the user's clicks to it.

#include "discovery/DiscoverySession.h"

#include <QDialog>

#include <memory>
#include <string>

class QTimer;

namespace torvane {

class TListView;
class TPanel;
class TThemeLabel;

class TfrmAdv_Main : public QDialog {
    Q_OBJECT
public:
    // Creates the window (hidden), translates it, activates the listeners and starts the
    // one-second search timer. ports and vendorLibrary are for tests.
    explicit TfrmAdv_Main(TDiscoveryPorts ports = {},
                          std::string vendorLibrary = TFind_Hisi::DefaultLibraryPath());
    ~TfrmAdv_Main() override;

    // When true, closing the window tears it down instead of hiding it.
    [[nodiscard]] bool isClose() const { return FIsClose; }
    void SetisClose(bool value) { FIsClose = value; }
    // The camera handed back to the main window.
    [[nodiscard]] const std::string& szIP() const { return FszIP; }
    void SetszIP(const std::string& value) { FszIP = value; }
    [[nodiscard]] int nPort() const { return FnPort; }
    void SetnPort(int value) { FnPort = value; }
    [[nodiscard]] int nTYpe() const { return FnTYpe; }
    void SetnTYpe(int value) { FnTYpe = value; }

    [[nodiscard]] TDiscoverySession& Session() { return *FSession; }

    // Event handlers.
    void Timer1Timer();
    void btnFindClick();
    void spbExportClick(); // the OK button

    // --- components, by their names: those the dialog uses after making them; the frame
    // and the buttons are only made and wired ---
    TListView* ListView = nullptr;
    TPanel* plInfo = nullptr;
    TThemeLabel* lblDevNum = nullptr;
    QTimer* Timer1 = nullptr;

protected:
    void showEvent(QShowEvent* event) override; // FormShow
    void closeEvent(QCloseEvent* event) override; // FormClose

private:
    void CreateComponents();
    void FormCreate();
    void Teardown();
    // Shows the session's list, selection and count (its change handler).
    void SessionChanged(unsigned changes);
    void SyncItems();
    void SyncSelection();
    void SyncCount();
    void ListSelectionChanged();

    std::unique_ptr<TDiscoverySession> FSession;
    bool FIsClose = false;
    bool FTornDown = false;
    bool FSyncing = false;
    std::string FszIP;
    int FnPort = 0;
    int FnTYpe = -1;
};

} // namespace torvane
