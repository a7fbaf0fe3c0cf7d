#include "app/Logo.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>

namespace torvane {

namespace {

// A camera lens: rings of blue around a dark pupil with a highlight.
void DrawLens(QPainter& p, const QRectF& r) {
    QLinearGradient ring(r.topLeft(), r.bottomRight());
    ring.setColorAt(0, QColor(QStringLiteral("#5b9bd5")));
    ring.setColorAt(1, QColor(QStringLiteral("#1f4e79")));
    p.setPen(Qt::NoPen);
    p.setBrush(ring);
    p.drawEllipse(r);
    const QRectF inner = r.adjusted(r.width() * 0.22, r.height() * 0.22, -r.width() * 0.22,
                                    -r.height() * 0.22);
    p.setBrush(QColor(QStringLiteral("#0d1b2a")));
    p.drawEllipse(inner);
    p.setBrush(QColor(255, 255, 255, 190));
    p.drawEllipse(QRectF(inner.left() + inner.width() * 0.2, inner.top() + inner.height() * 0.2,
                         inner.width() * 0.28, inner.height() * 0.28));
}

} // namespace

QPixmap MakeLogo(QSize size) {
    QPixmap pixmap(size);
    pixmap.fill(Qt::white);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal h = size.height();
    DrawLens(p, QRectF(4, h * 0.1, h * 0.8, h * 0.8));
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setBold(true);
    font.setPixelSize(static_cast<int>(h * 0.42));
    p.setFont(font);
    p.setPen(QColor(QStringLiteral("#1f4e79")));
    p.drawText(QRectF(h * 0.95, 0, size.width() - h, h), Qt::AlignVCenter | Qt::AlignLeft,
               QStringLiteral("TORVANE"));
    return pixmap;
}

QIcon MakeWindowIcon() {
    // Installed, the program has its mark in the icon theme (the desktop entry's icon);
    // run from a build folder it draws the lens.
    const QIcon installed = QIcon::fromTheme(QStringLiteral("torvane"));
    if (!installed.isNull()) {
        return installed;
    }
    QIcon icon;
    for (const int side : {16, 32, 48}) {
        QPixmap pixmap(side, side);
        pixmap.fill(Qt::transparent);
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        DrawLens(p, QRectF(1, 1, side - 2, side - 2));
        p.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace torvane
