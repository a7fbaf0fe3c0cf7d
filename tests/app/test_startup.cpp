// Start-up: the language from the settings file or the system's code page, a settings file that cannot be written, and the single running copy.

#include "AppTestSupport.h"

#include "app/InstanceGuard.h"
#include "i18n/StrRes.h"
#include "i18n/qt/QtText.h"
#include "platform/FileOps.h"
#include "platform/Folders.h"
#include "platform/InstanceLock.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QProcess>
#include <QPushButton>

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

using namespace torvane;
using namespace torvane::test;

namespace {

class Startup : public TAppTest {
protected:
    void TearDown() override {
        ::unsetenv("LC_ALL");
        TAppTest::TearDown();
    }
};

} // namespace

TEST_F(Startup, FirstStartTakesTheSystemLanguageAndWritesItBack) {
    struct TCase {
        const char* Locale;
        const char* Language;
    };
    // 932 gives jp, which has no pack, so English.
    for (const TCase c : {TCase{"zh_CN.UTF-8", "cn"}, TCase{"C.UTF-8", "en"},
                          TCase{"ja_JP.UTF-8", "en"}, TCase{"zh_TW.UTF-8", "b5"}}) {
        (void)platform::RemoveFile(UserSettingsPath());
        ::setenv("LC_ALL", c.Locale, 1);
        auto w = NewWindow();
        EXPECT_FALSE(w->StartRefused());
        EXPECT_EQ(CurrentLanguage(), c.Language) << c.Locale;
        EXPECT_EQ(ReadSetting(UserSettingsPath(), "lan"), c.Language) << c.Locale;
        EXPECT_EQ(w->cmbLan->count(), 3);
        EXPECT_EQ(FromQ(w->btnUpgrdSysByIP->text()),
                  GetLangString("Form_frmTorvane", "btnUpgrdSysByIP.Caption"));
    }
}

TEST_F(Startup, AStoredCodeWithoutAPackIsKeptAsItIs) {
    ASSERT_TRUE(WriteWholeFile(UserSettingsPath(), "[Global]\r\nlan=jp\r\n"));
    auto w = NewWindow();
    EXPECT_EQ(CurrentLanguage(), "jp");
    EXPECT_EQ(w->cmbLan->count(), 0) << "no pack names jp";
    EXPECT_EQ(w->btnUpgrdSysByIP->text(), QStringLiteral("Upgrade Firmware")) << "built-in";
    EXPECT_EQ(GetStrRes("IDS_NOTE"), "");
    EXPECT_TRUE(w->StatusPanel(0)->text().isEmpty());
    EXPECT_EQ(w->cmbMType->currentIndex(), 2);
    EXPECT_EQ(ReadSetting(UserSettingsPath(), "lan"), "jp");

    // The packs go with the window.
    const std::string packs = LanguageDir();
    ASSERT_FALSE(packs.empty());
    EXPECT_TRUE(platform::FolderExists(packs));
    w.reset();
    EXPECT_FALSE(platform::FolderExists(packs));
}

TEST_F(Startup, ASettingsFileThatCannotBeWrittenIsReportedAndStartUpGoesOn) {
    ASSERT_TRUE(platform::ForceFolder(UserSettingsPath())); // a folder where the file should be
    FHost.ClearBoxes();
    auto w = NewWindow();
    EXPECT_FALSE(w->StartRefused());
    ASSERT_EQ(FHost.Boxes().size(), 1u);
    EXPECT_EQ(FHost.Boxes()[0].Text, "Unable to write to " + UserSettingsPath());
    EXPECT_EQ(FHost.Boxes()[0].Flags, platform::MB_ICONERROR);
    EXPECT_FALSE(w->StatusPanel(0)->text().isEmpty());
    w.reset();
    (void)platform::RemoveFolder(UserSettingsPath());
}

TEST_F(Startup, ASecondWindowInTheSameSessionIsRefused) {
    auto first = NewWindow();
    ASSERT_FALSE(first->StartRefused());
    const std::string pack = GetLanguageFileNameOf("en");
    FHost.ClearBoxes();
    auto second = NewWindow();
    EXPECT_TRUE(second->StartRefused());
    ASSERT_EQ(FHost.Boxes().size(), 1u);
    const std::string caption = GetLangString("Form_frmTorvane", "Caption");
    EXPECT_EQ(FHost.Boxes()[0].Text, caption + " is already running.");
    EXPECT_EQ(FHost.Boxes()[0].Caption, GetStrRes("IDS_WARNING"));
    EXPECT_EQ(FHost.Boxes()[0].Flags, platform::MB_ICONWARNING);
    // The refused copy leaves the running copy's packs alone.
    second.reset();
    EXPECT_TRUE(platform::FileExists(pack));
    first.reset();
    auto third = NewWindow();
    EXPECT_FALSE(third->StartRefused()) << "the lock went with the first window";
}

