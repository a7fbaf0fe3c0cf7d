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
