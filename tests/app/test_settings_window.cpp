// The settings window: the values shown from option.ini, what OK writes back (and only what
// changed), refused values, the folder dialog, Cancel, and the main window's button.

#include "AppTestSupport.h"

#include "app/Settings.h"
#include "i18n/Deployment.h"
#include "i18n/OptionFile.h"
#include "i18n/StrRes.h"
#include "i18n/qt/QtText.h"
#include "platform/FileOps.h"
#include "platform/Folders.h"
#include "platform/Host.h"
#include "support/E2eProcess.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <chrono>
#include <string>
#include <vector>

using namespace torvane;
using namespace torvane::test;

namespace {

class SettingsWindow : public TAppTest {
protected:
    void SetUp() override {
        TAppTest::SetUp();
        FStick = platform::TempFolder() + "stick/";
        (void)platform::ForceFolder(FStick);
    }
    void TearDown() override {
        (void)platform::RemoveFile(ProgramSettingsPath());
        (void)platform::DeleteFolder(FStick, true);
        SetFirmwareServerUrl(DefaultFirmwareServerUrl());
        SetBroadcastAddress("127.0.0.1");
        SetSearchInterface("");
        TAppTest::TearDown();
    }
    static std::string UserFile() {
        std::string bytes;
        return platform::ReadFileBytes(UserSettingsPath(), bytes) ? bytes : "<none>";
    }
    static std::vector<std::string> Items(const QComboBox* list) {
        std::vector<std::string> items;
        for (int i = 0; i < list->count(); ++i) {
            items.push_back(FromQ(list->itemText(i)));
        }
        return items;
    }
    // The window as the tests open it: the interfaces and subnets of a made-up machine.
    static std::unique_ptr<TfrmSettings> Open() {
        auto s = std::make_unique<TfrmSettings>(nullptr, std::vector<std::string>{"enp3s0", "wlp2s0"},
                                                std::vector<std::string>{"127.255.255.255"});
        s->show();
        return s;
    }
    // A control the window makes and wires but keeps no member for, by its component name.
    template <class T> static T* Control(const QWidget& window, const char* name) {
        return window.findChild<T*>(QLatin1String(name));
    }
    std::string FStick;
};

} // namespace