TEST_F(Startup, TheSingleInstanceCheckHoldsWhateverTheTemporaryFolder) {
    auto first = NewWindow();
    ASSERT_FALSE(first->StartRefused());
    const std::string savedTmp = std::getenv("TMPDIR");
    const std::string other = ScratchPath("other-tmp");
    const std::string refused = ScratchPath("refused-tmp");
    ASSERT_TRUE(platform::ForceFolder(other) && platform::ForceFolder(refused));
    const std::string planted = refused + "/torvane-" + std::to_string(::getuid());
    ASSERT_EQ(::symlink(other.c_str(), planted.c_str()), 0);

    // Another temporary folder, and one that is refused (a link planted in its place): the
    // lock is found all the same, and the request to raise the window reaches the first.
    for (const std::string& tmp : {other, refused}) {
        ::setenv("TMPDIR", tmp.c_str(), 1);
        auto second = NewWindow();
        EXPECT_TRUE(second->StartRefused()) << "TMPDIR " << tmp;
    }
    EXPECT_FALSE(first->isVisible());
    EXPECT_TRUE(RunUntil([&] { return first->isVisible(); })) << "raised by the later copies";
    first->hide();
    EXPECT_TRUE(TInstanceGuard::AskRunningCopyToRaise());
    EXPECT_TRUE(RunUntil([&] { return first->isVisible(); }));

    ::setenv("TMPDIR", savedTmp.c_str(), 1);
    (void)platform::RemoveFile(planted);
    platform::DeleteFolder(other, true);
    platform::DeleteFolder(refused, true);
}

// The program, twice, as the user would start it: the program's own start-up, with the
// tests' host answering and reporting its boxes (WindowHarness.cpp).
TEST(SecondCopy, WarnsOnceAndEndsWithoutAWindow) {
    const QString scratch = ToQ(ScratchPath("copies"));
    const QString tmp = scratch + QStringLiteral("/tmp");
    const QString otherTmp = scratch + QStringLiteral("/other-tmp");
    const QString run = scratch + QStringLiteral("/run");
    const QString config = scratch + QStringLiteral("/config");
    ASSERT_TRUE(QDir().mkpath(tmp) && QDir().mkpath(otherTmp) && QDir().mkpath(run) &&
                QDir().mkpath(config + QStringLiteral("/torvane")));
    ASSERT_EQ(::chmod(FromQ(run).c_str(), 0700), 0); // as a session's runtime folder is
    ASSERT_TRUE(WriteWholeFile(FromQ(config) + "/torvane/option.ini",
                               "[Global]\r\nlan=en\r\nbroadcast=127.0.0.1\r\n"
                               "server=http://127.0.0.1:1/FM/\r\n"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("TMPDIR"), tmp);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), run);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("LANG"), QStringLiteral("C.UTF-8"));
    env.remove(QStringLiteral("LC_ALL"));
    const QString exe = QStringLiteral(TORVANE_WINDOW_HARNESS);
    const std::string lockPath = FromQ(run) + "/torvane/IP Camera Torvane.lock";
    const auto lockTaken = [&] {
        platform::TFileLock probe;
        return probe.Open(lockPath) && !probe.TryLockExclusive();
    };

    QProcess first;
    first.setProcessEnvironment(env);
    first.start(exe, {});
    ASSERT_TRUE(first.waitForStarted(10000));
    // Wait (bounded) until the first copy holds the lock.
    for (int i = 0; i < 1500 && !lockTaken() && first.state() == QProcess::Running; ++i) {
        first.waitForFinished(20);
    }
    ASSERT_TRUE(lockTaken()) << first.readAllStandardError().toStdString();

    // A second copy, also one started with another temporary folder, warns once and ends.
    for (const QString& secondTmp : {tmp, otherTmp}) {
        QProcessEnvironment secondEnv = env;
        secondEnv.insert(QStringLiteral("TMPDIR"), secondTmp);
        QProcess second;
        second.setProcessEnvironment(secondEnv);
        second.start(exe, {});
        ASSERT_TRUE(second.waitForFinished(30000)) << "the second copy must end by itself";
        EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(second.exitCode(), 0);
        const QStringList boxes =
            QString::fromUtf8(second.readAllStandardError()).split('\n').filter("torvane box");
        ASSERT_EQ(boxes.size(), 1) << FromQ(secondTmp) << "\n" << boxes.join('\n').toStdString();
        EXPECT_EQ(boxes[0], QStringLiteral("torvane box 48: WARNING: The upgrade software for "
                                           "IP Cam, Version1.1 is already running."));
    }

    EXPECT_EQ(first.state(), QProcess::Running);
    const std::string packs = FromQ(tmp) + "/torvane-" + std::to_string(::getuid()) +
                              "/torvane/torvane.len";
    EXPECT_TRUE(platform::FileExists(packs)) << "the running copy's packs stay";

    // Ended by a signal, the first copy closes its window and cleans up.
    first.terminate();
    ASSERT_TRUE(first.waitForFinished(30000));
    EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
    EXPECT_FALSE(platform::FileExists(packs));
    EXPECT_TRUE(QString::fromUtf8(first.readAllStandardError()).split('\n').filter("torvane box").isEmpty());
}
