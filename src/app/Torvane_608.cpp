#include "app/Torvane_608.h"

#include "app/InstanceGuard.h"
#include "app/Logo.h"
#include "app/Settings.h"
#include "app/SiteUpgradeWindow.h"
#include "app/Torvane_608Design.h"
#include "discovery/Adv_Main.h"
#include "i18n/OptionFile.h"
#include "i18n/StrRes.h"
#include "i18n/qt/Controls.h"
#include "i18n/qt/FileDialogs.h"
#include "i18n/qt/FormLayout.h"
#include "i18n/qt/Image.h"
#include "i18n/qt/Panel.h"
#include "i18n/qt/QtText.h"
#include "i18n/qt/TranslateForm.h"
#include "platform/CodePage.h"
#include "platform/Folders.h"
#include "platform/Host.h"
#include "platform/Text.h"
#include "upgrade/uUpgradeFactory.h"
#include "upgrade/uUpgradeThread.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QFontMetrics>
#include <QFile>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <climits>
#include <string_view>

namespace torvane {

namespace {

namespace design = frmTorvaneDesign;

constexpr int SeriesH = 2;

const char* const SettingsFile = "option.ini";

void SetPointSize(QWidget* w, int points) {
    QFont font = w->font();
    font.setPointSize(points);
    w->setFont(font);
}

void SetTextColour(QWidget* w, const QColor& colour) {
    QPalette palette = w->palette();
    palette.setColor(QPalette::WindowText, colour);
    w->setPalette(palette);
}

} // namespace

std::string DefaultLanguageOf(int oemCodePage) {
    switch (oemCodePage) {
    case 863:
        return "fr";
    case 932:
        return "jp";
    case 936:
        return "cn";
    case 950:
        return "b5";
    case 1144:
        return "Ita";
    case 1145:
        return "spa";
    default:
        return "en";
    }
}

std::string GetDefaultLanguage() {
    return DefaultLanguageOf(platform::OemCodePage());
}

int PortOfText(const std::string& text) {
    const long long value = platform::ToIntDef(platform::Trim(text), 0);
    return value < INT_MIN || value > INT_MAX ? 0 : static_cast<int>(value);
}

TfrmTorvane::TfrmTorvane(QWidget* parent) : QWidget(parent) {
    CreateComponents();
    FormCreate();
}

TfrmTorvane::~TfrmTorvane() {
    FormDestroy();
}

// --- the window's design ------------------------------------------------------------------

void TfrmTorvane::CreateComponents() {
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    NameForm(this, "frmTorvane", QStringLiteral("The upgrade software for IP Cam, Version1.1"),
             design::ClientSize);
    setWindowIcon(MakeWindowIcon());
    QFont base(QString::fromUtf8("宋体"));
    base.setPointSize(design::BaseFontPoints);
    setFont(base);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    // Banner.
    Panel1 = new TPanel(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(design::BannerHeight);
    {
        QPalette palette = Panel1->palette();
        palette.setColor(QPalette::Window, Qt::white);
        Panel1->setPalette(palette);
    }
    Image1 = new TImage(Panel1);
    Image1->setObjectName(QStringLiteral("Image1"));
    // Drawn at twice the size it is shown, so that it stays sharp when scaled.
    Image1->SetPicture(MakeLogo(2 * design::LogoSize));
    lblSoftMemo = MakeLabel(Panel1, "lblSoftMemo",
                            QStringLiteral("   he upgrade software for IP Cam Version1.1"));
    lblSoftMemo->setWordWrap(true);
    lblSoftMemo->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblSoftName = MakeLabel(Panel1, "lblSoftName", QStringLiteral("T"));
    {
        QFont bold = lblSoftName->font();
        bold.setBold(true);
        lblSoftName->setFont(bold);
    }
    lblSoftName->raise();
    layout->addWidget(Panel1);

    // Entry area.
    Panel3 = new TPanel(this);
    Panel3->setObjectName(QStringLiteral("Panel3"));
    Panel3->setFixedHeight(design::EntryAreaHeight);
    Panel3->setFrameStyle(QFrame::Panel | QFrame::Raised);
    lblIPMemo = MakeLabel(Panel3, "lblIPMemo", QString());
    lblIPMemo->setWordWrap(true);
    lblIPMemo->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    SetTextColour(lblIPMemo, Qt::blue);
    MakeButtons(Panel3,
                {{&btnFindCam, "btnFindCam", QStringLiteral("Search LAN IP camera")},
                 {&btnUpgrdSysByIP, "btnUpgrdSysByIP", QStringLiteral("Upgrade Firmware")},
                 {&btnUpgrdUIByIP, "btnUpgrdUIByIP", QStringLiteral("Upgrade UI")}});
    btnUpgrdUIByIP->hide();
    Label1 = MakeLabel(Panel3, "Label1", QStringLiteral("Language:"));
    Label1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    cmbLan = new QComboBox(Panel3);
    cmbLan->setObjectName(QStringLiteral("cmbLan"));
    cmbLan->setEditable(false);
    lblIPCType = MakeLabel(Panel3, "lblIPCType", QStringLiteral("IP Cam Type:"));
    lblIPCType->hide();
    cmbMType = new QComboBox(Panel3);
    cmbMType->setObjectName(QStringLiteral("cmbMType"));
    cmbMType->setEditable(false);
    cmbMType->addItems({QStringLiteral("E series"), QStringLiteral("F series"),
                        QStringLiteral("H series"), QStringLiteral("T series")});
    cmbMType->setCurrentIndex(SeriesH);
    cmbMType->hide();

    Panel2 = new TPanel(Panel3);
    Panel2->setObjectName(QStringLiteral("Panel2"));
    Panel2->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    auto* strip = new QHBoxLayout(Panel2);
    strip->setContentsMargins(design::EntryStripSpacing.Margin, 0,
                              design::EntryStripSpacing.Margin, 0);
    strip->setSpacing(design::EntryStripSpacing.Spacing);
    lblIPCIP = MakeLabel(Panel2, "lblIPCIP", QStringLiteral("IP address:"));
    edIP = MakeEdit(Panel2, "edIP", QString());
    lblIPCPort = MakeLabel(Panel2, "lblIPCPort", QStringLiteral("Port:"));
    edPort = MakeEdit(Panel2, "edPort", QStringLiteral("81"));
    lblIPCUser = MakeLabel(Panel2, "lblIPCUser", QStringLiteral("Account:"));
    edAcc = MakeEdit(Panel2, "edAcc", QStringLiteral("admin"));
    lblIPCPwd = MakeLabel(Panel2, "lblIPCPwd", QStringLiteral("Password:"));
    edpwd = MakePasswordEdit(Panel2, "edpwd", QStringLiteral("135790"));
    for (const design::TStripField& field : design::EntryStrip) {
        auto* label = Panel2->findChild<QLabel*>(NameOf(field.Label));
        auto* edit = Panel2->findChild<QLineEdit*>(NameOf(field.Edit));
        if (label == nullptr || edit == nullptr) {
            continue; // a design error, which the window tests report
        }
        if (field.Stretch > 0) {
            edit->setMinimumWidth(field.Width);
        } else {
            edit->setFixedWidth(field.Width);
        }
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        if (strip->count() > 0) {
            strip->addSpacing(design::EntryStripSpacing.FieldGap);
        }
        strip->addWidget(label);
        strip->addWidget(edit, field.Stretch);
    }
    layout->addWidget(Panel3);

    // Run band: where a run stands, the settings and the site upgrade.
    Panel4 = new TPanel(this);
    Panel4->setObjectName(QStringLiteral("Panel4"));
    Panel4->setFixedHeight(design::RunBandHeight);
    ProgressBar1 = new QProgressBar(Panel4);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setTextVisible(false);
    lblPhase = MakeLabel(Panel4, "lblPhase", QString());
    lblPhase->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    MakeButtons(Panel4, {{&btnSettings, "btnSettings", QStringLiteral("Settings...")},
                         {&btnSiteUpgrade, "btnSiteUpgrade", QStringLiteral("Site upgrade...")}});
    layout->addWidget(Panel4);

    // Operation log.
    GroupBox3 = new QGroupBox(QStringLiteral("Operation Log"), this);
    GroupBox3->setObjectName(QStringLiteral("GroupBox3"));
    SetTextColour(GroupBox3, Qt::blue);
    auto* logLayout = new QVBoxLayout(GroupBox3);
    logLayout->setContentsMargins(design::LogMargins[0], design::LogMargins[1],
                                  design::LogMargins[2], design::LogMargins[3]);
    Memo1 = new QPlainTextEdit(GroupBox3);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Memo1->setContextMenuPolicy(Qt::CustomContextMenu);
    {
        QPalette palette = Memo1->palette();
        palette.setColor(QPalette::Text, Qt::black);
        Memo1->setPalette(palette);
    }
    logLayout->addWidget(Memo1);
    layout->addWidget(GroupBox3, 1);

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    N2 = new QAction(QString::fromUtf8("保存日志"), PopupMenu1);
    N2->setObjectName(QStringLiteral("N2"));
    N1 = new QAction(QString::fromUtf8("清空日志"), PopupMenu1);
    N1->setObjectName(QStringLiteral("N1"));
    PopupMenu1->addAction(N2);
    PopupMenu1->addAction(N1);

    SaveDialog1 = new TSaveDialog(this);
    SaveDialog1->setObjectName(QStringLiteral("SaveDialog1"));
    SaveDialog1->DefaultExt = QStringLiteral("txt");
    SaveDialog1->Filter = QStringLiteral("*.txt|*.*");

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);
    for (QLabel*& panel : FStatusPanels) {
        panel = new QLabel(StatusBar1);
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        StatusBar1->addWidget(panel);
    }
    layout->addWidget(StatusBar1);

    (void)PlaceComponents(this, design::Places);
    // The bold first character starts where the description starts, until PlaceSoftName
    // fits it to the fonts in use.
    lblSoftName->move(lblSoftMemo->pos());

    FUIRunTimer = new QTimer(this);
    FUIRunTimer->setSingleShot(true);
    FUIRunTimer->setInterval(UIRunPauseMs);
    connect(FUIRunTimer, &QTimer::timeout, this, [this] {
        FUIRunPending = false;
        if (!FUpgrading && !SiteUpgradeRunning()) {
            CheckAndStart(false);
        }
        btnSettings->setEnabled(!Busy());
    });

    ConnectClicks(this, {{btnUpgrdSysByIP, &TfrmTorvane::btnUpgrdSysByIPClick},
                         {btnUpgrdUIByIP, &TfrmTorvane::btnUpgrdUIByIPClick},
                         {btnFindCam, &TfrmTorvane::btnFindCamClick},
                         {btnSettings, &TfrmTorvane::btnSettingsClick},
                         {btnSiteUpgrade, &TfrmTorvane::btnSiteUpgradeClick}});
    connect(cmbLan, &QComboBox::activated, this, [this] { cmbLanChange(); });
    connect(N1, &QAction::triggered, this, [this] { N1Click(); });
    connect(N2, &QAction::triggered, this, [this] { N2Click(); });
    connect(Memo1, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        PopupMenu1->popup(Memo1->viewport()->mapToGlobal(at));
    });
}

