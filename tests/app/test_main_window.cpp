// The main window: the entry checks, one press giving two runs, refusing input and closing
// while a run is under way, saving and clearing the log, a language change, and a camera
// picked in the search window.

#include "AppTestSupport.h"

#include "app/QuitSignals.h"

#include "discovery/Adv_Main.h"
#include "discovery/DiscoveryTestUtil.h"
#include "i18n/Deployment.h"
#include "series/SeriesUnits.h"
#include "support/E2eProcess.h"

#include "i18n/StrRes.h"
#include "i18n/qt/FileDialogs.h"
#include "i18n/qt/Image.h"
#include "i18n/qt/LanguageFont.h"
#include "i18n/qt/Panel.h"
#include "i18n/qt/QtText.h"
#include "platform/Folders.h"
#include "platform/Host.h"
#include "platform/Sleeper.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QEnterEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <string>
#include <utility>
#include <vector>

using namespace torvane;
using namespace torvane::test;

namespace {

class MainWindow : public TAppTest {};

void SendClick(QWidget* target, Qt::MouseButton button,
               QEvent::Type type = QEvent::MouseButtonPress) {
    QMouseEvent press(type, QPointF(5, 5), target->mapToGlobal(QPointF(5, 5)), button, button,
                      Qt::NoModifier);
    QApplication::sendEvent(target, &press);
}

void SendEnter(QWidget* window) {
    QEnterEvent enter(QPointF(10, 10), QPointF(10, 10), window->mapToGlobal(QPointF(10, 10)));
    QApplication::sendEvent(window, &enter);
}

void SendLeave(QWidget* window) {
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(window, &leave);
}

} // namespace

