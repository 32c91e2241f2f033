#include "mkicons_art.h"

#include <QPainter>
#include <QPainterPath>
#include <QSvgRenderer>

namespace mkicons {

QImage renderSvg(const QString& path, int size) {
    QSvgRenderer renderer(path);
    if (!renderer.isValid()) return {};
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF(0, 0, size, size));
    return image;
}

QImage fillerIcon(int variant, int size) {
    static const QColor marks[] = {
        QColor(128, 0, 0),   QColor(0, 128, 0),   QColor(0, 0, 128), QColor(128, 0, 128),
        QColor(0, 128, 128), QColor(128, 128, 0), QColor(255, 0, 0), QColor(0, 0, 255),
    };
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.scale(size / 32.0, size / 32.0);

    // The sheet, with its top-right corner folded over.
    QPainterPath sheet;
    sheet.moveTo(6.5, 1.5);
    sheet.lineTo(20.5, 1.5);
    sheet.lineTo(26.5, 7.5);
    sheet.lineTo(26.5, 30.5);
    sheet.lineTo(6.5, 30.5);
    sheet.closeSubpath();
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::white);
    p.drawPath(sheet);
    QPainterPath fold;
    fold.moveTo(20.5, 1.5);
    fold.lineTo(20.5, 7.5);
    fold.lineTo(26.5, 7.5);
    p.setBrush(QColor(192, 192, 192));
    p.drawPath(fold);

    // The mark: one of eight shapes in one of eight colours.
    const QColor colour = marks[variant % 8];
    p.setPen(QPen(colour.darker(160), 1));
    p.setBrush(colour);
    const QRectF box(10.5, 12.5, 12, 12);
    switch ((variant / 8) % 8) {
        case 0:
            p.drawEllipse(box);
            break;
        case 1:
            p.drawRect(box);
            break;
        case 2:
            p.drawPolygon(QPolygonF{{16.5, 12.5}, {22.5, 24.5}, {10.5, 24.5}});
            break;
        case 3:
            p.drawPolygon(QPolygonF{{16.5, 12.5}, {22.5, 18.5}, {16.5, 24.5}, {10.5, 18.5}});
            break;
        case 4:
            p.drawRect(QRectF(14.5, 12.5, 4, 12));
            p.drawRect(QRectF(10.5, 16.5, 12, 4));
            break;
        case 5:
            p.drawRect(QRectF(10.5, 12.5, 12, 4));
            p.drawRect(QRectF(10.5, 20.5, 12, 4));
            break;
        case 6:
            p.drawPolygon(QPolygonF{{10.5, 12.5}, {22.5, 12.5}, {16.5, 24.5}});
            break;
        default:
            p.drawEllipse(QRectF(10.5, 12.5, 5, 5));
            p.drawEllipse(QRectF(17.5, 12.5, 5, 5));
            p.drawEllipse(QRectF(14, 19.5, 5, 5));
            break;
    }
    return image;
}

}  // namespace mkicons