TEST_F(SettingsWindow, ShowsTheFileAndWritesBackWhatWasChanged) {
    // Nothing set anywhere: the built-in values are shown, and OK writes nothing.
    {
        auto s = Open();
        EXPECT_EQ(FromQ(s->edServer->text()), DefaultFirmwareServerUrl());
        EXPECT_EQ(FromQ(s->cmbBroadcast->currentText()), DefaultBroadcastAddress());
        EXPECT_EQ(s->cmbInterface->currentText(), QStringLiteral("auto"));
        EXPECT_EQ(Items(s->cmbInterface), (std::vector<std::string>{"auto", "enp3s0", "wlp2s0"}));
        EXPECT_EQ(Items(s->cmbBroadcast), (std::vector<std::string>{"auto", "127.255.255.255"}));
        s->btnOKClick();
        EXPECT_EQ(s->result(), QDialog::Accepted);
        EXPECT_EQ(UserFile(), "<none>");
    }

    // The server from the program folder's file, the broadcast address from the user's.
    ASSERT_TRUE(WriteWholeFile(ProgramSettingsPath(),
                               "[Global]\r\nserver=http://127.0.0.1:7/FM/\r\n"));
    ASSERT_TRUE(WriteWholeFile(UserSettingsPath(),
                               "[Global]\r\nlan=en\r\nbroadcast=127.0.0.3\r\ninterface=enp3s0\r\n"));
    auto s = Open();
    EXPECT_EQ(s->edServer->text(), QStringLiteral("http://127.0.0.1:7/FM/"));
    EXPECT_EQ(s->cmbBroadcast->currentText(), QStringLiteral("127.0.0.3"));
    EXPECT_EQ(s->cmbInterface->currentText(), QStringLiteral("enp3s0"));

    // The folder button puts the chosen folder in; the dialog starts in the home folder
    // while the source is no folder.
    QString startedIn;
    const std::string chosen = FStick.substr(0, FStick.size() - 1); // as the dialog gives it
    s->FolderChooser = [&](const QString& start) {
        startedIn = start;
        return ToQ(chosen);
    };
    s->btnBrowseClick();
    EXPECT_EQ(startedIn, QDir::homePath());
    EXPECT_EQ(FromQ(s->edServer->text()), chosen);
    s->cmbBroadcast->setCurrentText(QStringLiteral(" 127.0.0.4 "));
    s->cmbInterface->setCurrentText(QStringLiteral("AUTO"));
    s->btnOKClick();
    EXPECT_EQ(s->result(), QDialog::Accepted);
    EXPECT_TRUE(FHost.Boxes().empty());

    // Written where both programs read them, the language left alone, and in effect at once:
    // the next run downloads from the folder, the search's next pass goes to the new address.
    EXPECT_EQ(ReadSetting(UserSettingsPath(), "server"), FStick);
    EXPECT_EQ(ReadSetting(UserSettingsPath(), "broadcast"), "127.0.0.4");
    EXPECT_EQ(ReadSetting(UserSettingsPath(), "interface"), "");
    EXPECT_EQ(ReadSetting(UserSettingsPath(), "lan"), "en");
    const TDeploymentSettings stored = StoredDeploymentSettings();
    EXPECT_EQ(stored.Server, FStick);
    EXPECT_EQ(FirmwareSource().Kind, EFirmwareSourceKind::Folder);
    EXPECT_EQ(FirmwareSource().Location, FStick);
    EXPECT_EQ(BroadcastAddress(), "127.0.0.4");
    EXPECT_EQ(SearchInterface(), "");
    ASSERT_EQ(SearchTargets().size(), 1u);
    EXPECT_EQ(SearchTargets()[0].Address, 0x7F000004u);
    // torvane-cli reads the same: its trace names the settings it runs with (the run
    // itself finds nobody at a port where nothing listens).
    const test::TE2eRun cli = test::RunToEnd(
        {TORVANE_CLI_PATH, "-v", "upgrade", "--series", "H", "--ip", "127.0.0.1", "--port",
         std::to_string(test::UnusedLoopbackTcpPort()), "--firmware", "system"},
        std::chrono::seconds(60), {"TORVANE_CLI_TIME_SCALE=0.001"});
    EXPECT_NE(cli.Output.find("firmware server " + FStick + ", search broadcast address 127.0.0.4"),
              std::string::npos)
        << cli.Output;

    // Opened again, the folder dialog starts in the folder set.
    s = Open();
    s->FolderChooser = [&](const QString& start) {
        startedIn = start;
        return QString(); // the dialog cancelled: the field stays as it was
    };
    s->btnBrowseClick();
    EXPECT_EQ(FromQ(startedIn), FStick);
    EXPECT_EQ(FromQ(s->edServer->text()), FStick);
    Control<QPushButton>(*s, "btnCancel")->click();

    // A value the program folder's file gives and the user leaves alone is not copied into
    // the user's file.
    (void)platform::RemoveFile(UserSettingsPath());
    s = Open();
    EXPECT_EQ(s->edServer->text(), QStringLiteral("http://127.0.0.1:7/FM/"));
    s->cmbInterface->setCurrentText(QStringLiteral("wlp2s0"));
    s->btnOKClick();
    EXPECT_EQ(s->result(), QDialog::Accepted);
    EXPECT_EQ(ReadSetting(UserSettingsPath(), "server"), "<missing>");
    EXPECT_EQ(ReadSetting(UserSettingsPath(), "broadcast"), "<missing>");
    EXPECT_EQ(ReadSetting(UserSettingsPath(), "interface"), "wlp2s0");
    EXPECT_EQ(FirmwareServerUrl(), "http://127.0.0.1:7/FM/");
    EXPECT_EQ(SearchInterface(), "wlp2s0");
}

