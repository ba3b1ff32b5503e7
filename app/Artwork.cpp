#include "app/Artwork.h"

#include <QLinearGradient>
#include <QPainter>

namespace {
// A subrack front: a dark frame with a row of module fronts, each with a lamp.
void drawRack(QPainter& p, const QRectF& r, int modules) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 44, 52));
    p.drawRoundedRect(r, r.height() * 0.08, r.height() * 0.08);
    const qreal w = (r.width() - 4) / modules;
    for (int i = 0; i < modules; ++i) {
        const QRectF m(r.left() + 2 + i * w + 0.5, r.top() + 2, w - 1, r.height() - 4);
        p.setBrush(QColor(170, 176, 186));
        p.drawRect(m);
        p.setBrush(i % 5 == 3 ? QColor(255, 0, 0) : QColor(0, 200, 0));
        const qreal d = std::max<qreal>(1.5, w * 0.35);
        p.drawEllipse(QPointF(m.center().x(), m.top() + d * 1.4), d / 2, d / 2);
    }
}
} // namespace

QIcon orvexIcon() {
    QIcon icon;
    for (int size : {16, 32, 48}) {
        QPixmap pm(size, size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        drawRack(p, QRectF(0, size * 0.15, size, size * 0.3), 4);
        drawRack(p, QRectF(0, size * 0.55, size, size * 0.3), 4);
        icon.addPixmap(pm);
    }
    return icon;
}

QPixmap orvexPicture() {
    QPixmap pm(200, 80);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 200, 80);
    g.setColorAt(0, QColor(0, 255, 255));
    g.setColorAt(1, QColor(0, 0, 128));
    p.fillRect(pm.rect(), g);
    drawRack(p, QRectF(112, 14, 80, 22), 8);
    drawRack(p, QRectF(112, 44, 80, 22), 8);
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setBold(true);
    f.setPixelSize(26);
    p.setFont(f);
    p.setPen(QColor(0, 0, 64));
    p.drawText(QRect(8, 10, 110, 34), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("ORVEX"));
    f.setPixelSize(14);
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(QRect(10, 44, 100, 24), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("Link"));
    return pm;
}
