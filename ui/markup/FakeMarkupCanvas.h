#pragma once

#include "MarkupCanvas.h"

#include <vector>

namespace quorvex::markup {

// A canvas with fixed metrics, for exact layout tests and fuzzing: every character (UTF-8 code
// point) is half the font's cell height wide (at least 1), the ascent is three quarters of the
// height and the x-height half of it; 96 dpi. Every drawing call is recorded.
class FakeMarkupCanvas final : public MarkupCanvas {
public:
    struct TextCall {
        int x, y;
        std::string text;
        Colorref color;
        std::optional<Colorref> background;
        FontSpec font;
    };
    struct LineCall {
        Point from, to;
        Colorref color;
        int width;
        PenStyle style;
    };
    struct RectCall {
        Rect rect;
        Colorref color;
    };
    struct ImageCall {
        Rect target;
        ArgbImage image;
    };
    struct IndexedImageCall {
        Point origin;
        int width, height;
    };

    static int CharWidth(int cellHeight) { return cellHeight / 2 > 0 ? cellHeight / 2 : 1; }

    void SetFont(const FontSpec& font) override { font_ = font; }
    FontMetrics Metrics() override;
    int TextWidth(std::string_view text) override;
    void DrawText(int x, int y, std::string_view text, Colorref color, std::optional<Colorref> background) override;
    void DrawLine(Point from, Point to, Colorref color, int width, PenStyle style) override;
    void FillRect(const Rect& rect, Colorref color) override;
    void DrawImage(const Rect& target, const ArgbImage& image) override;
    void DrawIndexedImage(Point origin, const IndexedImage& image) override;
    int DpiY() override { return 96; }

    const FontSpec& Font() const { return font_; }
    void ClearCalls();

    std::vector<TextCall> texts;
    std::vector<LineCall> lines;
    std::vector<RectCall> rects;
    std::vector<ImageCall> images;
    std::vector<IndexedImageCall> indexedImages;

private:
    FontSpec font_;
};

// The number of UTF-8 code points in `text`.
int CodePointCount(std::string_view text);

}  // namespace quorvex::markup
