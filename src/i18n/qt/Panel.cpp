#include "i18n/qt/Panel.h"

#include <QPainter>

namespace torvane {

TPanel::TPanel(QWidget* parent) : QFrame(parent) {
    setAutoFillBackground(true);
}

void TPanel::SetCaption(const QString& caption) {
    if (caption != FCaption) {
        FCaption = caption;
        update();
    }
}

void TPanel::paintEvent(QPaintEvent* event) {
    QFrame::paintEvent(event);
    if (FCaption.isEmpty()) {
        return;
    }
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.setFont(font());
    painter.drawText(contentsRect().adjusted(4, 2, -4, -2),
                     Qt::AlignCenter | Qt::TextWordWrap, FCaption);
}

} // namespace torvane
