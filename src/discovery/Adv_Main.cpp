#include "discovery/Adv_Main.h"

#include "discovery/Adv_MainDesign.h"
#include "discovery/SR.h"
#include "discovery/ThemeLabel.h"
#include "i18n/qt/Controls.h"
#include "i18n/qt/FormLayout.h"
#include "i18n/qt/ListControls.h"
#include "i18n/qt/Panel.h"
#include "i18n/qt/QtText.h"
#include "i18n/qt/TranslateForm.h"
#include "series/SR_924.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <iterator>

namespace torvane {

namespace {

namespace design = frmAdv_MainDesign;

constexpr int TickMs = 1000;

} // namespace

TfrmAdv_Main::TfrmAdv_Main(TDiscoveryPorts ports, std::string vendorLibrary)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint),
      FSession(std::make_unique<TDiscoverySession>(ports, Series924(), std::move(vendorLibrary))) {
    CreateComponents();
    FormCreate();
}

TfrmAdv_Main::~TfrmAdv_Main() {
    Teardown();
}

void TfrmAdv_Main::CreateComponents() {
    NameForm(this, "frmAdv_Main", QStringLiteral("Select IP Camera"), design::ClientSize);
    setModal(true);

    // The frame around the list.
    auto* frame = new QGroupBox(this);
    frame->setObjectName(QStringLiteral("GroupBox1"));
    frame->setTitle(QStringLiteral("IP Camera List"));

    ListView = new TListView(this);
    ListView->setObjectName(QStringLiteral("ListView"));
    ListView->setColumnCount(4);
    ListView->setHeaderLabels({QStringLiteral("Type"), QStringLiteral("Name"),
                               QStringLiteral("IP address"), QStringLiteral("Port")});
    ListView->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView->setSortingEnabled(false); // the session keeps the order
    ListView->header()->setSectionsClickable(true);
    ListView->header()->setSortIndicatorShown(false);
    ListView->header()->setStretchLastSection(true);
    for (int column = 0; column < static_cast<int>(std::size(design::ColumnWidths)); ++column) {
        ListView->setColumnWidth(column, design::ColumnWidths[column]);
    }
    {
        QFont font = ListView->font();
        font.setPointSize(design::ListFontPoints);
        ListView->setFont(font);
    }

    plInfo = new TPanel(this);
    plInfo->setObjectName(QStringLiteral("plInfo"));
    plInfo->setFrameShape(QFrame::NoFrame);
    plInfo->SetCaption(QStringLiteral("There is no camera found in the LAN."));
    {
        QPalette palette = plInfo->palette();
        palette.setColor(QPalette::Window, Qt::white);
        palette.setColor(QPalette::WindowText, Qt::red);
        plInfo->setPalette(palette);
    }
    plInfo->raise();

    lblDevNum = new TThemeLabel(this);
    lblDevNum->setObjectName(QStringLiteral("lblDevNum"));

    QPushButton* btnFind = MakeButton(this, "btnFind", QStringLiteral("&Find"));
    QPushButton* btnOK = MakeButton(this, "btnOK", QStringLiteral("&OK"));
    QPushButton* btnCancel = MakeButton(this, "btnCancel", QStringLiteral("&Cancel"));
    (void)PlaceComponents(this, design::Places);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(TickMs);

    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
    ConnectClicks(this, {{btnFind, &TfrmAdv_Main::btnFindClick},
                         {btnOK, &TfrmAdv_Main::spbExportClick}});
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(ListView, &QTreeWidget::itemSelectionChanged, this,
            [this] { ListSelectionChanged(); });
    connect(ListView->header(), &QHeaderView::sectionClicked, this,
            [this](int column) { FSession->ColumnClick(column); });
}

void TfrmAdv_Main::FormCreate() {
    TranslateForm(this, "");
    FSession->SetChangeHandler([this](unsigned changes) { SessionChanged(changes); });
    FSession->Start();
    SyncItems();
    SyncCount();
    Timer1->start();
}

