#pragma once
// UTF-8 texts of the core to and from Qt's strings.

#include <QString>

#include <string>

namespace torvane {

[[nodiscard]] inline QString ToQ(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

[[nodiscard]] inline std::string FromQ(const QString& text) {
    return text.toUtf8().toStdString();
}

} // namespace torvane
