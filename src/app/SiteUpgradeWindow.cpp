#include "app/SiteUpgradeWindow.h"

#include "app/SiteUpgradeWindowDesign.h"
#include "app/Torvane_608.h"
#include "discovery/DiscoverySession.h"
#include "discovery/SR.h"
#include "i18n/StrRes.h"
#include "i18n/qt/Controls.h"
#include "i18n/qt/FileDialogs.h"
#include "i18n/qt/FormLayout.h"
#include "i18n/qt/ListControls.h"
#include "i18n/qt/QtText.h"
#include "i18n/qt/TranslateForm.h"
#include "platform/File.h"
#include "platform/Host.h"
#include "platform/Text.h"
#include "upgrade/Progress.h"
#include "upgrade/SiteReport.h"
#include "upgrade/uUpgradeThread.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cctype>
#include <span>

namespace torvane {

namespace {

namespace design = frmSiteUpgradeDesign;

constexpr int SearchTickMs = 1000;
constexpr int SeriesH = 2;
// The progress column's value in percent (an int, -1 for none) under this role.
constexpr int PercentRole = Qt::UserRole + 1;

// A label before its field, its text against the field.
QLabel* MakeFieldLabel(QWidget* parent, const char* name, const QString& text) {
    QLabel* label = MakeLabel(parent, name, text);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

QComboBox* MakeList(QWidget* parent, const char* name, const QStringList& items) {
    auto* list = new QComboBox(parent);
    list->setObjectName(QLatin1String(name));
    list->setEditable(false);
    list->addItems(items);
    list->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    return list;
}

// Lays out a strip of labelled fields inside its frame, left to right.
void FillStrip(QGroupBox* frame, std::span<const design::TStripField> fields) {
    const design::TStripSpacing& s = design::StripSpacing;
    auto* strip = new QHBoxLayout(frame);
    strip->setContentsMargins(s.Margin, s.Top, s.Margin, 0);
    strip->setSpacing(s.Spacing);
    strip->setAlignment(Qt::AlignTop);
    for (const design::TStripField& field : fields) {
        auto* widget = frame->findChild<QWidget*>(NameOf(field.Field));
        if (widget == nullptr) {
            continue; // a design error, which the window tests report
        }
        if (strip->count() > 0) {
            strip->addSpacing(s.FieldGap);
        }
        if (!field.Label.empty()) {
            if (auto* label = frame->findChild<QLabel*>(NameOf(field.Label))) {
                label->setFixedHeight(s.FieldHeight);
                strip->addWidget(label);
            }
        }
        widget->setFixedHeight(s.FieldHeight);
        if (field.Stretch > 0) {
            widget->setMinimumWidth(field.Width);
        } else if (field.Width > 0) {
            widget->setFixedWidth(field.Width);
        }
        strip->addWidget(widget, field.Stretch);
    }
}

// The progress column: a bar with the value of PercentRole and the column's text on it.
class TProgressDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const QVariant percent = index.data(PercentRole);
        if (!percent.isValid() || percent.toInt() < 0) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        QStyleOptionProgressBar bar;
        bar.rect = option.rect.adjusted(2, 3, -2, -3);
        bar.minimum = 0;
        bar.maximum = 100;
        bar.progress = std::clamp(percent.toInt(), 0, 100);
        bar.text = index.data(Qt::DisplayRole).toString();
        bar.textVisible = true;
        bar.textAlignment = Qt::AlignCenter;
        bar.state = option.state | QStyle::State_Horizontal;
        bar.fontMetrics = option.fontMetrics;
        bar.palette = option.palette;
        const QWidget* widget = option.widget;
        QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ProgressBar, &bar, painter, widget);
    }
};

QString Text(const std::string& key) {
    return ToQ(GetStrRes(key));
}

// "System firmware: sending the firmware to the camera": the run's firmware kind, then
// what it does.
QString RunPhaseText(bool isSystem, const std::string& what) {
    return Text(isSystem ? "IDS_SITE_SYSTEM" : "IDS_SITE_UI") + Text("IDS_STEP_SEPARATOR") +
           ToQ(what);
}

