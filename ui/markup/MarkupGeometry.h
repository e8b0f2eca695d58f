#pragma once

#include <cstdint>

namespace quorvex::markup {

// A colour as 0x00BBGGRR: red in the low byte, as the markup's numeric colours are written.
using Colorref = std::uint32_t;

constexpr Colorref MakeColorref(int red, int green, int blue)
{
    return static_cast<Colorref>((red & 0xFF) | ((green & 0xFF) << 8) | ((blue & 0xFF) << 16));
}
constexpr int RedOf(Colorref c) { return static_cast<int>(c & 0xFF); }
constexpr int GreenOf(Colorref c) { return static_cast<int>((c >> 8) & 0xFF); }
constexpr int BlueOf(Colorref c) { return static_cast<int>((c >> 16) & 0xFF); }

struct Point {
    int x = 0;
    int y = 0;
};

struct Size {
    int width = 0;
    int height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

// left/top inclusive, right/bottom exclusive: width = right - left.
struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool IsEmpty() const { return right <= left || bottom <= top; }
    friend bool operator==(const Rect&, const Rect&) = default;
};

}  // namespace quorvex::markup
