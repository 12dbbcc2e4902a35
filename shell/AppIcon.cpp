#include "shell/AppIcon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

// A blue tile holding a white up-arrow over a bar: files going up to a server.
QPixmap Draw(int size) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x1f, 0x5f, 0xa8));
    p.drawRoundedRect(QRectF(0.5, 0.5, s - 1, s - 1), s * 0.18, s * 0.18);
    p.setBrush(Qt::white);
    QPainterPath arrow;
    arrow.moveTo(s * 0.5, s * 0.14);
    arrow.lineTo(s * 0.82, s * 0.48);
    arrow.lineTo(s * 0.61, s * 0.48);
    arrow.lineTo(s * 0.61, s * 0.70);
    arrow.lineTo(s * 0.39, s * 0.70);
    arrow.lineTo(s * 0.39, s * 0.48);
    arrow.lineTo(s * 0.18, s * 0.48);
    arrow.closeSubpath();
    p.drawPath(arrow);
    p.drawRect(QRectF(s * 0.2, s * 0.76, s * 0.6, s * 0.1));
    return pm;
}

}  // namespace

QIcon AppIcon() {
    static const QIcon icon = [] {
        QIcon i;
        i.addPixmap(Draw(16));
        i.addPixmap(Draw(32));
        return i;
    }();
    return icon;
}
