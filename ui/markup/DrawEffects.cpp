#include "DrawEffects.h"

#include <algorithm>

namespace quorvex::markup {

namespace {

int Channel(Colorref c, int shift) { return static_cast<int>((c >> shift) & 0xFF); }

Colorref FromChannels(int red, int green, int blue)
{
    return static_cast<Colorref>((red & 0xFF) | ((green & 0xFF) << 8) | ((blue & 0xFF) << 16));
}

int Cube(int t) { return ((t * t * t) / 128) / 128; }

// kMax / size, at least 1, so that images wider than kMax pixels do not divide by zero.
int RandomScale(int size) { return std::max(1, ClassicRandom::kMax / std::max(1, size)); }

// The grain of one pixel: a fresh random value scaled to about -F..+F.
int Grain(ClassicRandom& random, int f) { return random.Next() / (ClassicRandom::kMax / (f != 0 ? 2 * f : 1)) - f; }

// The shading image of effects 7-15, addressed as a device-independent bitmap: row 0 is the bottom.
class Shading {
public:
    Shading(int w, int h) : w_(w), h_(h), values_(static_cast<std::size_t>(w) * h, 0) {}
    int& At(int x, int bottomRow) { return values_[static_cast<std::size_t>(bottomRow) * w_ + x]; }

    IndexedImage ToImage(const std::array<Colorref, 256>& palette) const
    {
        IndexedImage image;
        image.width = w_;
        image.height = h_;
        image.palette = palette;
        image.pixels.resize(values_.size());
        for (int y = 0; y < h_; ++y)
            for (int x = 0; x < w_; ++x)
                image.pixels[static_cast<std::size_t>(h_ - 1 - y) * w_ + x] =
                    static_cast<std::uint8_t>(values_[static_cast<std::size_t>(y) * w_ + x] & 0xFF);
        return image;
    }

private:
    int w_, h_;
    std::vector<int> values_;
};

void ShadeImage(Shading& s, int effect, int w, int h, int f, ClassicRandom& random)
{
    switch (effect) {
    case 7:  // noise
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                s.At(x, y) = Grain(random, f) - 128;
        break;
    case 8: {  // diagshade
        const int n = (255 - 2 * f) / 2;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                s.At(x, y) = (n * (w - x)) / w + (y * n) / h + f + Grain(random, f);
        break;
    }
    case 9:  // hshade
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                s.At(x, y) = (y * (255 - 2 * f)) / h + f + Grain(random, f);
        break;
    case 10:  // vshade
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                s.At(x, y) = ((255 - 2 * f) * (w - x)) / w + f + Grain(random, f);
        break;
    case 11:  // hbump
        for (int y = 0; y < h; ++y) {
            const int t = (255 * y) / h - 127;
            for (int x = 0; x < w; ++x)
                s.At(x, y) = (Cube(t) * (128 - f)) / 128 + 128 + Grain(random, f);
        }
        break;
    case 12:  // vbump
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const int t = (255 * (w - x)) / w - 127;
                s.At(x, y) = (Cube(t) * (128 - f)) / 128 + 128 + Grain(random, f);
            }
        break;
    case 13:  // softbump
        for (int y = 0; y < h; ++y) {
            const int t1 = (255 * y) / h - 127;
            for (int x = 0; x < w; ++x) {
                const int t2 = (255 * (w - x)) / w - 127;
                const int v = std::clamp(((Cube(t2) + Cube(t1)) * (128 - f)) / 128 + 128, f, 255 - f);
                s.At(x, y) = v + Grain(random, f);
            }
        }
        break;
    case 14: {  // hardbump: a vertical bump with bevelled left and right edges
        for (int y = 0; y < h; ++y) {
            const int t = (255 * y) / h - 127;
            for (int x = 0; x < w; ++x)
                s.At(x, y) = (Cube(t) * (64 - f) * 2) / 128 + 128 + Grain(random, f);
        }
        const int k = std::min(w / 6, 16);
        const int halfH = h / 2;
        const long long quarterArea = (static_cast<long long>(h) * h) / 4;
        for (int y = 0; y < h; ++y) {
            const long long bend = (static_cast<long long>(y) * k - static_cast<long long>(halfH) * k) * (y - halfH);
            const int boundary =
                quarterArea != 0 ? static_cast<int>(bend / quarterArea) - k + w / 2 : w / 2 - k;
            for (int x = 0; x < w; ++x) {
                const int d = x - w / 2;
                if (boundary < d)
                    s.At(x, y) = (128 * (w - x)) / k + f;
                if (boundary + d < 0)
                    s.At(x, y) = (255 - f) - (128 * x) / k;
                s.At(x, y) += Grain(random, f);
            }
        }
        break;
    }
    case 15: {  // metal: random diagonal strokes over a diagonal shade
        const int shortSide = std::min(w, h);
        for (int stroke = 0; stroke < 200; ++stroke) {
            const int x0 = random.Next() / RandomScale(w);
            const int y0 = random.Next() / RandomScale(h);
            const int length = (random.Next() / RandomScale(shortSide)) / 2;
            const int shade = random.Next() / 819;
            for (int k = 0; k < length; ++k) {
                // Rows are counted from the top here; the image is stored bottom-up.
                if (x0 - k > 0 && y0 + k < h && x0 - k < w)
                    s.At(x0 - k, h - 1 - (y0 + k)) = shade;
                if (x0 + k < w && y0 - k > 0 && w - x0 + k < w && y0 - k < h)
                    s.At(w - x0 + k, h - 1 - (y0 - k)) = shade;
            }
        }
        const int n = (255 - 2 * f - 40) / 2;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                s.At(x, y) += (n * (w - x)) / w + (y * n) / h + random.Next() / (ClassicRandom::kMax / (f != 0 ? 2 * f : 1));
        break;
    }
    default:
        break;
    }
}

}  // namespace

