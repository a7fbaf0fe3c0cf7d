#pragma once
// The settings window, opened from the main window: where firmware comes from (a server's
// URL, a file:// URL or a folder, picked with a folder dialog) and where the LAN search
// sends its probes (the broadcast address, "auto" for every interface, and the one
// interface it is limited to, "auto" for all). It shows the settings as option.ini gives
// them (the compiled-in default where no file sets one), checks what the user typed, and
// on OK writes what was changed into the user's option.ini, which torvane-cli reads too, and
// puts it into effect: the next run downloads from the new source, and the background
// search sends its next pass to the new destinations. Cancel writes nothing. The language
// is not here: it stays in the main window.

#include "i18n/Deployment.h"

#include <QDialog>

#include <functional>
#include <string>
#include <vector>

class QComboBox;
class QLineEdit;

namespace torvane {

class TfrmSettings : public QDialog {
    Q_OBJECT
public:
    // interfaces: the interface names offered in the list (the machine's by default);
    // broadcasts: the broadcast addresses offered besides "auto" (the machine's subnets').
    explicit TfrmSettings(QWidget* parent = nullptr,
                          std::vector<std::string> interfaces = MachineInterfaces(),
                          std::vector<std::string> broadcasts = MachineBroadcasts());

    // The word for "every interface", in both lists and in option.ini's broadcast setting.
    static constexpr const char* AutoWord = "auto";

    [[nodiscard]] static std::vector<std::string> MachineInterfaces();
    [[nodiscard]] static std::vector<std::string> MachineBroadcasts();

    // Event handlers.
    void btnBrowseClick();
    void btnOKClick();

    // When set, the folder button calls it instead of showing the folder dialog: it gets
    // the folder to start in and gives the chosen folder, or an empty text for none. Lets
    // tests and scripts answer the dialog.
    std::function<QString(const QString& start)> FolderChooser;

    // --- components, by their names: the fields, which the window fills and reads; its
    // labels, notes and buttons are only made and wired, and found by name where needed ---
    QLineEdit* edServer = nullptr;
    QComboBox* cmbBroadcast = nullptr;
    QComboBox* cmbInterface = nullptr;

private:
    void CreateComponents(const std::vector<std::string>& interfaces,
                          const std::vector<std::string>& broadcasts);
    void ShowSettings();
    // The values to store: a field left as it was shown keeps the stored value (empty
    // where the default applies), so that nothing is written that the user did not change.
    [[nodiscard]] TDeploymentSettings Entered() const;
    // A warning box with the pack text of key ("%1": the value) and the focus on field.
    void Refuse(const char* key, const std::string& value, QWidget* field);

    TDeploymentSettings FStored; // as option.ini gave them
    TDeploymentSettings FShown;  // as the fields showed them at first
};

} // namespace torvane