// --- start-up ----------------------------------------------------------------------------

void TfrmTorvane::FormCreate() {
    // 1. The application-wide hook.
    qApp->installEventFilter(this);
    // 2. The packs.
    FStrRes = std::make_unique<TfrmStrRes>();
    // 3. The stored language, used as it is.
    const std::string stored = TOptionFile(SettingsFile).ReadString("Global", "lan", "");
    if (!stored.empty()) {
        SetCurrentLanguage(stored);
    } else {
        // 4. The system's language, or English when it has no pack.
        SetCurrentLanguage(GetDefaultLanguage());
        if (!platform::FileExists(GetLanguageFileName())) {
            SetCurrentLanguage("en");
        }
    }
    // 5, 6. Only one copy runs.
    const std::string caption = GetLangString("Form_frmTorvane", "Caption");
    if (!CheckSingleInstance(caption)) {
        FStartRefused = true;
        return;
    }
    // 7. Banner fonts.
    SetBannerFonts(CurrentLanguage() == "en");
    // 8.
    TranslateForm(this, "");
    PlaceSoftName();
    // 9.
    ListLanguagePacks(FLanguageFiles);
    // 10.
    cmbMType->setCurrentIndex(SeriesH);
    // 11.
    FillLanguageList();
    // 12.
    SetStatusBar();
    // 13. The camera selection dialog: it lives as long as the window, and its creation
    // starts the background search.
    FCameraDialog = new TfrmAdv_Main();
    // 14. Apply the language once more; this also writes it to the settings file.
    cmbLanChange();
}