// "1.2.3 → 1.2.4"; the version before alone when the one after is not known.
QString VersionsText(bool ran, const std::string& before, const std::string& after) {
    if (!ran || (before.empty() && after.empty())) {
        return {};
    }
    const QString from = before.empty() ? QStringLiteral("?") : ToQ(before);
    if (after.empty()) {
        return from;
    }
    return from + QString::fromUtf8(" \u2192 ") + ToQ(after);
}

// A camera address as typed: an IPv4 address or a host name (letters, digits, "." and
// "-"). Anything else (blanks, "/", ":", "@") would end up inside the run's URLs.
bool IsCameraAddress(const std::string& address) {
    if (address.empty() || address.size() > 253) {
        return false;
    }
    return std::all_of(address.begin(), address.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return std::isalnum(u) != 0 || c == '.' || c == '-';
    });
}

} // namespace

TfrmSiteUpgrade::TfrmSiteUpgrade(TDiscoverySession* search, QWidget* parent)
    : QWidget(parent, Qt::Window), FSearch(search) {
    CreateComponents();
    TranslateForm(this, "");
    TakeSearchResults();
    ShowSummary();
    UpdateControls();
}

TfrmSiteUpgrade::~TfrmSiteUpgrade() {
    // The main window refuses to close while a site upgrade runs, so this only joins
    // threads that have ended; should one still run, it finishes its steps unseen.
    if (FSite) {
        FSite->Close();
        FSite.reset();
    }
}

// --- the window's design -------------------------------------------------------------------

