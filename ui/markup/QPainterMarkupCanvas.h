#pragma once

#include "MarkupCanvas.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <map>
#include <memory>

namespace quorvex::markup {

QColor ToQColor(Colorref color);

// Draws markup with a QPainter. A font's size is its cell height (ascent + descent), so the pixel
// size Qt is asked for is adjusted until the metrics give that height; the named face is
// requested and the system substitutes.
class QPainterMarkupCanvas final : public MarkupCanvas {
public:
    explicit QPainterMarkupCanvas(QPainter& painter);

    void SetFont(const FontSpec& font) override;
    FontMetrics Metrics() override;
    int TextWidth(std::string_view text) override;
    void DrawText(int x, int y, std::string_view text, Colorref color, std::optional<Colorref> background) override;
    void DrawLine(Point from, Point to, Colorref color, int width, PenStyle style) override;
    void FillRect(const Rect& rect, Colorref color) override;
    void DrawImage(const Rect& target, const ArgbImage& image) override;
    void DrawIndexedImage(Point origin, const IndexedImage& image) override;
    int DpiY() override;

    // The QFont whose ascent + descent is `requested.cellHeight`.
    static QFont FontFor(const FontSpec& requested);

private:
    QPainter& painter_;
    QFont font_;
    std::unique_ptr<QFontMetrics> metrics_;
};

}  // namespace quorvex::markup