bool TfrmTorvane::CheckSingleInstance(const std::string& caption) {
    FInstance = std::make_unique<TInstanceGuard>();
    if (FInstance->Acquire()) {
        FInstance->Listen([this] { RaiseWindow(); });
        return true;
    }
    FInstance.reset();
    // The caption goes in for the text's "%s" as plain text, never as a format.
    std::string text = GetStrRes("IDS_RUNNED");
    const auto at = text.find("%s");
    if (at != std::string::npos) {
        text.replace(at, 2, caption);
    }
    platform::Host().MessageBox(text, GetStrRes("IDS_WARNING"),
                                platform::MB_OK | platform::MB_ICONWARNING);
    (void)TInstanceGuard::AskRunningCopyToRaise();
    return false;
}

void TfrmTorvane::RaiseWindow() {
    if (isMinimized()) {
        showNormal();
    }
    show();
    raise();
    activateWindow();
}

void TfrmTorvane::FormDestroy() {
    qApp->removeEventFilter(this);
    // The last run's worker: its hand-over is closed and its thread joined.
    FWorker.reset();
    FLanguageFiles.clear();
    // The site upgrade window reads the camera dialog's search: it goes first.
    delete FSiteWindow;
    FSiteWindow = nullptr;
    // The camera selection dialog goes with the window: told to tear down, not to hide.
    if (FCameraDialog != nullptr) {
        FCameraDialog->SetisClose(true);
        delete FCameraDialog;
        FCameraDialog = nullptr;
    }
}

