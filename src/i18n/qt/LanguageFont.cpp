#include "i18n/qt/LanguageFont.h"

#include <QFont>
#include <QStringList>
#include <QVariant>
#include <QWidget>

namespace torvane {

namespace {

constexpr const char* CharsetProperty = "charset";

// Installed once: the fonts that stand in for the Windows faces when these are missing.
void EnsureSubstitutes() {
    static const bool done = [] {
        const auto add = [](const QString& face, const QStringList& substitutes) {
            if (QFont::substitutes(face).isEmpty()) {
                QFont::insertSubstitutions(face, substitutes);
            }
        };
        add(QString::fromUtf8("宋体"), {QStringLiteral("SimSun"),
                                          QStringLiteral("Noto Sans CJK SC"),
                                          QStringLiteral("Noto Serif CJK SC")});
        add(QStringLiteral("PMingLiU"), {QStringLiteral("Noto Sans CJK TC"),
                                         QStringLiteral("Noto Serif CJK TC")});
        add(QStringLiteral("Tahoma"), {QStringLiteral("DejaVu Sans"),
                                       QStringLiteral("Liberation Sans")});
        return true;
    }();
    (void)done;
}

void ChangeSize(QFont& font, int from, int to) {
    if (font.pointSize() == from) {
        font.setPointSize(to);
    }
}

} // namespace

int SetLanguageFont(const std::string& code, QFont& font) {
    EnsureSubstitutes();
    if (code == "cn") {
        font.setFamily(QString::fromUtf8("宋体"));
        ChangeSize(font, 8, 9);
        return GB2312_CHARSET;
    }
    if (code == "b5") {
        font.setFamily(QStringLiteral("PMingLiU"));
        ChangeSize(font, 8, 9);
        return CHINESEBIG5_CHARSET;
    }
    font.setFamily(QStringLiteral("Tahoma"));
    if (code == "jp") {
        ChangeSize(font, 8, 9);
        return SHIFTJIS_CHARSET;
    }
    ChangeSize(font, 9, 8);
    return DEFAULT_CHARSET;
}

void SetLanguageFont(const std::string& code, QWidget& widget) {
    QFont font = widget.font();
    const int charset = SetLanguageFont(code, font);
    widget.setFont(font);
    widget.setProperty(CharsetProperty, charset);
}

int FontCharset(const QObject& holder) {
    const QVariant value = holder.property(CharsetProperty);
    return value.isValid() ? value.toInt() : DEFAULT_CHARSET;
}

} // namespace torvane
