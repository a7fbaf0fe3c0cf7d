#pragma once
// SIGINT, SIGTERM and SIGHUP (Ctrl-C in the terminal, the session ending, kill) close the
// main window the way its close box does: refused while an upgrade runs, so a camera is
// never left with half a firmware image; otherwise the program ends cleanly and deletes
// its language packs. Open dialogs and message boxes are closed first.

#include <QObject>

#include <memory>

class QSocketNotifier;
class QWidget;

namespace torvane {

namespace platform {
class TQuitSignalPipe;
}

class TQuitSignals : public QObject {
    Q_OBJECT
public:
    // Installs the handlers; a signal closes window on the GUI thread.
    explicit TQuitSignals(QWidget* window);
    ~TQuitSignals() override;

private:
    QWidget* FWindow;
    std::unique_ptr<platform::TQuitSignalPipe> FSignals;
    QSocketNotifier* FNotifier = nullptr;
};

} // namespace torvane
