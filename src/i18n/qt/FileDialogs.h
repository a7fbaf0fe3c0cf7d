#pragma once
// File dialog components: a window owns them like any control, they keep their settings
// between uses, and Execute opens the toolkit's dialog. The filter is written as pairs of
// description and pattern separated by "|" ("Text files|*.txt|All files|*.*"), the form
// the language packs' ".Filter" entries use.

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

namespace torvane {

// A file dialog is made as one of the two kinds below, which differ only in what the user
// chooses: a name to save under, or a file that exists.
class TFileDialog : public QObject {
    Q_OBJECT
public:
    QString Filter;     // "description|pattern|..."
    QString DefaultExt; // added when the chosen name has no extension ("txt")
    QString FileName;   // the name chosen by the last Execute (and the one offered)
    QString Title;

    // Shows the dialog; true when the user chose a file (then FileName holds it).
    bool Execute(QWidget* parent);

    // When set, Execute calls it instead of showing a dialog: it sets FileName and returns
    // whether a file was chosen. Lets tests and scripts answer the dialog.
    std::function<bool(TFileDialog&)> Chooser;

    // The filter in the toolkit's form, one "description (pattern)" per pair.
    [[nodiscard]] static QStringList ToNameFilters(const QString& filter);
    // The extension a save dialog adds to a name typed without one while nameFilter (one of
    // ToNameFilters) is the chosen file type: its first "*.ext" pattern ("CSV (*.csv)" gives
    // "csv"); fallback for a type without one ("All (*.*)").
    [[nodiscard]] static QString SuffixOfNameFilter(const QString& nameFilter,
                                                    const QString& fallback);

    [[nodiscard]] bool IsSave() const { return FSave; }

protected:
    TFileDialog(QObject* owner, bool save) : QObject(owner), FSave(save) {}

private:
    const bool FSave;
};

class TSaveDialog : public TFileDialog {
public:
    explicit TSaveDialog(QObject* owner = nullptr) : TFileDialog(owner, true) {}
};

class TOpenDialog : public TFileDialog {
public:
    explicit TOpenDialog(QObject* owner = nullptr) : TFileDialog(owner, false) {}
};

} // namespace torvane
