#include "FakeMarkupCanvas.h"

namespace quorvex::markup {

int CodePointCount(std::string_view text)
{
    int count = 0;
    for (const char c : text)
        count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return count;
}

FontMetrics FakeMarkupCanvas::Metrics()
{
    FontMetrics metrics;
    metrics.height = font_.cellHeight;
    metrics.ascent = font_.cellHeight * 3 / 4;
    metrics.descent = metrics.height - metrics.ascent;
    metrics.xHeight = font_.cellHeight / 2;
    return metrics;
}

int FakeMarkupCanvas::TextWidth(std::string_view text)
{
    return CodePointCount(text) * CharWidth(font_.cellHeight);
}

void FakeMarkupCanvas::DrawText(int x, int y, std::string_view text, Colorref color,
                                std::optional<Colorref> background)
{
    texts.push_back({x, y, std::string(text), color, background, font_});
}

void FakeMarkupCanvas::DrawLine(Point from, Point to, Colorref color, int width, PenStyle style)
{
    lines.push_back({from, to, color, width, style});
}

void FakeMarkupCanvas::FillRect(const Rect& rect, Colorref color)
{
    rects.push_back({rect, color});
}

void FakeMarkupCanvas::DrawImage(const Rect& target, const ArgbImage& image)
{
    images.push_back({target, image});
}

void FakeMarkupCanvas::DrawIndexedImage(Point origin, const IndexedImage& image)
{
    indexedImages.push_back({origin, image.width, image.height});
}

void FakeMarkupCanvas::ClearCalls()
{
    texts.clear();
    lines.clear();
    rects.clear();
    images.clear();
    indexedImages.clear();
}

void PaintEffect(MarkupCanvas& canvas, const EffectPicture& picture)
{
    for (const SolidFill& fill : picture.fills)
        canvas.FillRect(fill.rect, fill.color);
    if (picture.HasImage())
        canvas.DrawIndexedImage(picture.imageOrigin, picture.image);
}

}  // namespace quorvex::markup
