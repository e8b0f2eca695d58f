#include "MarkupImages.h"

#include <algorithm>

namespace quorvex::markup {

namespace {
std::uint32_t Pack(int a, int r, int g, int b)
{
    return (static_cast<std::uint32_t>(a) << 24) | (static_cast<std::uint32_t>(r) << 16) |
           (static_cast<std::uint32_t>(g) << 8) | static_cast<std::uint32_t>(b);
}
}  // namespace

ArgbImage ApplyImageStyle(const ArgbImage& image, std::string_view letters, std::optional<Colorref> mask)
{
    const bool grey = letters.find('g') != std::string_view::npos;
    const bool darker = letters.find('d') != std::string_view::npos;
    const bool lighter = letters.find('l') != std::string_view::npos;
    ArgbImage out = image;
    for (std::uint32_t& pixel : out.pixels) {
        int a = static_cast<int>(pixel >> 24), r = static_cast<int>((pixel >> 16) & 0xFF),
            g = static_cast<int>((pixel >> 8) & 0xFF), b = static_cast<int>(pixel & 0xFF);
        if (mask && MakeColorref(r, g, b) == *mask) {
            pixel = 0;
            continue;
        }
        if (grey) {
            const int v = (299 * r + 587 * g + 114 * b) / 1000;
            r = g = b = v;
        }
        if (darker) {
            r = r * 3 / 4;
            g = g * 3 / 4;
            b = b * 3 / 4;
        }
        if (lighter) {
            r = std::min(255, r * 5 / 4);
            g = std::min(255, g * 5 / 4);
            b = std::min(255, b * 5 / 4);
        }
        pixel = Pack(a, r, g, b);
    }
    return out;
}

ShadowImage MakeShadow(const ArgbImage& image, Colorref color, bool soft, int blurX, int blurY)
{
    const int rx = soft ? std::clamp(blurX, 1, 64) / 2 : 0;
    const int ry = soft ? std::clamp(blurY, 1, 64) / 2 : 0;
    const int w = image.width + 2 * rx, h = image.height + 2 * ry;
    std::vector<int> alpha(static_cast<std::size_t>(w) * h, 0);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            alpha[static_cast<std::size_t>(y + ry) * w + (x + rx)] = static_cast<int>(image.At(x, y) >> 24);
    if (soft) {
        // A separable box blur: rows, then columns.
        std::vector<int> tmp(alpha.size(), 0);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                int sum = 0;
                for (int k = -rx; k <= rx; ++k)
                    if (x + k >= 0 && x + k < w)
                        sum += alpha[static_cast<std::size_t>(y) * w + (x + k)];
                tmp[static_cast<std::size_t>(y) * w + x] = sum / (2 * rx + 1);
            }
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                int sum = 0;
                for (int k = -ry; k <= ry; ++k)
                    if (y + k >= 0 && y + k < h)
                        sum += tmp[static_cast<std::size_t>(y + k) * w + x];
                alpha[static_cast<std::size_t>(y) * w + x] = sum / (2 * ry + 1);
            }
    }
    ShadowImage shadow;
    shadow.image.width = w;
    shadow.image.height = h;
    shadow.image.pixels.resize(alpha.size());
    for (std::size_t i = 0; i < alpha.size(); ++i)
        shadow.image.pixels[i] = Pack(alpha[i], RedOf(color), GreenOf(color), BlueOf(color));
    shadow.offset = {-rx, -ry};
    return shadow;
}

ArgbImage StripFrame(const ArgbImage& strip, int frameWidth, int frameHeight, int index)
{
    ArgbImage frame;
    if (frameWidth <= 0 || frameHeight <= 0 || index < 0 || frameWidth > strip.width || frameHeight > strip.height)
        return frame;
    const int perRow = strip.width / frameWidth;
    const int rows = strip.height / frameHeight;
    if (index >= perRow * rows)
        return frame;
    const int left = (index % perRow) * frameWidth, top = (index / perRow) * frameHeight;
    frame.width = frameWidth;
    frame.height = frameHeight;
    frame.pixels.reserve(static_cast<std::size_t>(frameWidth) * frameHeight);
    for (int y = 0; y < frameHeight; ++y)
        for (int x = 0; x < frameWidth; ++x)
            frame.pixels.push_back(strip.At(left + x, top + y));
    return frame;
}

}  // namespace quorvex::markup
