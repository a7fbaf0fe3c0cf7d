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

class TFileDialog : public QObject {
    Q_OBJECT
public:
    explicit TFileDialog(QObject* owner = nullptr) : QObject(owner) {}

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

protected:
    [[nodiscard]] virtual bool IsSave() const = 0;
};

class TSaveDialog : public TFileDialog {
    Q_OBJECT
public:
    explicit TSaveDialog(QObject* owner = nullptr) : TFileDialog(owner) {}

protected:
    [[nodiscard]] bool IsSave() const override { return true; }
};

class TOpenDialog : public TFileDialog {
    Q_OBJECT
public:
    explicit TOpenDialog(QObject* owner = nullptr) : TFileDialog(owner) {}

protected:
    [[nodiscard]] bool IsSave() const override { return false; }
};

} // namespace torvane
