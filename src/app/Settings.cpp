#include "app/Settings.h"

#include "app/SettingsDesign.h"
#include "i18n/StrRes.h"
#include "i18n/qt/Controls.h"
#include "i18n/qt/FormLayout.h"
#include "i18n/qt/QtText.h"
#include "i18n/qt/TranslateForm.h"
#include "platform/Folders.h"
#include "platform/Host.h"
#include "platform/Interfaces.h"
#include "platform/Socket.h"
#include "platform/Text.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <algorithm>

namespace torvane {

namespace {

namespace design = frmSettingsDesign;

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, bool note) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    if (note) {
        label->setWordWrap(true);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, Qt::darkGray);
        label->setPalette(palette);
    } else {
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }
    return label;
}

// A setting's label and then its field (the order the tab key follows), the label naming
// the field as its buddy.
template <class TMakeField>
auto MakeLabelledField(QWidget* parent, const char* labelName, const QString& text,
                       TMakeField makeField) {
    QLabel* label = MakeLabel(parent, labelName, text, false);
    auto* field = makeField();
    label->setBuddy(field);
    return field;
}

QComboBox* MakeList(QWidget* parent, const char* name, const std::vector<std::string>& items) {
    auto* list = new QComboBox(parent);
    list->setObjectName(QLatin1String(name));
    list->setEditable(true);
    list->setInsertPolicy(QComboBox::NoInsert);
    list->addItem(QLatin1String(TfrmSettings::AutoWord));
    for (const std::string& item : items) {
        list->addItem(ToQ(item));
    }
    return list;
}

std::string Trimmed(const QString& text) {
    return platform::Trim(FromQ(text));
}

bool IsAuto(const std::string& text) {
    return platform::CompareTextAscii(text, TfrmSettings::AutoWord) == 0;
}

} // namespace

TfrmSettings::TfrmSettings(QWidget* parent, std::vector<std::string> interfaces,
                           std::vector<std::string> broadcasts)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    CreateComponents(interfaces, broadcasts);
    TranslateForm(this, "");
    ShowSettings();
}

std::vector<std::string> TfrmSettings::MachineInterfaces() {
    return platform::InterfaceNames();
}

std::vector<std::string> TfrmSettings::MachineBroadcasts() {
    std::vector<std::string> out;
    for (const platform::TNetInterface& entry : platform::BroadcastInterfaces()) {
        const std::string address = platform::IPv4ToText(entry.Broadcast);
        if (entry.Broadcast != 0 && std::find(out.begin(), out.end(), address) == out.end()) {
            out.push_back(address);
        }
    }
    return out;
}

