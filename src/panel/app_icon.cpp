#include "panel/app_icon.h"

#include <QPainter>
#include <QPainterPath>

namespace tolvane {

QImage drawEmblem(int size) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);

    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(Qt::NoPen);

    const QRectF disc(0, 0, size, size);
    painter.setBrush(Qt::black);
    painter.drawEllipse(disc);

    // Sectors 60 degrees wide, centred straight up and at 120 degrees either side of it,
    // inset by one pixel so that the black rim stays visible.
    const QRectF rim = disc.adjusted(1, 1, -1, -1);
    const QPointF centre = disc.center();
    painter.setBrush(QColor(255, 255, 0));
    for (const int middle : {90, 210, 330}) {
        QPainterPath sector;
        sector.moveTo(centre);
        sector.arcTo(rim, middle - 30, 60);
        sector.closeSubpath();
        painter.drawPath(sector);
    }

    // A black hub keeps the sectors apart at the centre.
    const qreal hub = size / 5.0;
    painter.setBrush(Qt::black);
    painter.drawEllipse(centre, hub / 2, hub / 2);
    return image;
}

QIcon appIcon() {
    QIcon icon;
    for (const int size : {32, 16}) {
        icon.addPixmap(QPixmap::fromImage(drawEmblem(size)));
    }
    return icon;
}

}  // namespace tolvane