void TfrmSiteUpgrade::CreateComponents() {
    NameForm(this, "frmSiteUpgrade", QStringLiteral("Site Upgrade"), design::ClientSize);
    QFont base(QString::fromUtf8("宋体"));
    base.setPointSize(9);
    setFont(base);

    auto* gbCameras = new QGroupBox(QStringLiteral("Cameras"), this);
    gbCameras->setObjectName(QStringLiteral("gbCameras"));
    lvCameras = new TListView(gbCameras);
    lvCameras->setObjectName(QStringLiteral("lvCameras"));
    lvCameras->setColumnCount(design::ColumnCount);
    lvCameras->setHeaderLabels({QStringLiteral("Camera"), QStringLiteral("Series"),
                                QStringLiteral("Phase"), QStringLiteral("Progress"),
                                QStringLiteral("System firmware"), QStringLiteral("UI firmware"),
                                QStringLiteral("Outcome")});
    lvCameras->setRootIsDecorated(false);
    lvCameras->setUniformRowHeights(true);
    lvCameras->setSelectionMode(QAbstractItemView::SingleSelection);
    lvCameras->setSelectionBehavior(QAbstractItemView::SelectRows);
    lvCameras->setEditTriggers(QAbstractItemView::NoEditTriggers);
    lvCameras->header()->setStretchLastSection(true);
    lvCameras->header()->setSectionsMovable(false);
    for (int column = 0; column < design::ColumnCount; ++column) {
        lvCameras->setColumnWidth(column, design::ColumnWidths[column]);
    }
    lvCameras->setItemDelegateForColumn(design::ColumnProgress, new TProgressDelegate(lvCameras));

    gbAdd = new QGroupBox(QStringLiteral("Add a camera by address"), this);
    gbAdd->setObjectName(QStringLiteral("gbAdd"));
    MakeFieldLabel(gbAdd, "lblAddSeries", QStringLiteral("Series:"));
    cmbAddSeries = MakeList(gbAdd, "cmbAddSeries",
                            {QStringLiteral("E series"), QStringLiteral("F series"),
                             QStringLiteral("H series"), QStringLiteral("T series")});
    cmbAddSeries->setCurrentIndex(SeriesH);
    MakeFieldLabel(gbAdd, "lblAddIP", QStringLiteral("IP address:"));
    edAddIP = MakeEdit(gbAdd, "edAddIP");
    MakeFieldLabel(gbAdd, "lblAddPort", QStringLiteral("Port:"));
    edAddPort = MakeEdit(gbAdd, "edAddPort", QStringLiteral("81"));
    MakeFieldLabel(gbAdd, "lblAddUser", QStringLiteral("Account:"));
    edAddUser = MakeEdit(gbAdd, "edAddUser");
    MakeFieldLabel(gbAdd, "lblAddPwd", QStringLiteral("Password:"));
    edAddPwd = MakePasswordEdit(gbAdd, "edAddPwd");
    QPushButton* btnAdd = MakeButton(gbAdd, "btnAdd", QStringLiteral("&Add"));
    FillStrip(gbAdd, design::AddStrip);

    gbOptions = new QGroupBox(QStringLiteral("Upgrade options"), this);
    gbOptions->setObjectName(QStringLiteral("gbOptions"));
    MakeFieldLabel(gbOptions, "lblUser", QStringLiteral("Account:"));
    edUser = MakeEdit(gbOptions, "edUser", QStringLiteral("admin"));
    MakeFieldLabel(gbOptions, "lblPwd", QStringLiteral("Password:"));
    edPwd = MakePasswordEdit(gbOptions, "edPwd", QStringLiteral("135790"));
    MakeFieldLabel(gbOptions, "lblParallel", QStringLiteral("Cameras at once:"));
    spnParallel = new QSpinBox(gbOptions);
    spnParallel->setObjectName(QStringLiteral("spnParallel"));
    spnParallel->setRange(1, TSiteOptions::MaxParallel);
    spnParallel->setValue(TSiteOptions::DefaultParallel);
    MakeFieldLabel(gbOptions, "lblFirmware", QStringLiteral("Firmware:"));
    cmbFirmware = MakeList(gbOptions, "cmbFirmware",
                           {QStringLiteral("System and UI"), QStringLiteral("System only"),
                            QStringLiteral("UI only")});
    MakeFieldLabel(gbOptions, "lblSameVersion", QStringLiteral("Same version:"));
    cmbSameVersion = MakeList(gbOptions, "cmbSameVersion",
                              {QStringLiteral("Skip the camera"), QStringLiteral("Install again")});
    FillStrip(gbOptions, design::OptionsStrip);

    lblSummary = new QLabel(this);
    lblSummary->setObjectName(QStringLiteral("lblSummary"));
    chkAll = new QCheckBox(QStringLiteral("Check all cameras"), this);
    chkAll->setObjectName(QStringLiteral("chkAll"));
    MakeButtons(this, {{&btnShowLog, "btnShowLog", QStringLiteral("Show &log")},
                       {&btnSaveReport, "btnSaveReport", QStringLiteral("Save &report...")},
                       {&btnStart, "btnStart", QStringLiteral("&Start")},
                       {&btnStop, "btnStop", QStringLiteral("S&top")}});
    QPushButton* btnClose = MakeButton(this, "btnClose", QStringLiteral("&Close"));
    (void)PlaceComponents(this, design::Places);

    SaveDialog1.setObjectName(QStringLiteral("SaveDialog1"));
    SaveDialog1.DefaultExt = QStringLiteral("json");
    SaveDialog1.Filter = QStringLiteral("JSON report|*.json|CSV report|*.csv");

    FSearchTimer = new QTimer(this);
    FSearchTimer->setInterval(SearchTickMs);
    connect(FSearchTimer, &QTimer::timeout, this, [this] { TakeSearchResults(); });

    ConnectClicks(this, {{btnAdd, &TfrmSiteUpgrade::btnAddClick},
                         {btnStart, &TfrmSiteUpgrade::btnStartClick},
                         {btnStop, &TfrmSiteUpgrade::btnStopClick},
                         {btnSaveReport, &TfrmSiteUpgrade::btnSaveReportClick},
                         {btnShowLog, &TfrmSiteUpgrade::btnShowLogClick}});
    connect(btnClose, &QPushButton::clicked, this, &QWidget::close);
    connect(chkAll, &QCheckBox::clicked, this, [this](bool checked) {
        for (int row = 0; row < RowCount(); ++row) {
            SetRowChecked(row, checked);
        }
        ShowSummary();
    });
    connect(lvCameras, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem*, int column) {
        if (!FShowingRows && column == design::ColumnCamera) {
            ShowSummary();
        }
    });
    connect(lvCameras, &QTreeWidget::itemSelectionChanged, this, [this] { UpdateControls(); });
    connect(lvCameras, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item, int) {
        const int row = lvCameras->indexOfTopLevelItem(item);
        if (row >= 0) {
            ShowLogOf(static_cast<std::size_t>(row));
        }
    });
}

void TfrmSiteUpgrade::showEvent(QShowEvent* event) {
    TakeSearchResults();
    FSearchTimer->start();
    QWidget::showEvent(event);
}

