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
