#pragma once

#include "DrawEffects.h"
#include "MarkupGeometry.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvex::markup {

// A font as the markup asks for it. `cellHeight` is the font's ascent + descent in pixels.
struct FontSpec {
    int cellHeight = 16;
    int weight = 400;
    bool italic = false;
    bool underline = false;
    bool strikeout = false;
    std::string face = "Verdana";
    friend bool operator==(const FontSpec&, const FontSpec&) = default;
};

struct FontMetrics {
    int height = 16;  // ascent + descent
    int ascent = 12;
    int descent = 4;
    int xHeight = 8;
};

// A picture with 8-bit alpha, 0xAARRGGBB per pixel, rows top to bottom.
struct ArgbImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;

    bool IsEmpty() const { return width <= 0 || height <= 0; }
    std::uint32_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

enum class PenStyle { Solid, Dashed, Dotted };

// What the markup draws on. One adapter paints with QPainter; a fake with fixed metrics records
// the calls so that layout can be tested to the pixel.
class MarkupCanvas {
public:
    virtual ~MarkupCanvas() = default;

    virtual void SetFont(const FontSpec& font) = 0;
    virtual FontMetrics Metrics() = 0;
    // The advance width of a UTF-8 text in the current font.
    virtual int TextWidth(std::string_view text) = 0;
    // Draws text with its cell's top-left corner at (x, y); with a background, the cell is filled
    // first. Underline and strikeout come from the font.
    virtual void DrawText(int x, int y, std::string_view text, Colorref color,
                          std::optional<Colorref> background) = 0;
    virtual void DrawLine(Point from, Point to, Colorref color, int width, PenStyle style) = 0;
    virtual void FillRect(const Rect& rect, Colorref color) = 0;
    // Draws `image` stretched into `target`, blending by its alpha.
    virtual void DrawImage(const Rect& target, const ArgbImage& image) = 0;
    virtual void DrawIndexedImage(Point origin, const IndexedImage& image) = 0;
    // Vertical resolution in dots per inch, for lengths in in, cm, mm, pt and pc.
    virtual int DpiY() = 0;
};

// Paints an effect picture: its fills, then its shading image.
void PaintEffect(MarkupCanvas& canvas, const EffectPicture& picture);

}  // namespace quorvex::markup
