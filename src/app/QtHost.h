#pragma once
// The host services of the window program: message boxes (QMessageBox, shown on the GUI
// thread whichever thread asks), "run on the main thread and wait" (a blocking queued
// call) and the busy pointer (the application's override cursor).
//
// Boxes can be answered without being shown, for tests: SetAutoAnswer(true) in-process, or
// the environment variable TORVANE_TEST_AUTOCLOSE_BOXES (test use only) for a whole
// process; each box is then recorded and also written to standard error as one line
// "torvane box <flags>: <caption>: <text>", and answered from the script, else OK, or for
// Yes/No boxes DefaultAnswer (No unless the variable's value is "yes").

#include "platform/Host.h"

#include <QObject>

#include <deque>
#include <mutex>
#include <string>
#include <vector>

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

    // --- answering boxes without showing them ---
    void SetAutoAnswer(bool on) { FAutoAnswer = on; }
    [[nodiscard]] bool AutoAnswer() const { return FAutoAnswer; }
    void ScriptAnswers(std::vector<int> answers);
    int DefaultAnswer = platform::IDNO;
    [[nodiscard]] std::vector<platform::TTestHost::TBox> Boxes() const;
    void ClearBoxes();
    [[nodiscard]] bool Busy() const { return FBusy; }

    // The result id (IDOK, IDYES, IDNO) of a pressed QMessageBox button.
    [[nodiscard]] static int ResultOfButton(int standardButton);

private:
    [[nodiscard]] bool IsGuiThread() const;
    int ShowBox(const std::string& text, const std::string& caption, int flags);
    int Answer(const std::string& text, const std::string& caption, int flags);

    bool FAutoAnswer = false;
    bool FEcho = false;
    bool FBusy = false;
    mutable std::mutex FLock;
    std::vector<platform::TTestHost::TBox> FBoxes;
    std::deque<int> FAnswers;
};

} // namespace torvane