void TfrmTorvane::showEvent(QShowEvent* event) {
    if (!FCentred) {
        FCentred = true;
        if (const QScreen* s = screen()) {
            const QRect area = s->availableGeometry();
            move(area.center() - QPoint(width() / 2, height() / 2));
        }
    }
    QWidget::showEvent(event);
}

// --- language ----------------------------------------------------------------------------

void TfrmTorvane::SetBannerFonts(bool english) {
    SetPointSize(lblSoftName, english ? 10 : 11);
    SetPointSize(lblSoftMemo, english ? 9 : 10);
    SetPointSize(lblIPMemo, english ? 10 : 11);
}

void TfrmTorvane::PlaceSoftName() {
    // The bold first character stands in the room the description's leading blanks leave:
    // it ends where they end and shares the first line's baseline. Blanks are narrower in
    // some fonts than in others, so the place is worked out for the fonts in use.
    const QString memo = lblSoftMemo->text();
    qsizetype blanks = 0;
    while (blanks < memo.size() && memo[blanks] == QLatin1Char(' ')) {
        ++blanks;
    }
    const QFontMetrics memoMetrics(lblSoftMemo->font());
    const QFontMetrics nameMetrics(lblSoftName->font());
    lblSoftName->adjustSize();
    const int end = lblSoftMemo->x() + lblSoftMemo->contentsRect().left() +
                    memoMetrics.horizontalAdvance(memo.left(blanks));
    const int x = std::max(0, end - nameMetrics.horizontalAdvance(lblSoftName->text()));
    const int y = lblSoftMemo->y() + memoMetrics.ascent() - nameMetrics.ascent();
    lblSoftName->move(x, std::max(0, y));
}

void TfrmTorvane::FillLanguageList() {
    cmbLan->clear();
    const std::string current = CurrentLanguage();
    int selected = -1;
    for (std::size_t i = 0; i < FLanguageFiles.size(); ++i) {
        cmbLan->addItem(ToQ(GetLanguageDisplayName(FLanguageFiles[i])));
        if (selected < 0 && LanguageCodeOfPack(FLanguageFiles[i]) == current) {
            selected = static_cast<int>(i);
        }
    }
    cmbLan->setCurrentIndex(selected);
}