void TfrmSiteUpgrade::closeEvent(QCloseEvent* event) {
    // Closing hides the window; a site upgrade under way goes on and is shown again when
    // the window is opened again.
    FSearchTimer->stop();
    if (FLogWindow != nullptr) {
        FLogWindow->hide();
    }
    event->accept();
}

void TfrmSiteUpgrade::Retranslate() {
    TranslateForm(this, "");
    for (auto& row : FRows) {
        ShowRow(*row);
    }
    ShowSummary();
    if (FLogWindow != nullptr && FLogShown != nullptr) {
        FLogWindow->setWindowTitle(Text("IDS_SITE_LOGCAPTION").arg(ToQ(FLogShown->Camera.Name())));
    }
}

void TfrmSiteUpgrade::SetDefaultAccount(const std::string& user, const std::string& password) {
    edUser->setText(ToQ(user));
    edPwd->setText(ToQ(password));
}

int TfrmSiteUpgrade::Box(const std::string& textKey, int flags, const QString& arg) {
    QString text = Text(textKey);
    if (!arg.isNull()) {
        text = text.arg(arg);
    }
    const std::string caption =
        GetStrRes((flags & platform::MB_ICONERROR) == platform::MB_ICONERROR ? "IDS_ERROR"
                                                                            : "IDS_WARNING");
    return platform::Host().MessageBox(FromQ(text), caption, platform::MB_OK | flags);
}

// --- the list ------------------------------------------------------------------------------

int TfrmSiteUpgrade::RowCount() const {
    return static_cast<int>(FRows.size());
}

std::string TfrmSiteUpgrade::RowName(int row) const {
    return FRows.at(static_cast<std::size_t>(row))->Camera.Name();
}

