#include "i18n/qt/FormLayout.h"

#include <QWidget>

namespace torvane {

std::vector<std::string> PlaceComponents(QWidget* form, std::span<const TPlace> places) {
    std::vector<std::string> missing;
    for (const TPlace& place : places) {
        const QString name = QString::fromUtf8(place.Component.data(),
                                               static_cast<qsizetype>(place.Component.size()));
        auto* control = form->findChild<QWidget*>(name);
        if (control == nullptr) {
            missing.emplace_back(place.Component);
            continue;
        }
        control->setGeometry(place.Rect());
    }
    return missing;
}

const TPlace* FindPlace(std::span<const TPlace> places, std::string_view component) {
    for (const TPlace& place : places) {
        if (place.Component == component) {
            return &place;
        }
    }
    return nullptr;
}

void NameForm(QWidget* form, std::string_view name, const QString& title, QSize client) {
    form->setObjectName(QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
    form->setWindowTitle(title);
    form->setFixedSize(client);
}

} // namespace torvane