void TfrmTorvane::cmbLanChange() {
    const int index = cmbLan->currentIndex();
    if (index >= 0 && index < static_cast<int>(FLanguageFiles.size())) {
        const std::string code = LanguageCodeOfPack(FLanguageFiles[static_cast<std::size_t>(index)]);
        SetBannerFonts(code == "en");
        SetLanguage(code);
        TranslateForm(this, "");
        PlaceSoftName();
        FillLanguageList();
        cmbMType->setCurrentIndex(SeriesH);
        if (FSiteWindow != nullptr) {
            FSiteWindow->Retranslate();
        }
    }
    TOptionFile settings(SettingsFile);
    if (!settings.WriteString("Global", "lan", CurrentLanguage())) {
        platform::Host().MessageBox(settings.WriteErrorText(), FromQ(windowTitle()),
                                    platform::MB_OK | platform::MB_ICONERROR);
    }
    SetStatusBar();
}

void TfrmTorvane::SetStatusBar() {
    const bool english = CurrentLanguage() == "en";
    FStatusPanels[0]->setText(ToQ(GetStrRes("IDS_NOTE")));
    FStatusPanels[0]->setFixedWidth(english ? design::StatusNoteWidthAlone
                                            : design::StatusPanelWidth);
    FStatusPanels[1]->setText(english ? QString() : ToQ(GetStrRes("IDS_VERSION")));
    FStatusPanels[1]->setFixedWidth(english ? 0 : design::StatusPanelWidth);
    FStatusPanels[1]->setVisible(!english);
}

// --- upgrade -----------------------------------------------------------------------------

int TfrmTorvane::SeriesForRun(const std::string& ip, int port) const {
    if (FCameraDialog != nullptr) {
        const int listed = FCameraDialog->Session().ListedSeriesIndex(ip, port);
        if (listed >= 0) {
            return listed;
        }
    }
    return cmbMType->currentIndex();
}

void TfrmTorvane::CheckAndStart(bool isSystem) {
    // A camera the search lists at the typed address and port is spoken to in its own
    // series; any other address in the series chosen last (H from the start).
    const int series =
        SeriesForRun(platform::Trim(FromQ(edIP->text())), PortOfText(FromQ(edPort->text())));
    if (series == -1) {
        AddLog(GetStrRes("IDS_NOIPCTYPE"));
        return;
    }
    const std::string account = platform::Trim(FromQ(edAcc->text()));
    if (account.empty()) {
        AddLog(GetStrRes("IDS_NOLOGINUSER"));
        edAcc->setFocus();
        return;
    }
    const std::string ip = platform::Trim(FromQ(edIP->text()));
    if (ip.empty()) {
        AddLog(GetStrRes("IDS_NOIPADDR"));
        edIP->setFocus();
        return;
    }
    const int port = PortOfText(FromQ(edPort->text()));
    if (port == 0) {
        AddLog(GetStrRes("IDS_NOPORT"));
        edPort->setFocus();
        return;
    }
    StartUpgrade(account, platform::Trim(FromQ(edpwd->text())), isSystem, port, ip, series);
}

void TfrmTorvane::StartUpgrade(const std::string& account, const std::string& password,
                               bool isSystem, int port, const std::string& ip) {
    StartUpgrade(account, password, isSystem, port, ip, cmbMType->currentIndex());
}

void TfrmTorvane::StartUpgrade(const std::string& account, const std::string& password,
                               bool isSystem, int port, const std::string& ip, int series) {
    FUpgrading = true;
    btnUpgrdUIByIP->setEnabled(false);
    btnUpgrdSysByIP->setEnabled(false);
    btnSettings->setEnabled(false); // a run keeps the settings it started with
    Memo1->setFocus();
    platform::Host().SetBusyCursor(true);

    std::unique_ptr<TUpgradeObject> upgrade =
        TUpgradeFactory::CreateUpgrade(series, isSystem);
    if (!upgrade) {
        // No adapter for this series: nothing can run.
        AddLog(GetStrRes("IDS_NOIPCTYPE"));
        UpgradeDone();
        return;
    }
    upgrade->SetUser(account);
    upgrade->SetPassword(password);
    upgrade->SetIP(ip);
    upgrade->SetPort(port);

    ShowProgress({}); // the first phase, until the worker reports
    // The previous run's worker has posted its completion and ended: this joins it at once.
    FWorker.reset();
    FWorker = std::make_unique<TUpgradeThread>(std::move(upgrade));
    FWorker->OnLog = [this](const std::string& text) { AddLog(text); };
    FWorker->OnProgress = [this](const TProgress& progress) { ShowProgress(progress); };
    FWorker->OnTerminate = [this] { UpgradeDone(); };
    FWorker->Start();
}