TEST_F(SettingsWindow, RefusesBadValuesAndCancelKeepsTheFile) {
    const std::string file = "[Global]\r\nlan=en\r\nserver=http://127.0.0.1:7/FM/\r\n";
    ASSERT_TRUE(WriteWholeFile(UserSettingsPath(), file));
    auto s = Open();
    const auto refused = [&](const char* key, const std::string& value, QWidget* field) {
        FHost.ClearBoxes();
        s->btnOKClick();
        EXPECT_EQ(UserFile(), file) << key;
        EXPECT_TRUE(s->isVisible()) << key << ": the window stays open";
        EXPECT_NE(s->result(), QDialog::Accepted) << key;
        ASSERT_EQ(FHost.Boxes().size(), 1u) << key;
        EXPECT_EQ(FHost.Boxes()[0].Text, FromQ(ToQ(GetStrRes(key)).arg(ToQ(value))));
        EXPECT_EQ(FHost.Boxes()[0].Caption, GetStrRes("IDS_WARNING"));
        EXPECT_EQ(QApplication::focusWidget(), field) << key;
    };
    QApplication::setActiveWindow(s.get());

    s->edServer->setText(QStringLiteral("htp://127.0.0.1/FM/"));
    refused("IDS_SETTINGS_BADSOURCE", "htp://127.0.0.1/FM/", s->edServer);
    s->edServer->setText(QStringLiteral("file://otherhost/fw"));
    refused("IDS_SETTINGS_BADSOURCE", "file://otherhost/fw", s->edServer);
    s->edServer->setText(QStringLiteral("http://127.0.0.1:7/FM/"));
    for (const char* bad : {"255.1", "010.0.0.1", "every", "1.2.3.4.5"}) {
        s->cmbBroadcast->setCurrentText(QString::fromLatin1(bad));
        refused("IDS_SETTINGS_BADBROADCAST", bad, s->cmbBroadcast);
    }
    s->cmbBroadcast->setCurrentText(QStringLiteral("127.0.0.5"));
    for (const char* bad : {"eth/0", "a very long interface name", "en p3s0"}) {
        s->cmbInterface->setCurrentText(QString::fromLatin1(bad));
        refused("IDS_SETTINGS_BADINTERFACE", bad, s->cmbInterface);
    }
    s->cmbInterface->setCurrentText(QStringLiteral("auto"));

    // A folder that is not there (a stick not plugged in): asked; No keeps the window open.
    const std::string missing = FStick + "not-yet/";
    s->edServer->setText(ToQ(missing));
    FHost.ClearBoxes();
    FHost.ScriptAnswers({platform::IDNO});
    s->btnOKClick();
    ASSERT_EQ(FHost.Boxes().size(), 1u);
    EXPECT_EQ(FHost.Boxes()[0].Text,
              FromQ(ToQ(GetStrRes("IDS_SETTINGS_NOFOLDER")).arg(ToQ(missing))));
    EXPECT_TRUE((FHost.Boxes()[0].Flags & platform::MB_YESNO) != 0);
    EXPECT_EQ(UserFile(), file);
    EXPECT_TRUE(s->isVisible());

    // Cancel: nothing written, nothing changed in the program.
    Control<QPushButton>(*s, "btnCancel")->click();
    EXPECT_EQ(s->result(), QDialog::Rejected);
    EXPECT_EQ(UserFile(), file);
    EXPECT_EQ(BroadcastAddress(), "127.0.0.1");

    // Yes keeps the missing folder.
    s = Open();
    s->edServer->setText(ToQ(missing));
    FHost.ClearBoxes();
    FHost.ScriptAnswers({platform::IDYES});
    s->btnOKClick();
    EXPECT_EQ(s->result(), QDialog::Accepted);
    EXPECT_EQ(ReadSetting(UserSettingsPath(), "server"), missing);

    // The file cannot be written: said so, and the window stays open.
    (void)platform::RemoveFile(UserSettingsPath());
    ASSERT_TRUE(platform::MakeFolder(UserSettingsPath()));
    s = Open();
    s->cmbBroadcast->setCurrentText(QStringLiteral("127.0.0.6"));
    FHost.ClearBoxes();
    s->btnOKClick();
    ASSERT_EQ(FHost.Boxes().size(), 1u);
    EXPECT_EQ(FHost.Boxes()[0].Text,
              FromQ(ToQ(GetStrRes("IDS_SETTINGS_NOTSAVED")).arg(ToQ(UserSettingsPath()))));
    EXPECT_EQ(FHost.Boxes()[0].Caption, GetStrRes("IDS_ERROR"));
    EXPECT_TRUE(s->isVisible());
    EXPECT_NE(BroadcastAddress(), "127.0.0.6");
    (void)platform::RemoveFolder(UserSettingsPath());
}

TEST_F(SettingsWindow, OpensFromTheMainWindowInItsLanguage) {
    ASSERT_TRUE(WriteWholeFile(UserSettingsPath(), "[Global]\r\nlan=cn\r\n"));
    auto w = NewWindow();
    ASSERT_EQ(CurrentLanguage(), "cn");
    EXPECT_EQ(FromQ(w->btnSettings->text()), GetLangString("Form_frmTorvane", "btnSettings.Caption"));
    std::string caption;
    std::string label;
    QTimer::singleShot(0, w.get(), [&] {
        auto* s = w->findChild<TfrmSettings*>();
        ASSERT_NE(s, nullptr);
        caption = FromQ(s->windowTitle());
        label = FromQ(Control<QLabel>(*s, "lblServer")->text());
        s->cmbBroadcast->setCurrentText(QStringLiteral("127.0.0.8"));
        Control<QPushButton>(*s, "btnOK")->click();
    });
    w->btnSettings->click();
    EXPECT_EQ(caption, GetLangString("Form_frmSettings", "Caption"));
    EXPECT_EQ(label, GetLangString("Form_frmSettings", "lblServer.Caption"));
    EXPECT_FALSE(label.empty());
    EXPECT_EQ(ReadSetting(UserSettingsPath(), "broadcast"), "127.0.0.8");
    EXPECT_EQ(ReadSetting(UserSettingsPath(), "lan"), "cn");
    EXPECT_EQ(w->findChild<TfrmSettings*>(), nullptr) << "the window goes when it is closed";
}