TEST_F(MainWindow, StartsAsDesigned) {
    auto w = NewWindow();
    // A fixed 789 x 607 window without minimise and maximise boxes.
    EXPECT_EQ(w->size(), QSize(789, 607));
    EXPECT_EQ(w->minimumSize(), w->maximumSize());
    EXPECT_FALSE(w->windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(w->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_EQ(w->Panel1->height(), 69);
    EXPECT_EQ(w->Panel3->height(), 235);
    EXPECT_EQ(w->Panel2->height(), 54);
    EXPECT_EQ(w->Image1->size(), QSize(200, 58));
    EXPECT_EQ(w->lblSoftMemo->size(), QSize(542, 58));
    EXPECT_TRUE(w->lblSoftMemo->wordWrap());
    EXPECT_TRUE(w->lblIPMemo->wordWrap());
    EXPECT_TRUE(w->lblSoftName->font().bold());

    // The entries and their defaults; the password is masked.
    EXPECT_TRUE(w->edIP->text().isEmpty());
    EXPECT_EQ(w->edPort->text(), QStringLiteral("81"));
    EXPECT_EQ(w->edAcc->text(), QStringLiteral("admin"));
    EXPECT_EQ(w->edpwd->text(), QStringLiteral("135790"));
    EXPECT_EQ(w->edpwd->echoMode(), QLineEdit::Password);
    EXPECT_EQ(w->edpwd->displayText(), QStringLiteral("******")) << "the designed mask is *";

    // Hidden: the UI-only button and the series; the series list holds H.
    EXPECT_TRUE(w->btnUpgrdUIByIP->isHidden());
    EXPECT_TRUE(w->lblIPCType->isHidden());
    EXPECT_TRUE(w->cmbMType->isHidden());
    EXPECT_FALSE(w->btnFindCam->isHidden());
    EXPECT_FALSE(w->btnUpgrdSysByIP->isHidden());
    ASSERT_EQ(w->cmbMType->count(), 4);
    EXPECT_EQ(w->cmbMType->currentIndex(), 2);
    EXPECT_EQ(w->cmbMType->itemText(2), QStringLiteral("H series"));
    EXPECT_FALSE(w->cmbLan->isEditable());
    EXPECT_FALSE(w->cmbMType->isEditable());

    // The log: read-only, empty, its menu's two texts as written.
    EXPECT_TRUE(w->Memo1->isReadOnly());
    EXPECT_TRUE(w->Memo1->toPlainText().isEmpty());
    ASSERT_EQ(w->PopupMenu1->actions().size(), 2);
    EXPECT_EQ(w->PopupMenu1->actions()[0], w->N2);
    EXPECT_EQ(w->N2->text(), QString::fromUtf8("保存日志"));
    EXPECT_EQ(w->N1->text(), QString::fromUtf8("清空日志"));
    EXPECT_EQ(w->SaveDialog1->DefaultExt, QStringLiteral("txt"));
    EXPECT_EQ(w->SaveDialog1->Filter, QStringLiteral("*.txt|*.*"));

    // The English texts of the pack.
    EXPECT_EQ(w->btnFindCam->text(), QStringLiteral("Search LAN IP camera"));
    EXPECT_EQ(w->btnUpgrdSysByIP->text(), QStringLiteral("Upgrade Firmware"));
    EXPECT_EQ(w->Label1->text(), QStringLiteral("Language:"));
    EXPECT_EQ(w->GroupBox3->title(), QStringLiteral("Operation Log"));
    EXPECT_FALSE(w->Busy());
    EXPECT_FALSE(w->MouseInside());
}

TEST(DefaultLanguage, TheOemCodePageTable) {
    const std::vector<std::pair<int, std::string>> table = {
        {863, "fr"}, {932, "jp"}, {936, "cn"}, {950, "b5"}, {1144, "Ita"},
        {1145, "spa"}, {437, "en"}, {0, "en"}, {1252, "en"}, {-1, "en"}};
    for (const auto& [codePage, language] : table) {
        EXPECT_EQ(DefaultLanguageOf(codePage), language) << codePage;
    }
}

TEST_F(MainWindow, EntryChecksRunInOrderAndStopAtTheFirstFailure) {
    auto w = NewWindow();
    w->show();
    QApplication::setActiveWindow(w.get());
    w->Memo1->clear();

    const auto lastLineIs = [&](const char* key) {
        const QStringList lines = LogLines(*w);
        return !lines.isEmpty() && IsLogLineOf(lines.back(), GetStrRes(key));
    };

    // No series: reported before everything else, even with every field blank.
    w->cmbMType->setCurrentIndex(-1);
    w->edAcc->setText(QStringLiteral("   "));
    w->edIP->clear();
    w->CheckAndStart(true);
    EXPECT_TRUE(lastLineIs("IDS_NOIPCTYPE"));
    w->cmbMType->setCurrentIndex(2);

    // An account of blanks only.
    w->CheckAndStart(true);
    EXPECT_TRUE(lastLineIs("IDS_NOLOGINUSER"));
    EXPECT_EQ(QApplication::focusWidget(), w->edAcc);

    w->edAcc->setText(QStringLiteral(" ADMIN "));
    w->CheckAndStart(true);
    EXPECT_TRUE(lastLineIs("IDS_NOIPADDR"));
    EXPECT_EQ(QApplication::focusWidget(), w->edIP);

    w->edIP->setText(QStringLiteral(" 127.0.0.1 "));
    for (const char* port : {"0", "abc", "", "  ", "99999999999"}) {
        w->edPort->setText(QString::fromLatin1(port));
        w->CheckAndStart(true);
        EXPECT_TRUE(lastLineIs("IDS_NOPORT")) << "port field '" << port << "'";
        EXPECT_EQ(QApplication::focusWidget(), w->edPort);
    }
    EXPECT_EQ(LogLines(*w).size(), 8);
    EXPECT_TRUE(TFakeAdapters::Runs().empty()) << "no check failure may start a run";
    EXPECT_FALSE(w->Busy());

    // A port above 65535 passes and is used unchanged; the fields are trimmed and the
    // account and password lower-cased on the adapter.
    w->edPort->setText(QStringLiteral(" 70000 "));
    w->edpwd->setText(QStringLiteral(" Secret "));
    w->CheckAndStart(false);
    ASSERT_TRUE(RunUntil([&] { return !w->Busy(); }));
    const std::vector<TFakeRun> runs = TFakeAdapters::Runs();
    ASSERT_EQ(runs.size(), 1u);
    EXPECT_FALSE(runs[0].IsSystem);
    EXPECT_EQ(runs[0].Port, 70000);
    EXPECT_EQ(runs[0].IP, "127.0.0.1");
    EXPECT_EQ(runs[0].User, "admin");
    EXPECT_EQ(runs[0].Password, "secret");
    EXPECT_TRUE(lastLineIs("IDS_NOIPCCONNECT"));
}

TEST_F(MainWindow, OnePressRunsSystemThenUIFirmwareReadingTheFieldsAnew) {
    auto w = NewWindow();
    EXPECT_EQ(w->UIRunPause(), TfrmTorvane::UIRunPauseMs);
    w->SetUIRunPause(0);
    w->Memo1->clear();
    w->edIP->setText(QStringLiteral("127.0.0.1"));

    TFakeAdapters::Hold();
    w->btnUpgrdSysByIP->click();
    ASSERT_TRUE(RunUntil([] { return TFakeAdapters::Runs().size() == 1; }));
    EXPECT_TRUE(w->Upgrading());
    EXPECT_FALSE(w->btnUpgrdSysByIP->isEnabled());
    EXPECT_FALSE(w->btnUpgrdUIByIP->isEnabled());
    EXPECT_TRUE(FHost.Busy()) << "busy pointer during the run";
    // The second run reads the fields when it starts.
    w->edIP->setText(QStringLiteral("127.0.0.2"));
    TFakeAdapters::Release();

    ASSERT_TRUE(RunUntil([&] { return TFakeAdapters::Runs().size() == 2 && !w->Busy(); }));
    const std::vector<TFakeRun> runs = TFakeAdapters::Runs();
    EXPECT_TRUE(runs[0].IsSystem);
    EXPECT_EQ(runs[0].IP, "127.0.0.1");
    EXPECT_FALSE(runs[1].IsSystem);
    EXPECT_EQ(runs[1].IP, "127.0.0.2");
    const QStringList lines = LogLines(*w);
    // Each run names its firmware and camera first.
    ASSERT_EQ(lines.size(), 4);
    EXPECT_TRUE(IsLogLineOf(lines[0], "System firmware of the H series camera at 127.0.0.1:81"));
    EXPECT_TRUE(IsLogLineOf(lines[1], GetStrRes("IDS_PASSWORDERROR")));
    EXPECT_TRUE(IsLogLineOf(lines[2], "UI firmware of the H series camera at 127.0.0.2:81"));
    EXPECT_TRUE(IsLogLineOf(lines[3], GetStrRes("IDS_NOIPCCONNECT")));
    EXPECT_TRUE(w->btnUpgrdSysByIP->isEnabled());
    EXPECT_FALSE(FHost.Busy());

    // Between the system run and the UI run the window stays busy: closing is refused.
    w->SetUIRunPause(TfrmTorvane::UIRunPauseMs);
    TFakeAdapters::Clear();
    w->edIP->setText(QStringLiteral("127.0.0.1"));
    w->btnUpgrdSysByIP->click();
    ASSERT_TRUE(RunUntil([&] { return TFakeAdapters::Runs().size() == 1 && !w->Upgrading(); }));
    EXPECT_TRUE(w->Busy()) << "the UI run is still to come";
    EXPECT_FALSE(w->btnSettings->isEnabled()) << "nor the settings meanwhile";
    FHost.ClearBoxes();
    EXPECT_FALSE(w->close());
    EXPECT_EQ(FHost.Boxes().size(), 1u);
    w->SetUIRunPause(0);
    ASSERT_TRUE(RunUntil([&] { return TFakeAdapters::Runs().size() == 2 && !w->Busy(); }));
    EXPECT_TRUE(w->btnSettings->isEnabled());
}

TEST_F(MainWindow, AFailedEntryCheckLeavesTheWindowFree) {
    auto w = NewWindow();
    w->show();
    w->Memo1->clear();
    w->edIP->clear();
    FHost.ClearBoxes();

    // Nothing runs: input passes and closing would be allowed, yet the UI check still
    // follows after the pause.
    w->btnUpgrdSysByIP->click();
    EXPECT_FALSE(w->Busy());
    EXPECT_FALSE(w->Upgrading());
    EXPECT_TRUE(w->btnUpgrdSysByIP->isEnabled());
    SendEnter(w.get());
    SendClick(w->Memo1->viewport(), Qt::LeftButton);
    QKeyEvent key(QEvent::KeyPress, Qt::Key_1, Qt::NoModifier, QStringLiteral("1"));
    QApplication::sendEvent(w->edPort, &key);
    EXPECT_TRUE(FHost.Boxes().empty()) << "no \"upgrading\" box when nothing runs";
    EXPECT_EQ(w->edPort->text(), QStringLiteral("811"));
    w->edPort->setText(QStringLiteral("81"));
    w->SetUIRunPause(0);
    ASSERT_TRUE(RunUntil([&] { return LogLines(*w).size() == 2; }));
    const QStringList failed = LogLines(*w);
    EXPECT_TRUE(IsLogLineOf(failed[0], GetStrRes("IDS_NOIPADDR")));
    EXPECT_TRUE(IsLogLineOf(failed[1], GetStrRes("IDS_NOIPADDR")));
    EXPECT_TRUE(TFakeAdapters::Runs().empty());

    // A press with the entries mended during the pause starts at once; the check still
    // pending from the failed press gives way to it, so exactly one UI run follows.
    w->Memo1->clear();
    w->edIP->clear();
    w->SetUIRunPause(TfrmTorvane::UIRunPauseMs);
    w->btnUpgrdSysByIP->click();
    w->edIP->setText(QStringLiteral("127.0.0.1"));
    TFakeAdapters::Hold();
    w->btnUpgrdSysByIP->click();
    ASSERT_TRUE(RunUntil([] { return TFakeAdapters::Runs().size() == 1; }));
    EXPECT_TRUE(w->Busy());
    w->SetUIRunPause(0);
    TFakeAdapters::Release();
    ASSERT_TRUE(RunUntil([&] { return TFakeAdapters::Runs().size() == 2 && !w->Busy(); }));
    const QStringList lines = LogLines(*w);
    ASSERT_EQ(lines.size(), 5) << FromQ(lines.join('\n'));
    EXPECT_TRUE(IsLogLineOf(lines[0], GetStrRes("IDS_NOIPADDR")));
    EXPECT_TRUE(IsLogLineOf(lines[2], GetStrRes("IDS_PASSWORDERROR")));
    EXPECT_TRUE(IsLogLineOf(lines[4], GetStrRes("IDS_NOIPCCONNECT")));
    EXPECT_TRUE(TFakeAdapters::Runs()[0].IsSystem);
    EXPECT_FALSE(TFakeAdapters::Runs()[1].IsSystem);

    // After a failed check the window closes.
    w->edIP->clear();
    w->btnUpgrdSysByIP->click();
    EXPECT_TRUE(w->close());
}

TEST_F(MainWindow, InputAndClosingAreRefusedWhileARunIsUnderWay) {
    auto w = NewWindow();
    w->show();
    w->edIP->setText(QStringLiteral("127.0.0.1"));
    const std::string info = GetStrRes("IDS_UPGRADEINFO");
    ASSERT_FALSE(info.empty());
    FHost.ClearBoxes();

    TFakeAdapters::Hold();
    w->btnUpgrdUIByIPClick();
    ASSERT_TRUE(RunUntil([] { return TFakeAdapters::Runs().size() == 1; }));

    EXPECT_FALSE(w->close());
    EXPECT_TRUE(w->isVisible());
    ASSERT_EQ(FHost.Boxes().size(), 1u);
    EXPECT_EQ(FHost.Boxes()[0].Text, info);
    EXPECT_EQ(FHost.Boxes()[0].Caption, GetStrRes("IDS_INFORMATION"));
    EXPECT_EQ(FHost.Boxes()[0].Flags, platform::MB_ICONINFORMATION);

    // Over the window, left and right presses, double clicks and keys get the box and go
    // no further; a middle press does not, nor anything once the mouse has left.
    int dialogsOpened = 0;
    QObject::connect(w->btnFindCam, &QPushButton::pressed, [&] { ++dialogsOpened; });
    SendEnter(w.get());
    ASSERT_TRUE(w->MouseInside());
    SendClick(w->btnFindCam, Qt::LeftButton);
    SendClick(w->Memo1->viewport(), Qt::RightButton);
    SendClick(w->btnFindCam, Qt::LeftButton, QEvent::MouseButtonDblClick);
    QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, QStringLiteral("a"));
    QApplication::sendEvent(w->edIP, &key);
    EXPECT_EQ(FHost.Boxes().size(), 5u);
    EXPECT_EQ(dialogsOpened, 0);
    EXPECT_EQ(w->edIP->text(), QStringLiteral("127.0.0.1"));
    SendClick(w->Memo1->viewport(), Qt::MiddleButton);
    EXPECT_EQ(FHost.Boxes().size(), 5u);
    SendLeave(w.get());
    QKeyEvent key2(QEvent::KeyPress, Qt::Key_B, Qt::NoModifier, QStringLiteral("b"));
    QApplication::sendEvent(w->edIP, &key2);
    EXPECT_EQ(FHost.Boxes().size(), 5u);

    TFakeAdapters::Release();
    ASSERT_TRUE(RunUntil([&] { return !w->Busy(); }));
    SendEnter(w.get());
    SendClick(w->Memo1->viewport(), Qt::LeftButton);
    EXPECT_EQ(FHost.Boxes().size(), 5u) << "input passes again after the run";
    EXPECT_TRUE(w->close());
    EXPECT_FALSE(w->isVisible());
}

TEST_F(MainWindow, SavingAndClearingTheLog) {
    auto w = NewWindow();
    int asked = 0;
    std::string target = ScratchPath("log") + ".txt";
    bool answer = true;
    w->SaveDialog1->Chooser = [&](TFileDialog& dialog) {
        ++asked;
        dialog.FileName = ToQ(target);
        return answer;
    };
    EXPECT_EQ(w->SaveDialog1->DefaultExt, QStringLiteral("txt"));
    EXPECT_EQ(TFileDialog::ToNameFilters(w->SaveDialog1->Filter),
              QStringList{QStringLiteral("*.txt (*.*)")});

    w->Memo1->clear();
    w->N2Click();
    EXPECT_EQ(asked, 0) << "an empty log opens no dialog";

    w->AddLog("first");
    w->AddLog("two\r\nparts");
    const QStringList lines = LogLines(*w);
    ASSERT_EQ(lines.size(), 3);
    w->N2Click();
    EXPECT_EQ(asked, 1);
    std::string expected;
    for (const QString& line : lines) {
        expected += FromQ(line) + "\r\n";
    }
    EXPECT_EQ(ReadWholeFile(target), expected);

    // Saving again replaces the file; a cancelled dialog writes nothing.
    w->N1Click();
    EXPECT_TRUE(LogLines(*w).isEmpty());
    w->AddLog("only");
    w->N2Click();
    EXPECT_EQ(ReadWholeFile(target), FromQ(LogLines(*w)[0]) + "\r\n");
    answer = false;
    target = ScratchPath("cancelled");
    w->N2Click();
    EXPECT_FALSE(platform::FileExists(target));

    // A file that cannot be written: the error box, and the log as it was.
    answer = true;
    target = ScratchPath("no-such-folder") + "/log.txt";
    FHost.ClearBoxes();
    const QString before = w->Memo1->toPlainText();
    w->N2Click();
    ASSERT_EQ(FHost.Boxes().size(), 1u);
    EXPECT_EQ(FHost.Boxes()[0].Flags, platform::MB_ICONERROR);
    EXPECT_NE(FHost.Boxes()[0].Text.find(target), std::string::npos);
    EXPECT_EQ(w->Memo1->toPlainText(), before);
}

TEST_F(MainWindow, LanguageChangeRewritesTextsListStatusBarAndResetsTheSeries) {
    auto w = NewWindow();
    ASSERT_EQ(CurrentLanguage(), "en");
    ASSERT_EQ(w->LanguageFiles().size(), 3u);
    EXPECT_EQ(w->StatusPanel(0)->width(), 600);
    EXPECT_EQ(w->StatusPanel(1)->width(), 0);
    EXPECT_TRUE(w->StatusPanel(1)->text().isEmpty());
    EXPECT_EQ(w->lblSoftMemo->font().pointSize(), 8) << "9 points become 8 in English";

    const auto indexOf = [&](const std::string& code) {
        for (std::size_t i = 0; i < w->LanguageFiles().size(); ++i) {
            if (LanguageCodeOfPack(w->LanguageFiles()[i]) == code) {
                return static_cast<int>(i);
            }
        }
        return -1;
    };

    w->cmbMType->setCurrentIndex(0);
    w->cmbLan->setCurrentIndex(indexOf("cn"));
    w->cmbLanChange();
    EXPECT_EQ(CurrentLanguage(), "cn");
    EXPECT_EQ(w->cmbMType->currentIndex(), 2);
    EXPECT_EQ(w->btnUpgrdSysByIP->text(), QString::fromUtf8("升级固件"));
    EXPECT_EQ(w->GroupBox3->title(), QString::fromUtf8("操作日志"));
    EXPECT_EQ(w->cmbMType->itemText(2), QString::fromUtf8("H系列"));
    EXPECT_EQ(FromQ(w->windowTitle()), GetLangString("Form_frmTorvane", "Caption"));
    ASSERT_EQ(w->cmbLan->count(), 3);
    EXPECT_EQ(w->cmbLan->currentText(), QString::fromUtf8("简体中文"));
    EXPECT_EQ(w->StatusPanel(0)->text(), ToQ(GetStrRes("IDS_NOTE")));
    EXPECT_EQ(w->StatusPanel(1)->text(), ToQ(GetStrRes("IDS_VERSION")));
    EXPECT_EQ(w->StatusPanel(0)->width(), 300);
    EXPECT_EQ(w->StatusPanel(1)->width(), 300);
    EXPECT_EQ(w->lblSoftName->font().pointSize(), 11);
    EXPECT_EQ(w->lblSoftMemo->font().pointSize(), 10);
    EXPECT_EQ(FontCharset(*w->lblIPCIP), GB2312_CHARSET);
    EXPECT_EQ(ReadSetting(UserSettingsPath(), "lan"), "cn");
    // The two menu texts have no entries and stay as written.
    EXPECT_EQ(w->N2->text(), QString::fromUtf8("保存日志"));

    w->cmbLan->setCurrentIndex(indexOf("b5"));
    w->cmbLanChange();
    EXPECT_EQ(w->cmbLan->currentText(), QString::fromUtf8("繁體中文"));
    EXPECT_EQ(FontCharset(*w->lblIPCIP), CHINESEBIG5_CHARSET);

    w->cmbLan->setCurrentIndex(indexOf("en"));
    w->cmbLanChange();
    EXPECT_EQ(w->btnUpgrdSysByIP->text(), QStringLiteral("Upgrade Firmware"));
    EXPECT_EQ(w->StatusPanel(0)->width(), 600);
    EXPECT_EQ(w->StatusPanel(1)->width(), 0);
    EXPECT_EQ(ReadSetting(UserSettingsPath(), "lan"), "en");
}

TEST_F(MainWindow, ACameraPickedInTheSearchWindowFillsTheEntries) {
    auto w = NewWindow();
    TfrmAdv_Main* d = w->CameraDialog();
    ASSERT_NE(d, nullptr);
    EXPECT_FALSE(d->isVisible());
    EXPECT_TRUE(d->Timer1->isActive()) << "the search runs from the start";
    d->Timer1->stop();

    // Picks the camera with that identity (other cameras may answer on loopback too).
    const auto pick = [d](const std::string& id) {
        for (int i = 0; i < d->Session().Count(); ++i) {
            if (d->Session().Item(i).szID == id) {
                d->Session().Select(i);
            }
        }
        d->spbExportClick();
    };

    w->edIP->setText(QStringLiteral("10.1.1.1"));
    w->edPort->setText(QStringLiteral("abc"));
    std::string handedIP;
    int handedPort = -1;
    int handedType = -9;
    QTimer::singleShot(0, d, [&] {
        handedIP = d->szIP();
        handedPort = d->nPort();
        handedType = d->nTYpe();
        d->Session().HandleDatagram(test::MoiReply("MOIX", "cam", 10));
        pick("MOIX");
    });
    w->btnFindCamClick();
    EXPECT_EQ(handedIP, "10.1.1.1");
    EXPECT_EQ(handedPort, 81) << "a port field that is no number is handed over as 81";
    EXPECT_EQ(handedType, 2);
    EXPECT_EQ(w->edIP->text(), QStringLiteral("192.168.1.10"));
    EXPECT_EQ(w->edPort->text(), QStringLiteral("8080"));
    EXPECT_EQ(w->cmbMType->currentIndex(), 1);
    EXPECT_FALSE(d->isVisible());

    // Cancel leaves the fields alone.
    QTimer::singleShot(0, d, [d] { d->reject(); });
    w->btnFindCamClick();
    EXPECT_EQ(w->edIP->text(), QStringLiteral("192.168.1.10"));

    // A camera of the vendor library has no series the window knows: every upgrade press
    // then reports the missing series, until a language change sets H again.
    TDevInfo vendor;
    vendor.nType = 4;
    vendor.szID = "VENDOR1";
    vendor.szIPAddr = "10.0.0.5";
    vendor.wPort = 80;
    QTimer::singleShot(0, d, [&] {
        d->Session().HandleVendorFound(vendor);
        pick("VENDOR1");
    });
    w->btnFindCamClick();
    EXPECT_EQ(w->edIP->text(), QStringLiteral("10.0.0.5"));
    EXPECT_EQ(w->cmbMType->currentIndex(), -1);
    w->Memo1->clear();
    w->CheckAndStart(true);
    ASSERT_EQ(LogLines(*w).size(), 1);
    EXPECT_TRUE(IsLogLineOf(LogLines(*w)[0], GetStrRes("IDS_NOIPCTYPE")));
    w->cmbLanChange();
    EXPECT_EQ(w->cmbMType->currentIndex(), 2);
}

TEST_F(MainWindow, ATypedAddressThatTheSearchListsRunsInThatCamerasSeries) {
    auto w = NewWindow();
    TfrmAdv_Main* d = w->CameraDialog();
    ASSERT_NE(d, nullptr);
    d->Timer1->stop();
    const auto listed = [d](const char* id, std::int32_t type, const char* ip, int port) {
        TDevInfo camera;
        camera.nType = type;
        camera.szID = id;
        camera.szIPAddr = ip;
        camera.wPort = static_cast<std::uint16_t>(port);
        (void)d->Session().AddOrUpdateDevice(camera);
    };
    listed("T1", 9, "127.0.0.9", 80);       // T series
    listed("F1", 2, "127.0.0.10", 81);      // F series
    listed("V1", 4, "127.0.0.11", 80);      // the vendor library's: no series known
    listed("T2", 9, "127.0.0.12", 80);      // two series at one address and port
    listed("F2", 2, "127.0.0.12", 80);
    listed("E1", 5, "127.0.0.13", 80);      // one E camera under two identities
    listed("E2", 5, "127.0.0.13", 80);

    // Runs the UI firmware of the typed camera and gives the series its adapter was made for.
    const auto seriesOfRun = [&](const char* ip, const char* port) {
        TFakeAdapters::Clear();
        w->edIP->setText(QString::fromLatin1(ip));
        w->edPort->setText(QString::fromLatin1(port));
        w->CheckAndStart(false);
        EXPECT_TRUE(RunUntil([&] { return !w->Busy(); }));
        const std::vector<TFakeRun> runs = TFakeAdapters::Runs();
        return runs.size() == 1 ? runs[0].Series : -99;
    };
    EXPECT_EQ(w->cmbMType->currentIndex(), 2);
    EXPECT_EQ(seriesOfRun("127.0.0.9", "80"), 3);
    EXPECT_EQ(seriesOfRun(" 127.0.0.9 ", " 80 "), 3) << "the fields are trimmed";
    EXPECT_EQ(seriesOfRun("127.0.0.10", "81"), 1);
    EXPECT_EQ(seriesOfRun("127.0.0.13", "80"), 0);
    EXPECT_EQ(w->cmbMType->currentIndex(), 2) << "a typed camera does not change the choice";
    // Not listed there: the series chosen last.
    EXPECT_EQ(seriesOfRun("127.0.0.9", "81"), 2) << "another port";
    EXPECT_EQ(seriesOfRun("127.0.0.99", "80"), 2);
    EXPECT_EQ(seriesOfRun("127.0.0.11", "80"), 2) << "a listed camera of no known series";
    EXPECT_EQ(seriesOfRun("127.0.0.12", "80"), 2) << "two series answer there";
    w->cmbMType->setCurrentIndex(0); // as after choosing an E camera in the search window
    EXPECT_EQ(seriesOfRun("127.0.0.99", "80"), 0);
    EXPECT_EQ(seriesOfRun("127.0.0.9", "80"), 3);
    w->cmbLanChange();
    EXPECT_EQ(seriesOfRun("127.0.0.99", "80"), 2) << "H again after a language change";

    // One press: the system run and the UI run both take the listed series.
    w->SetUIRunPause(0);
    TFakeAdapters::Clear();
    w->edIP->setText(QStringLiteral("127.0.0.10"));
    w->edPort->setText(QStringLiteral("81"));
    w->btnUpgrdSysByIP->click();
    ASSERT_TRUE(RunUntil([&] { return TFakeAdapters::Runs().size() == 2 && !w->Busy(); }));
    for (const TFakeRun& run : TFakeAdapters::Runs()) {
        EXPECT_EQ(run.Series, 1);
    }

    // A camera that has left the list is spoken to in the chosen series again; the chosen
    // series still has its own check first.
    d->Session().ClearDevices();
    EXPECT_EQ(seriesOfRun("127.0.0.9", "80"), 2);
    w->cmbMType->setCurrentIndex(-1);
    listed("T1", 9, "127.0.0.9", 80);
    EXPECT_EQ(seriesOfRun("127.0.0.9", "80"), 3);
    w->Memo1->clear();
    w->edIP->setText(QStringLiteral("127.0.0.99"));
    w->CheckAndStart(true);
    ASSERT_EQ(LogLines(*w).size(), 1);
    EXPECT_TRUE(IsLogLineOf(LogLines(*w)[0], GetStrRes("IDS_NOIPCTYPE")));
}

TEST_F(MainWindow, TheRunBandShowsWhereARunStandsAndIsEmptyBetweenRuns) {
    // An H camera of the simulator and its firmware server, on addresses of this test's own.
    test::TE2eCamsim sim(TORVANE_CAMSIM_PATH,
                         {"--server", "127.0.16.100:0", "--reboot-ms", "5", "--exit-after-ms",
                          "300000"},
                         {"series=H,ip=127.0.16.1,port=0,password=135790"},
                         std::chrono::seconds(30), test::TChildStderr::Inherited);
    ASSERT_TRUE(sim.Ready()) << sim.StartOutput();
    // Waits shortened, but long enough for the simulated camera to restart (5 ms) before
    // the polls give up: the 40 s wait takes 80 ms.
    platform::TScaledSleeper scaled(0.002);
    const test::TSleeperScope sleeper(scaled);
    SetFirmwareServerUrl(sim.Server());
    RegisterSeriesAdapters(); // the real adapters, instead of the fakes
    auto w = NewWindow();
    w->CameraDialog()->Timer1->stop();
    w->show();
    EXPECT_TRUE(w->ProgressBar1->isVisible());
    EXPECT_EQ(w->ProgressBar1->value(), w->ProgressBar1->minimum() - 1) << "empty";
    EXPECT_TRUE(w->lblPhase->text().isEmpty());

    // Every value the bar takes, and the phase texts seen while the run goes on.
    std::vector<int> values;
    QObject::connect(w->ProgressBar1, &QProgressBar::valueChanged,
                     [&](int value) { values.push_back(value); });
    std::vector<QString> texts;
    bool busyBarSeen = false;
    bool settingsOpenDuringRun = false;
    const auto sample = [&] {
        settingsOpenDuringRun = settingsOpenDuringRun || (w->Busy() && w->btnSettings->isEnabled());
        const QString text = w->lblPhase->text();
        if (!text.isEmpty() && (texts.empty() || texts.back() != text)) {
            texts.push_back(text);
        }
        busyBarSeen = busyBarSeen || w->ProgressBar1->maximum() == 0;
        return !w->Busy();
    };
    w->edIP->setText(QStringLiteral("127.0.16.1"));
    w->edPort->setText(ToQ(sim.Port("127.0.16.1")));
    w->edpwd->setText(QStringLiteral("135790"));
    w->CheckAndStart(true);
    ASSERT_TRUE(w->Busy());
    EXPECT_EQ(FromQ(w->lblPhase->text()), ProgressText({}))
        << "the first phase shows as the run starts";
    ASSERT_TRUE(RunUntil(sample, 120000));

    const QStringList lines = LogLines(*w);
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const QString& line) {
        return IsLogLineOf(line, GetStrRes("IDS_IPCWORKING"));
    })) << FromQ(lines.join(QLatin1Char('\n')));
    // It moved: several phases in words, a bar that ran to and fro and one that filled.
    EXPECT_GE(texts.size(), 3u);
    EXPECT_TRUE(busyBarSeen);
    EXPECT_TRUE(std::any_of(values.begin(), values.end(), [](int v) { return v > 0; }));
    EXPECT_TRUE(std::find(values.begin(), values.end(), 1000) != values.end())
        << "a transfer or the reboot wait ends full";
    EXPECT_FALSE(settingsOpenDuringRun) << "a run keeps the settings it started with";
    EXPECT_TRUE(w->btnSettings->isEnabled());
    // Idle after the run: empty bar, no words.
    EXPECT_TRUE(w->lblPhase->text().isEmpty());
    EXPECT_EQ(w->ProgressBar1->value(), w->ProgressBar1->minimum() - 1);
    EXPECT_EQ(w->ProgressBar1->maximum(), 1000);
}

TEST_F(MainWindow, AQuitSignalClosesAnOpenDialogAndThenTheWindow) {
    auto w = NewWindow();
    w->show();
    const TQuitSignals quitSignals(w.get());
    // A dialog of the window waits for an answer when the session ends (kill, logout).
    QDialog dialog(w.get());
    QTimer::singleShot(0, [] { (void)std::raise(SIGTERM); });
    QTimer::singleShot(10000, &dialog, [&dialog] { dialog.done(42); }); // never hangs the tests
    EXPECT_EQ(dialog.exec(), QDialog::Rejected);
    EXPECT_FALSE(w->isVisible()) << "the window closed after the dialog";
}