void TfrmTorvane::UpgradeDone() {
    ClearProgress();
    btnUpgrdUIByIP->setEnabled(true);
    btnUpgrdSysByIP->setEnabled(true);
    FUpgrading = false;
    platform::Host().SetBusyCursor(false);
    if (FUIRunPending) {
        FUIRunTimer->start();
    }
    btnSettings->setEnabled(!Busy());
}

namespace {

// The progress bar's scale for phases with a known total.
constexpr int ProgressScale = 1000;

} // namespace

void TfrmTorvane::ShowProgress(const TProgress& progress) {
    if (progress.Total > 0) {
        ProgressBar1->setRange(0, ProgressScale);
        const std::uint64_t done = std::min(progress.Done, progress.Total);
        ProgressBar1->setValue(static_cast<int>(done * ProgressScale / progress.Total));
    } else {
        // Nothing to count: the bar runs to and fro while the phase lasts.
        ProgressBar1->setRange(0, 0);
    }
    lblPhase->setText(ToQ(ProgressText(progress)));
}

void TfrmTorvane::ClearProgress() {
    ProgressBar1->setRange(0, ProgressScale);
    ProgressBar1->reset();
    lblPhase->clear();
}

void TfrmTorvane::AddLog(const std::string& text) {
    QString line = ToQ(FormatLogLine(text));
    line.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    Memo1->appendPlainText(line);
}

void TfrmTorvane::btnUpgrdSysByIPClick() {
    if (Busy() || RefuseWhileSiteRuns()) {
        return;
    }
    // A UI check still to come from an earlier press whose checks failed gives way to
    // this press.
    FUIRunTimer->stop();
    CheckAndStart(true);
    if (FUpgrading) {
        // The UI run follows once this run has ended (UpgradeDone starts the pause); until
        // then the window stays busy. The GUI thread goes on serving the window meanwhile.
        FUIRunPending = true;
        return;
    }
    // Nothing runs: the UI check still follows after the pause and logs its own message,
    // but the window is free meanwhile (input passes, closing is allowed).
    FUIRunTimer->start();
}

void TfrmTorvane::btnUpgrdUIByIPClick() {
    if (Busy() || RefuseWhileSiteRuns()) {
        return;
    }
    FUIRunTimer->stop();
    CheckAndStart(false);
}

int TfrmTorvane::UIRunPause() const {
    return FUIRunTimer->interval();
}

void TfrmTorvane::SetUIRunPause(int ms) {
    FUIRunTimer->setInterval(ms);
}

void TfrmTorvane::btnFindCamClick() {
    if (FCameraDialog == nullptr) {
        return;
    }
    FCameraDialog->SetszIP(FromQ(edIP->text()));
    const long long port = platform::ToIntDef(platform::Trim(FromQ(edPort->text())), 81);
    FCameraDialog->SetnPort(port < INT_MIN || port > INT_MAX ? 81 : static_cast<int>(port));
    FCameraDialog->SetnTYpe(cmbMType->currentIndex());
    if (FCameraDialog->exec() == QDialog::Accepted) {
        edIP->setText(ToQ(FCameraDialog->szIP()));
        edPort->setText(QString::number(FCameraDialog->nPort()));
        cmbMType->setCurrentIndex(FCameraDialog->nTYpe());
    }
    FCameraDialog->hide();
}

void TfrmTorvane::btnSettingsClick() {
    if (Busy() || SiteUpgradeRunning()) {
        return; // disabled meanwhile: a run keeps the settings it started with
    }
    TfrmSettings settings(this);
    settings.exec();
}