ClassicRandom& SharedEffectRandom()
{
    static ClassicRandom random;
    return random;
}

void AppendGradient(std::vector<SolidFill>& fills, const Rect& rect, Colorref start, Colorref end, bool horizontal)
{
    const int origin = horizontal ? rect.left : rect.top;
    const int length = horizontal ? rect.Width() : rect.Height();
    for (int i = 0; i < 64; ++i) {
        const int from = origin + (i * length) / 64;
        const int to = origin + ((i + 1) * length) / 64;
        if (to <= from)
            continue;
        int channels[3];
        for (int c = 0; c < 3; ++c) {
            const int s = Channel(start, 8 * c), e = Channel(end, 8 * c);
            channels[c] = (64 * s + i * (e - s)) >> 6;
        }
        const Rect band = horizontal ? Rect{from, rect.top, to, rect.bottom} : Rect{rect.left, from, rect.right, to};
        fills.push_back({band, FromChannels(channels[0], channels[1], channels[2])});
    }
}

std::array<Colorref, 256> EffectPalette(Colorref c1, Colorref c2, Colorref c3, int blend)
{
    std::array<Colorref, 256> palette{};
    for (int i = 0; i <= 128; ++i) {
        int ch[3];
        for (int c = 0; c < 3; ++c)
            ch[c] = (Channel(c3, 8 * c) * (128 - i) + Channel(c2, 8 * c) * i) / 128;
        palette[static_cast<std::size_t>(i)] = FromChannels(ch[0], ch[1], ch[2]);
    }
    for (int j = 1; j <= 128; ++j) {
        int ch[3];
        for (int c = 0; c < 3; ++c)
            ch[c] = (Channel(c1, 8 * c) * j + Channel(c2, 8 * c) * (128 - j)) / 128;
        palette[static_cast<std::size_t>(127 + j)] = FromChannels(ch[0], ch[1], ch[2]);
    }
    const int b = std::min(blend & 0xFF, 100);
    for (Colorref& entry : palette) {
        int ch[3];
        for (int c = 0; c < 3; ++c)
            ch[c] = (Channel(c1, 8 * c) * b + Channel(entry, 8 * c) * (100 - b)) / 100;
        entry = FromChannels(ch[0], ch[1], ch[2]);
    }
    return palette;
}

EffectPicture ComputeEffect(int effect, const Rect& rect, Colorref c1, Colorref c2, Colorref c3, int granularity,
                            int blend, ClassicRandom& random)
{
    EffectPicture picture;
    const int w = rect.Width();
    const int h = rect.Height();
    if (w <= 0 || h <= 0)
        return picture;
    const int f = granularity & 0xFF;

    switch (effect) {
    case 1:
        AppendGradient(picture.fills, rect, c1, c3, true);
        return picture;
    case 2:
        AppendGradient(picture.fills, rect, c1, c3, false);
        return picture;
    case 3:
    case 5: {
        const int split = rect.left + w / 2;
        AppendGradient(picture.fills, {rect.left, rect.top, split, rect.bottom}, c1, effect == 3 ? c3 : c2, true);
        AppendGradient(picture.fills, {split, rect.top, rect.right, rect.bottom}, effect == 3 ? c3 : c2,
                       effect == 3 ? c1 : c3, true);
        return picture;
    }
    case 4:
    case 6: {
        const int split = rect.top + h / 2;
        AppendGradient(picture.fills, {rect.left, rect.top, rect.right, split}, c1, effect == 4 ? c3 : c2, false);
        AppendGradient(picture.fills, {rect.left, split, rect.right, rect.bottom}, effect == 4 ? c3 : c2,
                       effect == 4 ? c1 : c3, false);
        return picture;
    }
    default:
        break;
    }
    if (effect < 7 || effect > 15) {  // solid, and any index outside 0-15
        picture.fills.push_back({rect, c1});
        return picture;
    }
    if (effect == 14 && w < 6)
        return picture;

    Shading shading(w, h);
    ShadeImage(shading, effect, w, h, f, random);
    picture.image = shading.ToImage(EffectPalette(c1, c2, c3, blend));
    picture.imageOrigin = {rect.left, rect.top};
    return picture;
}

}  // namespace quorvex::markup
