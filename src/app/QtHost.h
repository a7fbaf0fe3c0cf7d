#pragma once
// The host services of the window program: message boxes (QMessageBox, shown on the GUI
// thread whichever thread asks), "run on the main thread and wait" (a blocking queued
// call) and the busy pointer (the application's override cursor). It also installs the
// main-thread pump with which a teardown on the GUI thread serves the hand-overs of the
// receive threads it waits for (series/MainThreadPump.h).

#include "platform/Host.h"

#include <QObject>

#include <string>

namespace torvane {

class TQtHost : public QObject, public platform::IHost {
    Q_OBJECT
public:
    // Create it on the GUI thread, after the QApplication.
    TQtHost();
    ~TQtHost() override;

    int MessageBox(const std::string& text, const std::string& caption, int flags) override;
    void RunOnMainThread(const std::function<void()>& fn) override;
    void SetBusyCursor(bool busy) override;

    // The result id (IDOK, IDYES, IDNO) of a pressed QMessageBox button.
    [[nodiscard]] static int ResultOfButton(int standardButton);

private:
    [[nodiscard]] bool IsGuiThread() const;
    int ShowBox(const std::string& text, const std::string& caption, int flags);

    bool FBusy = false;
};

} // namespace torvane
