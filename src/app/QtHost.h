#pragma once
// The host services of the window program: message boxes (QMessageBox, shown on the GUI
// thread whichever thread asks), posted work (a queued call on the GUI thread's event
// loop) and the busy pointer (the application's override cursor).

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
    void Post(std::function<void()> fn) override;
    [[nodiscard]] bool IsMainThread() const override;
    void SetBusyCursor(bool busy) override;

    // The result id (IDOK, IDYES, IDNO) of a pressed QMessageBox button.
    [[nodiscard]] static int ResultOfButton(int standardButton);

private:
    int ShowBox(const std::string& text, const std::string& caption, int flags);

    bool FBusy = false;
};

} // namespace torvane
