#include "ThumbnailTile.h"

#include <QPainter>

namespace quorvex::preview {

QRect FittedTileRect(std::uint32_t width, std::uint32_t height)
{
    if (width == 0 || height == 0)
        return {};
    const double ratio = static_cast<double>(height) / static_cast<double>(width);
    if (ratio > 1.0) {
        const int w = static_cast<int>(kTileSize / ratio);
        return QRect((kTileSize - w) / 2, 0, w, kTileSize);
    }
    const int h = static_cast<int>(ratio * kTileSize);
    return QRect(0, (kTileSize - h) / 2, kTileSize, h);
}

QImage MakeTile(const DecodedImage& picture)
{
    QImage tile(kTileSize, kTileSize, QImage::Format_RGB888);
    tile.fill(Qt::white);
    const QRect fitted = FittedTileRect(picture.GetWidth(), picture.GetHeight());
    if (!fitted.isEmpty())
        picture.Stretch(tile, fitted.x(), fitted.y(), fitted.width(), fitted.height());
    QPainter painter(&tile);
    painter.setPen(QColor(0xC0, 0xC0, 0xC0));
    painter.drawRect(0, 0, kTileSize - 1, kTileSize - 1);
    return tile;
}

}  // namespace quorvex::preview

namespace quorvex::preview {

void DrawVerdictMark(QImage& tile, Verdict verdict)
{
    if (verdict == Verdict::None)
        return;
    QPainter painter(&tile);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF badge(kTileSize - 20, kTileSize - 20, 16, 16);
    const QColor fill = verdict == Verdict::Complete      ? QColor(0x2E, 0x9E, 0x44)
                        : verdict == Verdict::Reassembled ? QColor(0x2A, 0x7F, 0xC9)
                        : verdict == Verdict::Damaged     ? QColor(0xE8, 0x9A, 0x10)
                                                          : QColor(0xD0, 0x30, 0x30);
    painter.setPen(QPen(Qt::white, 1.5));
    painter.setBrush(fill);
    painter.drawEllipse(badge);
    painter.setPen(QPen(Qt::white, 2.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    const QPointF c = badge.center();
    if (verdict == Verdict::Complete || verdict == Verdict::Reassembled) {
        const QPointF tick[] = {c + QPointF(-4, 0), c + QPointF(-1, 3), c + QPointF(4, -3)};
        painter.drawPolyline(tick, 3);
    } else if (verdict == Verdict::Damaged) {
        painter.drawLine(c + QPointF(0, -4), c + QPointF(0, 1));
        painter.drawPoint(c + QPointF(0, 4));
    } else {
        for (int dx : {-4, 0, 4})
            painter.drawPoint(c + QPointF(dx, 0));
    }
}

}  // namespace quorvex::preview