void TfrmSettings::CreateComponents(const std::vector<std::string>& interfaces,
                                    const std::vector<std::string>& broadcasts) {
    NameForm(this, "frmSettings", QStringLiteral("Settings"), design::ClientSize);
    setModal(true);

    edServer = MakeLabelledField(this, "lblServer", QStringLiteral("Firmware source:"),
                                 [this] { return MakeEdit(this, "edServer"); });
    QPushButton* btnBrowse = MakeButton(this, "btnBrowse", QStringLiteral("Folder..."));
    MakeLabel(this, "lblServerNote", QString(), true);
    cmbBroadcast =
        MakeLabelledField(this, "lblBroadcast", QStringLiteral("Search broadcast address:"),
                          [&] { return MakeList(this, "cmbBroadcast", broadcasts); });
    cmbInterface = MakeLabelledField(this, "lblInterface", QStringLiteral("Search interface:"),
                                     [&] { return MakeList(this, "cmbInterface", interfaces); });
    MakeLabel(this, "lblSearchNote", QString(), true);
    QPushButton* btnOK = MakeButton(this, "btnOK", QStringLiteral("&OK"));
    QPushButton* btnCancel = MakeButton(this, "btnCancel", QStringLiteral("&Cancel"));
    btnOK->setDefault(true);
    (void)PlaceComponents(this, design::Places);

    ConnectClicks(this, {{btnBrowse, &TfrmSettings::btnBrowseClick},
                         {btnOK, &TfrmSettings::btnOKClick}});
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TfrmSettings::ShowSettings() {
    FStored = StoredDeploymentSettings();
    FShown.Server = FStored.Server.empty() ? DefaultFirmwareServerUrl() : FStored.Server;
    FShown.Broadcast = FStored.Broadcast.empty() ? DefaultBroadcastAddress() : FStored.Broadcast;
    FShown.Interface = FStored.Interface.empty() ? DefaultSearchInterface() : FStored.Interface;
    if (FShown.Interface.empty()) {
        FShown.Interface = AutoWord;
    }
    edServer->setText(ToQ(FShown.Server));
    cmbBroadcast->setCurrentText(ToQ(FShown.Broadcast));
    cmbInterface->setCurrentText(ToQ(FShown.Interface));
}

TDeploymentSettings TfrmSettings::Entered() const {
    const auto value = [](const QString& field, const std::string& shown,
                          const std::string& stored) {
        const std::string entered = Trimmed(field);
        return entered == platform::Trim(shown) ? stored : entered;
    };
    TDeploymentSettings entered;
    entered.Server = value(edServer->text(), FShown.Server, FStored.Server);
    entered.Broadcast = value(cmbBroadcast->currentText(), FShown.Broadcast, FStored.Broadcast);
    entered.Interface = value(cmbInterface->currentText(), FShown.Interface, FStored.Interface);
    // "auto" (or nothing) is no interface name: the search uses every interface.
    if (IsAuto(entered.Interface)) {
        entered.Interface.clear();
    }
    return entered;
}

void TfrmSettings::btnBrowseClick() {
    // Start where the source points when that is a folder, else in the home folder.
    const TFirmwareSource source = ParseFirmwareSource(FromQ(edServer->text()));
    QString start = QDir::homePath();
    if (source.Kind == EFirmwareSourceKind::Folder && platform::FolderExists(source.Location)) {
        start = ToQ(source.Location);
    }
    const QString chosen =
        FolderChooser ? FolderChooser(start)
                      : QFileDialog::getExistingDirectory(this, ToQ(GetStrRes("IDS_SETTINGS_CHOOSEFOLDER")),
                                                          start, QFileDialog::ShowDirsOnly);
    if (!chosen.isEmpty()) {
        edServer->setText(QDir::toNativeSeparators(chosen));
    }
}

void TfrmSettings::Refuse(const char* key, const std::string& value, QWidget* field) {
    platform::Host().MessageBox(FromQ(ToQ(GetStrRes(key)).arg(ToQ(value))),
                                GetStrRes("IDS_WARNING"),
                                platform::MB_OK | platform::MB_ICONWARNING);
    field->setFocus();
}

void TfrmSettings::btnOKClick() {
    const TDeploymentSettings entered = Entered();
    // A folder that is not there now may be a stick still to be plugged in: asked, not refused.
    const TFirmwareSource source = ParseFirmwareSource(entered.Server);
    if (entered.Server != FStored.Server && source.Kind == EFirmwareSourceKind::Folder &&
        !platform::FolderExists(source.Location)) {
        const int answer = platform::Host().MessageBox(
            FromQ(ToQ(GetStrRes("IDS_SETTINGS_NOFOLDER")).arg(ToQ(source.Location))),
            GetStrRes("IDS_CONFIRM"), platform::MB_YESNO | platform::MB_ICONQUESTION);
        if (answer != platform::IDYES) {
            edServer->setFocus();
            return;
        }
    }
    const TStoreResult result = StoreDeploymentSettings(entered, FStored);
    if (result.InvalidKey == ServerSettingKey) {
        Refuse("IDS_SETTINGS_BADSOURCE", entered.Server, edServer);
        return;
    }
    if (result.InvalidKey == BroadcastSettingKey) {
        Refuse("IDS_SETTINGS_BADBROADCAST", entered.Broadcast, cmbBroadcast);
        return;
    }
    if (result.InvalidKey == InterfaceSettingKey) {
        Refuse("IDS_SETTINGS_BADINTERFACE", entered.Interface, cmbInterface);
        return;
    }
    if (!result.Ok) {
        platform::Host().MessageBox(
            FromQ(ToQ(GetStrRes("IDS_SETTINGS_NOTSAVED")).arg(ToQ(result.File))),
            GetStrRes("IDS_ERROR"), platform::MB_OK | platform::MB_ICONERROR);
        return;
    }
    // In effect at once: the next run and the search's next pass read them.
    LoadDeploymentSettings();
    accept();
}

} // namespace torvane
