#include "i18n/qt/FileDialogs.h"

#include <QFileDialog>

namespace torvane {

QStringList TFileDialog::ToNameFilters(const QString& filter) {
    QStringList result;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString pattern = parts[i + 1].trimmed();
        pattern.replace(QLatin1Char(';'), QLatin1Char(' '));
        result << parts[i] + QStringLiteral(" (") + pattern + QStringLiteral(")");
    }
    return result;
}

QString TFileDialog::SuffixOfNameFilter(const QString& nameFilter, const QString& fallback) {
    const qsizetype open = nameFilter.lastIndexOf(QLatin1Char('('));
    const qsizetype close = nameFilter.lastIndexOf(QLatin1Char(')'));
    if (open < 0 || close < open) {
        return fallback;
    }
    const QStringList patterns =
        nameFilter.mid(open + 1, close - open - 1).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString& pattern : patterns) {
        const QString suffix =
            pattern.startsWith(QStringLiteral("*.")) ? pattern.mid(2) : QString();
        if (!suffix.isEmpty() && !suffix.contains(QLatin1Char('*')) &&
            !suffix.contains(QLatin1Char('?'))) {
            return suffix;
        }
    }
    return fallback;
}

bool TFileDialog::Execute(QWidget* parent) {
    if (Chooser) {
        return Chooser(*this);
    }
    QFileDialog dialog(parent, Title);
    dialog.setAcceptMode(IsSave() ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(IsSave() ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    const QStringList filters = ToNameFilters(Filter);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
    }
    dialog.setDefaultSuffix(DefaultExt);
    // A name typed without an extension gets the one of the file type chosen, so choosing
    // "CSV" and typing "report" saves report.csv, not report.json.
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                     [&dialog, this](const QString& chosen) {
                         dialog.setDefaultSuffix(SuffixOfNameFilter(chosen, DefaultExt));
                     });
    if (!FileName.isEmpty()) {
        dialog.selectFile(FileName);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return false;
    }
    FileName = dialog.selectedFiles().constFirst();
    return true;
}

} // namespace torvane