void TfrmAdv_Main::Teardown() {
    if (FTornDown) {
        return;
    }
    FTornDown = true;
    Timer1->stop();
    FSession->SetChangeHandler(nullptr);
    FSession->Stop();
    FSession.reset();
    ListView->clear();
    // The program-wide T-series client ends with the window.
    ReleaseSeries924();
}

// --- showing and closing ---------------------------------------------------------------

void TfrmAdv_Main::showEvent(QShowEvent* event) {
    // Centred on the window that opens it.
    const QWidget* owner = QApplication::activeWindow();
    if (owner != nullptr && owner != this) {
        move(owner->frameGeometry().center() - QPoint(width() / 2, height() / 2));
    } else if (const QScreen* s = screen()) {
        move(s->availableGeometry().center() - QPoint(width() / 2, height() / 2));
    }
    TranslateForm(this, "");
    QDialog::showEvent(event);
    if (FSession) {
        FSession->Show();
    }
}

void TfrmAdv_Main::closeEvent(QCloseEvent* event) {
    if (FIsClose) {
        Teardown();
    }
    // Otherwise only hidden: the search goes on.
    QDialog::closeEvent(event);
}

// --- the search ------------------------------------------------------------------------

void TfrmAdv_Main::Timer1Timer() {
    if (FSession) {
        FSession->Tick();
    }
}

void TfrmAdv_Main::btnFindClick() {
    if (FSession) {
        FSession->Find();
    }
}

void TfrmAdv_Main::spbExportClick() {
    const TCameraChoice choice = FSession ? FSession->Choose() : TCameraChoice{};
    FszIP = choice.szIP;
    FnPort = choice.nPort;
    FnTYpe = choice.nTYpe;
    if (choice.Chosen) {
        accept();
    } else {
        reject();
    }
}

// --- the list as the session has it ----------------------------------------------------

void TfrmAdv_Main::SessionChanged(unsigned changes) {
    if ((changes & ChangeItems) != 0) {
        SyncItems();
    }
    if ((changes & (ChangeItems | ChangeSelection)) != 0) {
        SyncSelection();
    }
    if ((changes & (ChangeItems | ChangeCount)) != 0) {
        SyncCount();
    }
}

void TfrmAdv_Main::SyncItems() {
    FSyncing = true;
    const int count = FSession->Count();
    while (ListView->topLevelItemCount() > count) {
        delete ListView->takeTopLevelItem(ListView->topLevelItemCount() - 1);
    }
    while (ListView->topLevelItemCount() < count) {
        ListView->addTopLevelItem(new QTreeWidgetItem);
    }
    for (int i = 0; i < count; ++i) {
        const TDevInfo& entry = FSession->Item(i);
        QTreeWidgetItem* item = ListView->topLevelItem(i);
        item->setText(0, ToQ(DevTypeToSeries(entry.nType)));
        item->setText(1, ToQ(entry.szName));
        item->setText(2, ToQ(entry.szIPAddr));
        item->setText(3, QString::number(entry.wPort));
    }
    FSyncing = false;
    SyncSelection();
}

void TfrmAdv_Main::SyncSelection() {
    FSyncing = true;
    const int selected = FSession->SelectedIndex();
    if (selected >= 0 && selected < ListView->topLevelItemCount()) {
        QTreeWidgetItem* item = ListView->topLevelItem(selected);
        ListView->setCurrentItem(item);
        item->setSelected(true);
    } else {
        ListView->clearSelection();
        ListView->setCurrentItem(nullptr);
    }
    FSyncing = false;
}

void TfrmAdv_Main::SyncCount() {
    lblDevNum->SetCaption(ToQ(FSession->DevCountText()));
    plInfo->setVisible(FSession->ShowsEmptyPanel());
}

void TfrmAdv_Main::ListSelectionChanged() {
    if (FSyncing || !FSession) {
        return;
    }
    const QList<QTreeWidgetItem*> selected = ListView->selectedItems();
    FSession->Select(selected.isEmpty() ? -1 : ListView->indexOfTopLevelItem(selected.front()));
}

} // namespace torvane
