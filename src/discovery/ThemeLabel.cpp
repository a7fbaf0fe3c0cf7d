#include "discovery/ThemeLabel.h"

#include <QFontMetrics>
#include <QPainter>

namespace torvane {

TThemeLabel::TThemeLabel(QWidget* parent) : QWidget(parent) {}

void TThemeLabel::SetCaption(const QString& caption) {
    if (caption != FCaption) {
        FCaption = caption;
        updateGeometry();
        update();
    }
}

QSize TThemeLabel::sizeHint() const {
    const QFontMetrics fm(font());
    return {fm.horizontalAdvance(FCaption) + 4, fm.height() + 2};
}

void TThemeLabel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setPen(QColor(QStringLiteral("#1f4e79")));
    p.setFont(font());
    p.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter, FCaption);
}

} // namespace torvane