// --- site upgrade --------------------------------------------------------------------------

bool TfrmTorvane::SiteUpgradeRunning() const {
    return FSiteWindow != nullptr && FSiteWindow->Running();
}

bool TfrmTorvane::RefuseWhileSiteRuns() {
    if (!SiteUpgradeRunning()) {
        return false;
    }
    (void)StrResMessageBox("IDS_SITE_SITERUNNING", "IDS_WARNING", platform::MB_ICONWARNING);
    return true;
}

void TfrmTorvane::btnSiteUpgradeClick() {
    if (FSiteWindow == nullptr) {
        FSiteWindow = new TfrmSiteUpgrade(
            FCameraDialog != nullptr ? &FCameraDialog->Session() : nullptr, this);
        FSiteWindow->SingleRunBusy = [this] { return Busy(); };
        // A site upgrade keeps the settings it started with, as a single run does.
        FSiteWindow->OnRunningChanged = [this] {
            btnSettings->setEnabled(!Busy() && !SiteUpgradeRunning());
        };
        FSiteWindow->SetDefaultAccount(platform::Trim(FromQ(edAcc->text())),
                                       platform::Trim(FromQ(edpwd->text())));
    }
    FSiteWindow->show();
    FSiteWindow->raise();
    FSiteWindow->activateWindow();
}

// --- log ---------------------------------------------------------------------------------

void TfrmTorvane::N1Click() {
    Memo1->clear();
}

void TfrmTorvane::N2Click() {
    const QString text = Memo1->toPlainText();
    if (text.isEmpty() || !SaveDialog1->Execute(this)) {
        return;
    }
    QByteArray bytes;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        bytes += line.toUtf8();
        bytes += "\r\n";
    }
    QFile file(SaveDialog1->FileName);
    const bool written = file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                         file.write(bytes) == bytes.size() && file.flush();
    if (!written) {
        const std::string reason = FromQ(file.errorString());
        file.close();
        platform::Host().MessageBox("Cannot create file \"" + FromQ(SaveDialog1->FileName) +
                                        "\". " + reason,
                                    FromQ(windowTitle()), platform::MB_OK | platform::MB_ICONERROR);
    }
}

// --- input while a run is under way ---------------------------------------------------------

void TfrmTorvane::ShowUpgradeInfo() {
    FShowingInfo = true;
    (void)StrResMessageBox("IDS_UPGRADEINFO", "IDS_INFORMATION", platform::MB_ICONINFORMATION);
    FShowingInfo = false;
}

bool TfrmTorvane::eventFilter(QObject* watched, QEvent* event) {
    if (!Busy() || !FMouseInside || FShowingInfo) {
        return false;
    }
    const auto* widget = qobject_cast<const QWidget*>(watched);
    if (widget == nullptr || widget->window() != this) {
        return false;
    }
    bool refuse = false;
    switch (event->type()) {
    case QEvent::KeyPress:
        refuse = true;
        break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick: {
        const auto button = static_cast<const QMouseEvent*>(event)->button();
        refuse = button == Qt::LeftButton || button == Qt::RightButton;
        break;
    }
    default:
        break;
    }
    if (!refuse) {
        return false;
    }
    ShowUpgradeInfo();
    return true;
}

void TfrmTorvane::enterEvent(QEnterEvent* event) {
    FMouseInside = true;
    QWidget::enterEvent(event);
}

void TfrmTorvane::leaveEvent(QEvent* event) {
    FMouseInside = false;
    QWidget::leaveEvent(event);
}

void TfrmTorvane::closeEvent(QCloseEvent* event) {
    if (Busy()) {
        ShowUpgradeInfo();
        event->ignore();
        return;
    }
    if (SiteUpgradeRunning()) {
        // The cameras under way must finish first: an upload is never cut.
        (void)StrResMessageBox("IDS_SITE_CLOSEREFUSED", "IDS_WARNING", platform::MB_ICONWARNING);
        btnSiteUpgradeClick();
        event->ignore();
        return;
    }
    event->accept();
}

} // namespace torvane
