#include "app/JetControls.h"

#include <QEnterEvent>
#include <QFontMetrics>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

namespace torvane {

namespace {

constexpr int BoxSize = 13;
constexpr int TextGap = 6;

} // namespace

TJetButton::TJetButton(QWidget* parent) : QAbstractButton(parent) {
    setCursor(Qt::PointingHandCursor);
}

QSize TJetButton::sizeHint() const {
    const QFontMetrics fm(font());
    return {fm.horizontalAdvance(text()) + 24, fm.height() + 12};
}

void TJetButton::enterEvent(QEnterEvent* event) {
    FHot = true;
    update();
    QAbstractButton::enterEvent(event);
}

void TJetButton::leaveEvent(QEvent* event) {
    FHot = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void TJetButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QColor top(QStringLiteral("#5b9bd5"));
    QColor bottom(QStringLiteral("#2e6aa8"));
    if (!isEnabled()) {
        top = bottom = QColor(QStringLiteral("#b8b8b8"));
    } else if (isDown()) {
        std::swap(top, bottom);
    } else if (FHot) {
        top = top.lighter(112);
        bottom = bottom.lighter(112);
    }
    QLinearGradient fill(r.topLeft(), r.bottomLeft());
    fill.setColorAt(0, top);
    fill.setColorAt(1, bottom);
    QPainterPath path;
    path.addRoundedRect(r, 4, 4);
    p.fillPath(path, fill);
    p.setPen(bottom.darker(130));
    p.drawPath(path);
    p.setPen(Qt::white);
    p.drawText(rect(), Qt::AlignCenter | Qt::TextShowMnemonic, text());
    if (hasFocus()) {
        p.setPen(QPen(Qt::white, 1, Qt::DotLine));
        p.drawRoundedRect(r.adjusted(3, 3, -3, -3), 3, 3);
    }
}

TJetCheckbox::TJetCheckbox(QWidget* parent) : QAbstractButton(parent) {
    setCheckable(true);
}

QSize TJetCheckbox::sizeHint() const {
    const QFontMetrics fm(font());
    return {BoxSize + TextGap + fm.horizontalAdvance(text()) + 2,
            std::max(BoxSize, fm.height()) + 4};
}

void TJetCheckbox::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box(1.5, (height() - BoxSize) / 2.0, BoxSize, BoxSize);
    const QColor frame = isEnabled() ? QColor(QStringLiteral("#2e6aa8")) : QColor(Qt::gray);
    p.setPen(frame);
    p.setBrush(Qt::white);
    p.drawRoundedRect(box, 2, 2);
    if (isChecked()) {
        p.setPen(QPen(frame, 2));
        QPainterPath tick;
        tick.moveTo(box.left() + 3, box.center().y());
        tick.lineTo(box.left() + 5.5, box.bottom() - 3);
        tick.lineTo(box.right() - 2.5, box.top() + 3);
        p.setBrush(Qt::NoBrush);
        p.drawPath(tick);
    }
    p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                             QPalette::WindowText));
    const QRect textRect(BoxSize + TextGap, 0, width() - BoxSize - TextGap, height());
    p.drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextShowMnemonic, text());
}

} // namespace torvane
