#include "BmpFormat.h"

#include <array>
#include <cstring>

namespace quorvex {

namespace {

constexpr std::uint32_t kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kAlphaBitFields = 6;
// Larger than any bitmap a camera or an editor writes, and small enough that no size computed
// from these fields overflows.
constexpr std::uint32_t kMaxDimension = 1u << 20;

std::uint32_t Le32(const unsigned char* p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::uint16_t Le16(const unsigned char* p)
{
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

struct BmpLayout {
    std::uint32_t fileSize = 0;
    std::uint32_t pixelOffset = 0;
    std::uint32_t compression = kRgb;
    std::uint64_t width = 0, height = 0;
    std::uint32_t bitsPerPixel = 0;
    std::uint32_t imageSize = 0;  // biSizeImage: may be 0 for uncompressed bitmaps
};

// The header's fields, when they agree with each other.
std::optional<BmpLayout> ReadLayout(const unsigned char* h)
{
    if (h[0] != 'B' || h[1] != 'M' || Le32(h + 6) != 0)
        return std::nullopt;
    BmpLayout layout;
    layout.fileSize = Le32(h + 2);
    layout.pixelOffset = Le32(h + 10);
    const std::uint32_t dibSize = Le32(h + 14);
    std::uint16_t planes = 0;
    std::int64_t height = 0;
    if (dibSize == 12) {
        layout.width = Le16(h + 18);
        height = Le16(h + 20);
        planes = Le16(h + 22);
        layout.bitsPerPixel = Le16(h + 24);
    } else if (dibSize == 40 || dibSize == 52 || dibSize == 56 || dibSize == 64 || dibSize == 108 || dibSize == 124) {
        const auto width = static_cast<std::int32_t>(Le32(h + 18));
        if (width <= 0)
            return std::nullopt;
        layout.width = static_cast<std::uint64_t>(width);
        height = static_cast<std::int32_t>(Le32(h + 22));
        planes = Le16(h + 26);
        layout.bitsPerPixel = Le16(h + 28);
        layout.compression = Le32(h + 30);
        layout.imageSize = Le32(h + 34);
    } else {
        return std::nullopt;
    }
    const bool topDown = height < 0;
    layout.height = static_cast<std::uint64_t>(topDown ? -height : height);
    if (planes != 1 || layout.width == 0 || layout.height == 0 || layout.width > kMaxDimension ||
        layout.height > kMaxDimension)
        return std::nullopt;
    const std::uint32_t bpp = layout.bitsPerPixel;
    switch (layout.compression) {
    case kRgb:
        if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32)
            return std::nullopt;
        break;
    case kRle8:
    case kRle4:
        if (bpp != (layout.compression == kRle8 ? 8u : 4u) || topDown || layout.imageSize == 0)
            return std::nullopt;
        break;
    case kBitFields:
    case kAlphaBitFields:
        if (bpp != 16 && bpp != 32)
            return std::nullopt;
        break;
    default:
        return std::nullopt;
    }
    // The pixel data starts after both headers (and any colour table or masks) and inside the file.
    if (layout.pixelOffset < 14 + dibSize || layout.pixelOffset >= layout.fileSize)
        return std::nullopt;
    const std::uint64_t available = layout.fileSize - layout.pixelOffset;
    if (layout.compression == kRle8 || layout.compression == kRle4)
        return layout.imageSize <= available ? std::optional(layout) : std::nullopt;
    const std::uint64_t rowBytes = (layout.width * bpp + 31) / 32 * 4;
    const std::uint64_t pixelBytes = rowBytes * layout.height;
    // The pixel array fills the rest of the file; writers pad it by at most a few bytes.
    if (pixelBytes > available || available - pixelBytes > 4)
        return std::nullopt;
    if (layout.imageSize != 0 && layout.imageSize != pixelBytes && layout.imageSize != available)
        return std::nullopt;
    return layout;
}

// Follows the RLE codes of the pixel data to the end-of-bitmap code; false when a code would
// leave the picture or the data ends first.
bool RleDataHoldsTogether(ByteSource& file, const BmpLayout& layout)
{
    const bool four = layout.compression == kRle4;
    std::uint64_t x = 0, y = 0;
    std::uint64_t pos = layout.pixelOffset;
    const std::uint64_t end = static_cast<std::uint64_t>(layout.pixelOffset) + layout.imageSize;
    SequentialBytes bytes(file);
    auto next = [&]() -> int {
        if (pos >= end)
            return -1;
        const auto window = bytes.From(pos++);
        return window.empty() ? -1 : window[0];
    };
    for (;;) {
        const int count = next(), value = next();
        if (count < 0 || value < 0)
            return false;
        if (count > 0) {
            x += static_cast<std::uint64_t>(count);
            if (x > layout.width)
                return false;
            continue;
        }
        if (value == 0) {  // end of line
            x = 0;
            if (++y > layout.height)
                return false;
        } else if (value == 1) {  // end of bitmap
            return true;
        } else if (value == 2) {  // delta
            const int dx = next(), dy = next();
            if (dx < 0 || dy < 0)
                return false;
            x += static_cast<std::uint64_t>(dx);
            y += static_cast<std::uint64_t>(dy);
            if (x > layout.width || y > layout.height)
                return false;
        } else {  // an absolute run of `value` pixels, padded to a whole word
            x += static_cast<std::uint64_t>(value);
            if (x > layout.width)
                return false;
            const int bytesOfRun = four ? (value + 1) / 2 : value;
            const int padded = (bytesOfRun + 1) & ~1;
            for (int i = 0; i < padded; ++i)
                if (next() < 0)
                    return false;
        }
    }
}

}  // namespace

bool LooksLikeBmpStart(const unsigned char* sector)
{
    return ReadLayout(sector).has_value();
}

FormatWalk WalkBmp(ByteSource& file)
{
    std::array<unsigned char, 64> head{};
    if (!ReadExactly(file, 0, head))
        return NotRecognised();
    const auto layout = ReadLayout(head.data());
    if (!layout)
        return NotRecognised();
    FormatWalk walk;
    walk.recognised = true;
    walk.token = "BMP";
    if (layout->fileSize > file.Size()) {
        walk.end = WalkEnd::OutOfBound;
        walk.length = file.Size();
        return walk;
    }
    walk.end = WalkEnd::Closed;
    walk.length = layout->fileSize;
    if (layout->compression == kRle8 || layout->compression == kRle4)
        walk.decoded = RleDataHoldsTogether(file, *layout) ? DecodeResult::Clean : DecodeResult::Faulty;
    return walk;
}

}  // namespace quorvex
