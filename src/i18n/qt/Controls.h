#pragma once
// Controls made under their component names (the names the packs' keys and the design
// tables use), for the windows' code that creates them.

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QString>

#include <initializer_list>
#include <string_view>
#include <utility>

namespace torvane {

// A component name as the widget's objectName.
[[nodiscard]] inline QString NameOf(std::string_view component) {
    return QString::fromLatin1(component.data(), static_cast<qsizetype>(component.size()));
}

inline QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    return label;
}

inline QLineEdit* MakeEdit(QWidget* parent, const char* name, const QString& text = {}) {
    auto* edit = new QLineEdit(text, parent);
    edit->setObjectName(QLatin1String(name));
    return edit;
}

// The application's style, except that password fields mask every character with "*".
class TAsteriskMaskStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == QStyle::SH_LineEdit_PasswordCharacter) {
            return '*';
        }
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

// A password field: the windows are designed with "*" as the mask; the style's own (often
// a dot) differs.
inline QLineEdit* MakePasswordEdit(QWidget* parent, const char* name, const QString& text = {}) {
    QLineEdit* edit = MakeEdit(parent, name, text);
    edit->setEchoMode(QLineEdit::Password);
    auto* maskStyle = new TAsteriskMaskStyle;
    maskStyle->setParent(edit);
    edit->setStyle(maskStyle);
    return edit;
}

// A push button that is not pressed by the Enter key of a dialog unless made the default.
inline QPushButton* MakeButton(QWidget* parent, const char* name, const QString& text) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(name));
    button->setAutoDefault(false);
    return button;
}

// One button of a window's row: the member that keeps it, its name and its caption.
struct TButtonRowEntry {
    QPushButton** Slot;
    const char* Name;
    QString Text;
};

// A row of buttons made in the order given.
inline void MakeButtons(QWidget* parent, std::initializer_list<TButtonRowEntry> row) {
    for (const TButtonRowEntry& entry : row) {
        *entry.Slot = MakeButton(parent, entry.Name, entry.Text);
    }
}

// A window's row of buttons, each running its click handler of the window when clicked.
template <class TWindow>
void ConnectClicks(TWindow* window,
                   std::initializer_list<std::pair<QAbstractButton*, void (TWindow::*)()>> row) {
    for (const auto& [button, handler] : row) {
        QObject::connect(button, &QAbstractButton::clicked, window,
                         [window, handler = handler] { (window->*handler)(); });
    }
}

} // namespace torvane