int TfrmSiteUpgrade::RowOf(const std::string& name) const {
    for (std::size_t i = 0; i < FRows.size(); ++i) {
        if (FRows[i]->Camera.Name() == name) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

bool TfrmSiteUpgrade::RowChecked(int row) const {
    return FRows.at(static_cast<std::size_t>(row))->Item->checkState(design::ColumnCamera) ==
           Qt::Checked;
}

void TfrmSiteUpgrade::SetRowChecked(int row, bool checked) {
    TRow& r = *FRows.at(static_cast<std::size_t>(row));
    if ((r.Item->flags() & Qt::ItemIsUserCheckable) == 0) {
        return; // a camera of unknown series, or a site upgrade under way
    }
    FShowingRows = true;
    r.Item->setCheckState(design::ColumnCamera, checked ? Qt::Checked : Qt::Unchecked);
    FShowingRows = false;
}

QString TfrmSiteUpgrade::RowText(int row, int column) const {
    return FRows.at(static_cast<std::size_t>(row))->Item->text(column);
}

int TfrmSiteUpgrade::RowProgress(int row) const {
    const QVariant value =
        FRows.at(static_cast<std::size_t>(row))->Item->data(design::ColumnProgress, PercentRole);
    return value.isValid() ? value.toInt() : -1;
}

const std::vector<std::string>& TfrmSiteUpgrade::RowLog(int row) const {
    return FRows.at(static_cast<std::size_t>(row))->Log;
}

const std::vector<TSiteCameraResult>& TfrmSiteUpgrade::Results() const {
    static const std::vector<TSiteCameraResult> none;
    return FSite ? FSite->Results() : none;
}

bool TfrmSiteUpgrade::Running() const {
    return FRunning;
}

int TfrmSiteUpgrade::SelectedRow() const {
    const QList<QTreeWidgetItem*> selected = lvCameras->selectedItems();
    return selected.isEmpty() ? -1 : lvCameras->indexOfTopLevelItem(selected.first());
}

TfrmSiteUpgrade::TRow& TfrmSiteUpgrade::NewRow(const TSiteCamera& camera) {
    auto row = std::make_unique<TRow>();
    row->Camera = camera;
    row->Item = new QTreeWidgetItem(lvCameras);
    FShowingRows = true;
    row->Item->setCheckState(design::ColumnCamera, Qt::Unchecked);
    FShowingRows = false;
    FRows.push_back(std::move(row));
    return *FRows.back();
}

void TfrmSiteUpgrade::TakeSearchResults() {
    if (FSearch == nullptr || FRunning) {
        return; // the list stands still while a site upgrade runs
    }
    for (auto& row : FRows) {
        row->SeenBySearch = false;
    }
    for (const TDevInfo& device : FSearch->Devices()) {
        TSiteCamera camera;
        camera.SeriesIndex = SeriesIndexOf(device.nType);
        camera.Address = device.szIPAddr;
        camera.Port = device.wPort;
        if (camera.Address.empty() || camera.Port == 0) {
            continue;
        }
        const int at = RowOf(camera.Name());
        TRow& row = at >= 0 ? *FRows[static_cast<std::size_t>(at)] : NewRow(camera);
        row.SeenBySearch = true;
        if (row.FromSearch || at < 0) {
            row.FromSearch = true;
            row.Camera.SeriesIndex = camera.SeriesIndex;
        }
        ShowRow(row);
    }
    // A camera the search no longer lists leaves the list unless the user chose it or it
    // has a result to show.
    for (std::size_t i = FRows.size(); i-- > 0;) {
        TRow& row = *FRows[i];
        if (row.FromSearch && !row.SeenBySearch && row.State == ERowState::Idle &&
            !RowChecked(static_cast<int>(i))) {
            if (FLogShown == &row) {
                FLogWindow->hide();
                FLogShown = nullptr;
            }
            delete row.Item;
            FRows.erase(FRows.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
    ShowSummary();
}

bool TfrmSiteUpgrade::AddCamera(int seriesIndex, const std::string& address, int port,
                                const std::string& user, const std::string& password) {
    if (seriesIndex < 0 || seriesIndex > 3) {
        Box("IDS_NOIPCTYPE", platform::MB_ICONWARNING);
        return false;
    }
    if (address.empty()) {
        Box("IDS_NOIPADDR", platform::MB_ICONWARNING);
        return false;
    }
    if (!IsCameraAddress(address)) {
        Box("IDS_SITE_BADADDRESS", platform::MB_ICONWARNING, ToQ(address));
        return false;
    }
    if (port < 1 || port > 65535) {
        Box("IDS_NOPORT", platform::MB_ICONWARNING);
        return false;
    }
    TSiteCamera camera;
    camera.SeriesIndex = seriesIndex;
    camera.Address = address;
    camera.Port = port;
    camera.User = user;
    camera.Password = password;
    const int at = RowOf(camera.Name());
    TRow& row = at >= 0 ? *FRows[static_cast<std::size_t>(at)] : NewRow(camera);
    // Typed by the user: the series and account typed win over what the search said.
    row.Camera = camera;
    row.FromSearch = false;
    ShowRow(row);
    SetRowChecked(RowOf(camera.Name()), true);
    lvCameras->scrollToItem(row.Item);
    ShowSummary();
    return true;
}

void TfrmSiteUpgrade::btnAddClick() {
    if (FRunning) {
        return;
    }
    const std::string address = platform::Trim(FromQ(edAddIP->text()));
    if (AddCamera(cmbAddSeries->currentIndex(), address, PortOfText(FromQ(edAddPort->text())),
                  platform::Trim(FromQ(edAddUser->text())), FromQ(edAddPwd->text()))) {
        edAddIP->clear();
        edAddIP->setFocus();
    }
}

void TfrmSiteUpgrade::ShowRow(TRow& row) {
    QTreeWidgetItem* item = row.Item;
    FShowingRows = true;
    item->setText(design::ColumnCamera, ToQ(row.Camera.Name()));
    const std::string series = row.Camera.SeriesLetter();
    item->setText(design::ColumnSeries, series.empty() ? QStringLiteral("?") : ToQ(series));
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (!FRunning && !series.empty()) {
        flags |= Qt::ItemIsUserCheckable;
    }
    item->setFlags(flags);
    if (series.empty()) {
        item->setToolTip(design::ColumnSeries, Text("IDS_SITE_NOSERIES"));
        item->setCheckState(design::ColumnCamera, Qt::Unchecked);
    }

    QString phase;
    QString progress;
    int percent = -1;
    switch (row.State) {
    case ERowState::Waiting:
        phase = Text("IDS_SITE_WAITING");
        break;
    case ERowState::Running:
        if (row.RunOpen) {
            phase = RunPhaseText(row.RunIsSystem, PhaseText(row.Phase));
        } else if (row.RunEnded) {
            phase = RunPhaseText(row.RunIsSystem, GetStrRes("IDS_SITE_RUNDONE"));
        }
        if (row.Percent >= 0) {
            percent = row.Percent;
            progress = row.SecondsLeft >= 0
                           ? ToQ(platform::FormatMessage(GetStrRes("IDS_STEP_SECONDSLEFT"), {std::to_string(row.SecondsLeft)}))
                           : QStringLiteral("%1%").arg(row.Percent);
        } else if (row.SecondsLeft >= 0) {
            progress = ToQ(platform::FormatMessage(GetStrRes("IDS_STEP_SECONDSLEFT"), {std::to_string(row.SecondsLeft)}));
        }
        break;
    case ERowState::Idle:
    case ERowState::Done:
        break;
    }
    item->setText(design::ColumnPhase, phase);
    item->setToolTip(design::ColumnPhase, phase);
    item->setText(design::ColumnProgress, progress);
    item->setData(design::ColumnProgress, PercentRole, percent);
    item->setText(design::ColumnSystem,
                  VersionsText(row.SystemRan, row.SystemBefore, row.SystemAfter));
    item->setText(design::ColumnUI, VersionsText(row.UIRan, row.UIBefore, row.UIAfter));

    QString outcome;
    QString why;
    QColor colour = palette().color(QPalette::Text);
    if (row.State == ERowState::Done) {
        outcome = Text(OutcomeKey(row.Outcome));
        if (row.Outcome == ESiteCameraOutcome::Failed) {
            colour = QColor(0xC0, 0, 0);
            why = ToQ(row.FailureText).trimmed();
        } else if (row.Outcome == ESiteCameraOutcome::Upgraded) {
            colour = QColor(0, 0x80, 0);
        }
    }
    item->setText(design::ColumnOutcome, outcome);
    item->setToolTip(design::ColumnOutcome, why);
    item->setForeground(design::ColumnOutcome, colour);
    FShowingRows = false;
}

void TfrmSiteUpgrade::ShowSummary() {
    if (!FSite) {
        int checked = 0;
        for (int row = 0; row < RowCount(); ++row) {
            checked += RowChecked(row) ? 1 : 0;
        }
        lblSummary->setText(Text("IDS_SITE_SUMMARY_IDLE").arg(RowCount()).arg(checked));
        return;
    }
    std::size_t done = 0;
    std::size_t upgraded = 0;
    std::size_t nothing = 0;
    std::size_t failed = 0;
    std::size_t notStarted = 0;
    for (const TRow* row : FRunRows) {
        if (row->State != ERowState::Done) {
            continue;
        }
        ++done;
        switch (row->Outcome) {
        case ESiteCameraOutcome::Upgraded:
            ++upgraded;
            break;
        case ESiteCameraOutcome::NothingToInstall:
            ++nothing;
            break;
        case ESiteCameraOutcome::Failed:
            ++failed;
            break;
        case ESiteCameraOutcome::NotStarted:
        case ESiteCameraOutcome::Running:
            ++notStarted;
            break;
        }
    }
    const auto n = [](std::size_t value) { return QString::number(value); };
    QString text;
    if (FRunning) {
        text = Text("IDS_SITE_SUMMARY_RUN")
                   .arg(n(done), n(FRunRows.size()), n(upgraded), n(nothing), n(failed));
        if (FSite->Stopping()) {
            text += QLatin1Char(' ') + Text("IDS_SITE_STOPPING");
        }
    } else {
        text = Text("IDS_SITE_SUMMARY_END")
                   .arg(n(upgraded), n(nothing), n(failed), n(notStarted));
    }
    lblSummary->setText(text);
}

void TfrmSiteUpgrade::UpdateControls() {
    btnStart->setEnabled(!FRunning);
    btnStop->setEnabled(FRunning && FSite && !FSite->Stopping());
    btnSaveReport->setEnabled(FSite != nullptr);
    btnShowLog->setEnabled(SelectedRow() >= 0);
    gbAdd->setEnabled(!FRunning);
    gbOptions->setEnabled(!FRunning);
    chkAll->setEnabled(!FRunning);
}

// --- the site upgrade ----------------------------------------------------------------------

TfrmSiteUpgrade::TRow* TfrmSiteUpgrade::RowOfCamera(std::size_t camera) {
    return camera < FRunRows.size() ? FRunRows[camera] : nullptr;
}

void TfrmSiteUpgrade::btnStartClick() {
    if (FRunning) {
        return;
    }
    if (SingleRunBusy && SingleRunBusy()) {
        Box("IDS_SITE_SINGLERUNNING", platform::MB_ICONWARNING);
        return;
    }
    const std::string user = platform::Trim(FromQ(edUser->text()));
    const std::string password = platform::Trim(FromQ(edPwd->text()));
    if (user.empty()) {
        Box("IDS_NOLOGINUSER", platform::MB_ICONWARNING);
        edUser->setFocus();
        return;
    }
    std::vector<TSiteCamera> cameras;
    std::vector<TRow*> runRows;
    for (int i = 0; i < RowCount(); ++i) {
        TRow& row = *FRows[static_cast<std::size_t>(i)];
        if (!RowChecked(i)) {
            continue;
        }
        TSiteCamera camera = row.Camera;
        if (camera.User.empty()) {
            camera.User = user;
        }
        if (camera.Password.empty()) {
            camera.Password = password;
        }
        cameras.push_back(camera);
        runRows.push_back(&row);
    }
    if (cameras.empty()) {
        Box("IDS_SITE_NOCAMERA", platform::MB_ICONWARNING);
        return;
    }

    TSiteOptions options;
    options.Parallel = spnParallel->value();
    options.Firmware = static_cast<ESiteFirmware>(std::clamp(cmbFirmware->currentIndex(), 0, 2));
    options.SameVersion =
        cmbSameVersion->currentIndex() == 1 ? ESameVersion::Reinstall : ESameVersion::Skip;

    // The last site upgrade's threads have ended (its last event came): this joins them.
    FSite.reset();
    for (auto& row : FRows) {
        TRow& r = *row;
        r.State = ERowState::Idle;
        r.RunOpen = false;
        r.RunEnded = false;
        r.Phase = EUpgradePhase::Login;
        r.Percent = r.SecondsLeft = -1;
        r.SystemBefore.clear();
        r.SystemAfter.clear();
        r.UIBefore.clear();
        r.UIAfter.clear();
        r.SystemRan = r.UIRan = false;
        r.Outcome = ESiteCameraOutcome::NotStarted;
        r.FailureText.clear();
    }
    for (TRow* row : runRows) {
        row->State = ERowState::Waiting;
        row->Log.clear();
        if (row == FLogShown) {
            FLogMemo->clear();
        }
    }
    FRunRows = runRows;
    FRunning = true;
    FSite = std::make_unique<TSiteUpgrade>(std::move(cameras), options, platform::Host());

    FSite->OnRunStarted = [this](std::size_t camera, bool isSystem) {
        if (TRow* row = RowOfCamera(camera)) {
            row->State = ERowState::Running;
            row->RunIsSystem = isSystem;
            row->RunOpen = true;
            row->RunEnded = false;
            row->Phase = EUpgradePhase::Login;
            row->Percent = row->SecondsLeft = -1;
            ShowRow(*row);
        }
    };
    FSite->OnLog = [this](std::size_t camera, bool, const std::string&, const std::string& line) {
        if (TRow* row = RowOfCamera(camera)) {
            AppendLog(*row, FormatLogLine(line));
        }
    };
    FSite->OnNotice = [this](std::size_t camera, bool, const std::string& text) {
        if (TRow* row = RowOfCamera(camera)) {
            AppendLog(*row, FormatLogLine(text));
        }
    };
    FSite->OnProgress = [this](std::size_t camera, bool isSystem, const TProgress& progress) {
        TRow* row = RowOfCamera(camera);
        if (row != nullptr && row->RunOpen) {
            row->RunIsSystem = isSystem;
            row->Phase = progress.Phase;
            row->Percent = progress.Total > 0
                               ? static_cast<int>(std::min<std::uint64_t>(
                                     100, progress.Done * 100 / progress.Total))
                               : -1;
            row->SecondsLeft = progress.Phase == EUpgradePhase::RebootWait ||
                                       progress.Phase == EUpgradePhase::Poll
                                   ? progress.SecondsLeft
                                   : -1;
            ShowRow(*row);
        }
    };
    FSite->OnRunFinished = [this](std::size_t camera, const TSiteRunResult& run) {
        if (TRow* row = RowOfCamera(camera)) {
            row->RunOpen = false;
            // Until the camera's next run starts (or the camera ends), the phase says
            // that this one has ended.
            row->RunEnded = true;
            if (run.IsSystem) {
                row->SystemRan = true;
                row->SystemBefore = run.VersionBefore;
                row->SystemAfter = run.VersionAfter;
            } else {
                row->UIRan = true;
                row->UIBefore = run.VersionBefore;
                row->UIAfter = run.VersionAfter;
            }
            if (run.Outcome == ERunClass::Failed && row->FailureText.empty()) {
                row->FailureText = run.LastText;
            }
            row->Percent = row->SecondsLeft = -1;
            ShowRow(*row);
        }
    };
    FSite->OnCameraFinished = [this](std::size_t camera, const TSiteCameraResult& result) {
        if (TRow* row = RowOfCamera(camera)) {
            row->State = ERowState::Done;
            row->Outcome = result.Outcome;
            ShowRow(*row);
            ShowSummary();
        }
    };
    FSite->OnFinished = [this] { SiteFinished(); };

    for (auto& row : FRows) {
        ShowRow(*row);
    }
    ShowSummary();
    UpdateControls();
    FSite->Start();
    if (OnRunningChanged) {
        OnRunningChanged();
    }
}

void TfrmSiteUpgrade::btnStopClick() {
    if (!FRunning || !FSite) {
        return;
    }
    FSite->Stop();
    ShowSummary();
    UpdateControls();
}

void TfrmSiteUpgrade::SiteFinished() {
    FRunning = false;
    for (auto& row : FRows) {
        ShowRow(*row); // check boxes usable again
    }
    ShowSummary();
    UpdateControls();
    if (OnRunningChanged) {
        OnRunningChanged();
    }
}

// --- the report and the logs -----------------------------------------------------------------

void TfrmSiteUpgrade::btnSaveReportClick() {
    if (!FSite || !SaveDialog1.Execute(this)) {
        return;
    }
    const std::string path = FromQ(SaveDialog1.FileName);
    const int error = WriteSiteReport(path, FSite->Results());
    if (error != 0) {
        platform::Host().MessageBox(
            FromQ(Text("IDS_SITE_REPORTERR")
                      .arg(SaveDialog1.FileName, ToQ(platform::ErrorText(error)))),
            GetStrRes("IDS_ERROR"), platform::MB_OK | platform::MB_ICONERROR);
    }
}

void TfrmSiteUpgrade::btnShowLogClick() {
    const int row = SelectedRow();
    if (row >= 0) {
        ShowLogOf(static_cast<std::size_t>(row));
    }
}

void TfrmSiteUpgrade::ShowLogOf(std::size_t row) {
    if (row >= FRows.size()) {
        return;
    }
    if (FLogWindow == nullptr) {
        FLogWindow = new QDialog(this);
        FLogWindow->setObjectName(QStringLiteral("frmSiteLog"));
        FLogWindow->resize(design::LogWindowSize);
        auto* layout = new QVBoxLayout(FLogWindow);
        FLogMemo = new QPlainTextEdit(FLogWindow);
        FLogMemo->setReadOnly(true);
        layout->addWidget(FLogMemo);
    }
    FLogShown = FRows[row].get();
    FLogWindow->setWindowTitle(Text("IDS_SITE_LOGCAPTION").arg(ToQ(FLogShown->Camera.Name())));
    FLogMemo->clear();
    for (const std::string& line : FRows[row]->Log) {
        FLogMemo->appendPlainText(ToQ(line));
    }
    FLogWindow->show();
    FLogWindow->raise();
}

void TfrmSiteUpgrade::AppendLog(TRow& row, const std::string& text) {
    std::string line = text;
    // Lines with CR LF inside (a box's text) show as lines of their own.
    for (std::size_t at = line.find("\r\n"); at != std::string::npos; at = line.find("\r\n", at)) {
        line.erase(at, 1);
    }
    row.Log.push_back(line);
    if (FLogShown == &row && FLogWindow->isVisible()) {
        FLogMemo->appendPlainText(ToQ(line));
    }
}

} // namespace torvane
