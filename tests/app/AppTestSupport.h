#pragma once
// Shared pieces of the window tests: the offscreen QApplication of the test process, a
// fixture that installs the window's host with boxes answered from a script, loopback deployment settings and fake
// adapters for the H series, and a way to run the event loop until something happened.

#include "app/Torvane_608.h"
#include "support/QtTestHost.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace torvane::test {

// Runs the GUI event loop until cond() is true or deadlineMs has passed; returns cond().
bool RunUntil(const std::function<bool()>& cond, int deadlineMs = 20000);

// One run the fake H-series adapters saw: what the window set on the adapter.
struct TFakeRun {
    bool IsSystem = false;
    int Series = -1; // the series index the adapter was made for
    std::string User;
    std::string Password;
    std::string IP;
    int Port = 0;
};

// The fake adapters (of every series): Login records the run, waits while the gate is held, then
// refuses the account (system firmware: IDS_PASSWORDERROR) or finds no camera (UI
// firmware: IDS_NOIPCCONNECT), so each run writes exactly one line of its own.
class TFakeAdapters {
public:
    static void Install();
    static std::vector<TFakeRun> Runs();
    static void Clear();
    static void Hold();
    static void Release();
};

// The user's and the program folder's option.ini of this test process.
[[nodiscard]] std::string UserSettingsPath();
[[nodiscard]] std::string ProgramSettingsPath();
[[nodiscard]] std::string ReadSetting(const std::string& path, const std::string& key);

class TAppTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A new main window (not shown), created with the settings as they stand.
    std::unique_ptr<TfrmTorvane> NewWindow();
    // The log's lines.
    [[nodiscard]] static QStringList LogLines(const TfrmTorvane& window);
    // True when the line is a log line (date and time, ":") of text.
    [[nodiscard]] static bool IsLogLineOf(const QString& line, const std::string& text);

    TQtTestHost FHost;
    TFakeSleeperScope FSleeper;
};

} // namespace torvane::test
