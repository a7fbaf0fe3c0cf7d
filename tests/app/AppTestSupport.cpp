#include "AppTestSupport.h"

#include "i18n/Deployment.h"
#include "i18n/OptionFile.h"
#include "i18n/StrRes.h"
#include "i18n/qt/QtText.h"
#include "platform/FileOps.h"
#include "platform/Folders.h"
#include "platform/IniFile.h"
#include "upgrade/uUpgradeFactory.h"

#include <QApplication>
#include <QEventLoop>
#include <QPlainTextEdit>
#include <QTimer>

#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace torvane::test {

namespace {

// Every test process gets temporary, config and runtime folders of its own (ctest runs the
// tests of one executable side by side), and a fixed locale.
void PrivateFolders() {
    const std::pair<const char*, const char*> folders[] = {
        {"TMPDIR", "-tmp"}, {"XDG_CONFIG_HOME", "-config"}, {"XDG_RUNTIME_DIR", "-run"}};
    for (const auto& [var, suffix] : folders) {
        const char* base = std::getenv(var);
        std::string folder = std::string(base != nullptr && *base != '\0' ? base : "/tmp") +
                             "/app-" + std::to_string(::getpid()) + suffix;
        (void)platform::ForceFolder(folder);
        ::chmod(folder.c_str(), 0700);
        ::setenv(var, folder.c_str(), 1);
    }
    ::setenv("LANG", "C.UTF-8", 1);
    ::unsetenv("LC_ALL");
    ::unsetenv("LC_MESSAGES");
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
}

class TQtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        PrivateFolders();
        static int argc = 1;
        static char name[] = "app_tests";
        static char* argv[] = {name, nullptr};
        FApp = std::make_unique<QApplication>(argc, argv);
    }
    void TearDown() override { FApp.reset(); }

private:
    std::unique_ptr<QApplication> FApp;
};

const auto* const Environment = ::testing::AddGlobalTestEnvironment(new TQtEnvironment);

struct TFakeState {
    std::mutex Lock;
    std::condition_variable GateOpened;
    bool Held = false;
    std::vector<TFakeRun> Runs;
};

TFakeState& Fake() {
    static TFakeState state;
    return state;
}

int EnterFakeLogin(bool isSystem, int series, const TUpgradeObject& upgrade) {
    std::unique_lock<std::mutex> lock(Fake().Lock);
    Fake().Runs.push_back(
        {isSystem, series, upgrade.User(), upgrade.Password(), upgrade.IP(), upgrade.Port()});
    Fake().GateOpened.wait(lock, [] { return !Fake().Held; });
    return isSystem ? TUpgradeObject::LoginRefused : TUpgradeObject::LoginUnreachable;
}

class TFakeSys : public TSysUpgradeObject {
public:
    explicit TFakeSys(int series) : FSeries(series) {}
    [[nodiscard]] int Login() override { return EnterFakeLogin(true, FSeries, *this); }

private:
    int FSeries;
};

class TFakeUI : public TUIUpgradeObject {
public:
    explicit TFakeUI(int series) : FSeries(series) {}
    [[nodiscard]] int Login() override { return EnterFakeLogin(false, FSeries, *this); }

private:
    int FSeries;
};

} // namespace

bool RunUntil(const std::function<bool()>& cond, int deadlineMs) {
    if (cond()) {
        return true;
    }
    QEventLoop loop;
    QTimer check;
    check.setInterval(2);
    QObject::connect(&check, &QTimer::timeout, &loop, [&] {
        if (cond()) {
            loop.quit();
        }
    });
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    check.start();
    deadline.start(deadlineMs);
    loop.exec();
    return cond();
}

void TFakeAdapters::Install() {
    for (int series = 0; series < TUpgradeFactory::SeriesCount; ++series) {
        TUpgradeFactory::RegisterCreator(series, true,
                                         [series] { return std::make_unique<TFakeSys>(series); });
        TUpgradeFactory::RegisterCreator(series, false,
                                         [series] { return std::make_unique<TFakeUI>(series); });
    }
}

std::vector<TFakeRun> TFakeAdapters::Runs() {
    std::lock_guard<std::mutex> g(Fake().Lock);
    return Fake().Runs;
}

void TFakeAdapters::Clear() {
    std::lock_guard<std::mutex> g(Fake().Lock);
    Fake().Runs.clear();
}

void TFakeAdapters::Hold() {
    std::lock_guard<std::mutex> g(Fake().Lock);
    Fake().Held = true;
}

void TFakeAdapters::Release() {
    {
        std::lock_guard<std::mutex> g(Fake().Lock);
        Fake().Held = false;
    }
    Fake().GateOpened.notify_all();
}

std::string UserSettingsPath() {
    return TOptionFile("option.ini").UserFileName();
}

std::string ProgramSettingsPath() {
    return platform::FolderOf(platform::ModulePath()) + "option.ini";
}

std::string ReadSetting(const std::string& path, const std::string& key) {
    return platform::TIniFile(path).ReadString("Global", key, "<missing>");
}

void TAppTest::SetUp() {
    platform::SetHost(&FHost);
    SetBroadcastAddress("127.0.0.1");
    TFakeAdapters::Install();
    TFakeAdapters::Clear();
    TFakeAdapters::Release();
    (void)platform::RemoveFile(UserSettingsPath());
}

void TAppTest::TearDown() {
    TFakeAdapters::Release();
    (void)platform::RemoveFile(UserSettingsPath());
    platform::SetHost(nullptr);
}

std::unique_ptr<TfrmTorvane> TAppTest::NewWindow() {
    return std::make_unique<TfrmTorvane>();
}

QStringList TAppTest::LogLines(const TfrmTorvane& window) {
    const QString text = window.Memo1->toPlainText();
    return text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
}

bool TAppTest::IsLogLineOf(const QString& line, const std::string& text) {
    // The time stamp itself is the worker's FormatLogLine: the window adds nothing else.
    const QString tail = QLatin1Char(':') + ToQ(text);
    return line.endsWith(tail) && line.size() > tail.size();
}

} // namespace torvane::test
