#pragma once

#include "ClassicRandom.h"
#include "MarkupGeometry.h"

#include <array>
#include <cstdint>
#include <vector>

namespace quorvex::markup {

// The background effects; -1 (transparent) is the callers' to skip.
enum class Effect : int {
    Transparent = -1,
    Solid = 0,
    HGradient = 1,
    VGradient = 2,
    HCGradient = 3,
    VCGradient = 4,
    ThreeHGradient = 5,
    ThreeVGradient = 6,
    Noise = 7,
    DiagShade = 8,
    HShade = 9,
    VShade = 10,
    HBump = 11,
    VBump = 12,
    SoftBump = 13,
    HardBump = 14,
    Metal = 15,
};

struct SolidFill {
    Rect rect;
    Colorref color;
};

// An 8-bit palettised picture. Rows are stored top to bottom (row 0 is the top row on screen),
// whatever order they were computed in.
struct IndexedImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;  // width * height, row-major, no padding
    std::array<Colorref, 256> palette{};

    std::uint8_t At(int x, int topRow) const { return pixels[static_cast<std::size_t>(topRow) * width + x]; }
};

// What an effect paints: solid fills (effects 0-6 and unknown indices), or a shading image placed
// at `imageOrigin` (effects 7-15). Empty when nothing is painted.
struct EffectPicture {
    std::vector<SolidFill> fills;
    IndexedImage image;
    Point imageOrigin;

    bool HasImage() const { return image.width > 0 && image.height > 0; }
    bool IsEmpty() const { return fills.empty() && !HasImage(); }
};

// Computes effect `effect` over `rect` with the colours c1 (first), c2 (middle), c3 (last),
// granularity `granularity` (low byte used) and blend `blend` (low byte, at most 100).
// Effects 7-15 take one value of `random` per pixel and pass, in the bottom-up row order of a
// device-independent bitmap; an empty rectangle, or a hardbump narrower than 6 pixels, paints
// nothing.
EffectPicture ComputeEffect(int effect, const Rect& rect, Colorref c1, Colorref c2, Colorref c3, int granularity,
                            int blend, ClassicRandom& random);

// The process-wide generator the drawing code uses, in the state the program started with.
ClassicRandom& SharedEffectRandom();

// The 64-band gradient from `start` to `end` along x (horizontal) or y, appended to `fills`.
void AppendGradient(std::vector<SolidFill>& fills, const Rect& rect, Colorref start, Colorref end, bool horizontal);

// The 256-entry palette of effects 7-15.
std::array<Colorref, 256> EffectPalette(Colorref c1, Colorref c2, Colorref c3, int blend);

}  // namespace quorvex::markup
