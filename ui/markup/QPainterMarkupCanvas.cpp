#include "QPainterMarkupCanvas.h"

#include <QImage>
#include <QPaintDevice>
#include <QPen>
#include <algorithm>
#include <mutex>

namespace quorvex::markup {

QColor ToQColor(Colorref color)
{
    return QColor(RedOf(color), GreenOf(color), BlueOf(color));
}

QFont QPainterMarkupCanvas::FontFor(const FontSpec& requested)
{
    // Fonts are made on the UI thread only; the cache spares the search on every selection.
    static std::map<std::pair<std::string, int>, int> pixelSizeFor;
    QFont font(QString::fromStdString(requested.face));
    font.setWeight(static_cast<QFont::Weight>(std::clamp(requested.weight, 1, 1000)));
    font.setItalic(requested.italic);
    font.setUnderline(requested.underline);
    font.setStrikeOut(requested.strikeout);
    const int wanted = std::max(1, requested.cellHeight);
    const auto key = std::make_pair(requested.face + (requested.weight >= 600 ? "/b" : "") + (requested.italic ? "/i" : ""), wanted);
    if (const auto it = pixelSizeFor.find(key); it != pixelSizeFor.end()) {
        font.setPixelSize(it->second);
        return font;
    }
    int pixelSize = wanted;
    for (int attempt = 0; attempt < 4; ++attempt) {
        font.setPixelSize(pixelSize);
        const int cell = QFontMetrics(font).ascent() + QFontMetrics(font).descent();
        if (cell == wanted || cell <= 0)
            break;
        const int next = std::max(1, pixelSize * wanted / cell);
        if (next == pixelSize)
            break;
        pixelSize = next;
    }
    // Never exceed the wanted cell: step down while the font is still too tall.
    while (pixelSize > 1) {
        font.setPixelSize(pixelSize);
        if (QFontMetrics(font).ascent() + QFontMetrics(font).descent() <= wanted)
            break;
        --pixelSize;
    }
    font.setPixelSize(pixelSize);
    pixelSizeFor[key] = pixelSize;
    return font;
}

QPainterMarkupCanvas::QPainterMarkupCanvas(QPainter& painter) : painter_(painter)
{
    SetFont(FontSpec{});
}

void QPainterMarkupCanvas::SetFont(const FontSpec& font)
{
    font_ = FontFor(font);
    painter_.setFont(font_);
    metrics_ = std::make_unique<QFontMetrics>(font_, painter_.device());
}

FontMetrics QPainterMarkupCanvas::Metrics()
{
    FontMetrics m;
    m.ascent = metrics_->ascent();
    m.descent = metrics_->descent();
    m.height = m.ascent + m.descent;
    m.xHeight = metrics_->xHeight();
    return m;
}

int QPainterMarkupCanvas::TextWidth(std::string_view text)
{
    return metrics_->horizontalAdvance(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

void QPainterMarkupCanvas::DrawText(int x, int y, std::string_view text, Colorref color,
                                    std::optional<Colorref> background)
{
    const QString string = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    if (background)
        painter_.fillRect(QRect(x, y, metrics_->horizontalAdvance(string), metrics_->ascent() + metrics_->descent()),
                          ToQColor(*background));
    painter_.setPen(ToQColor(color));
    painter_.drawText(QPoint(x, y + metrics_->ascent()), string);
}

void QPainterMarkupCanvas::DrawLine(Point from, Point to, Colorref color, int width, PenStyle style)
{
    QPen pen(ToQColor(color));
    pen.setWidth(std::max(1, width));
    pen.setCapStyle(Qt::FlatCap);
    pen.setStyle(style == PenStyle::Dashed ? Qt::DashLine : style == PenStyle::Dotted ? Qt::DotLine : Qt::SolidLine);
    painter_.setPen(pen);
    painter_.drawLine(QPoint(from.x, from.y), QPoint(to.x, to.y));
}

void QPainterMarkupCanvas::FillRect(const Rect& rect, Colorref color)
{
    painter_.fillRect(QRect(rect.left, rect.top, rect.Width(), rect.Height()), ToQColor(color));
}

void QPainterMarkupCanvas::DrawImage(const Rect& target, const ArgbImage& image)
{
    if (image.IsEmpty() || target.IsEmpty())
        return;
    const QImage picture(reinterpret_cast<const uchar*>(image.pixels.data()), image.width, image.height,
                         image.width * 4, QImage::Format_ARGB32);
    painter_.drawImage(QRect(target.left, target.top, target.Width(), target.Height()), picture);
}

void QPainterMarkupCanvas::DrawIndexedImage(Point origin, const IndexedImage& image)
{
    if (image.width <= 0 || image.height <= 0)
        return;
    QImage picture(image.pixels.data(), image.width, image.height, image.width, QImage::Format_Indexed8);
    QList<QRgb> table;
    table.reserve(256);
    for (Colorref c : image.palette)
        table.push_back(qRgb(RedOf(c), GreenOf(c), BlueOf(c)));
    picture.setColorTable(table);
    painter_.drawImage(QPoint(origin.x, origin.y), picture);
}

int QPainterMarkupCanvas::DpiY()
{
    return painter_.device() ? painter_.device()->logicalDpiY() : 96;
}

}  // namespace quorvex::markup
