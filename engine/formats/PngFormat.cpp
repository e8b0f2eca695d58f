#include "PngFormat.h"

#include <array>
#include <cstring>
#include <zlib.h>

namespace quorvex {

namespace {

constexpr unsigned char kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
constexpr std::uint32_t kMaxChunkLength = 0x7FFFFFFF;

std::uint32_t BigEndian32(const unsigned char* p)
{
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

bool IsChunkTypeLetter(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Bits per pixel of a valid (colour type, bit depth) pair, 0 for an invalid one.
int BitsPerPixel(int colourType, int depth)
{
    switch (colourType) {
    case 0:
        return (depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16) ? depth : 0;
    case 2:
        return (depth == 8 || depth == 16) ? 3 * depth : 0;
    case 3:
        return (depth == 1 || depth == 2 || depth == 4 || depth == 8) ? depth : 0;
    case 4:
        return (depth == 8 || depth == 16) ? 2 * depth : 0;
    case 6:
        return (depth == 8 || depth == 16) ? 4 * depth : 0;
    default:
        return 0;
    }
}

// The rows of the decompressed image data, pass by pass: a filter type byte, then the row.
class RowLayout {
public:
    RowLayout(std::uint32_t width, std::uint32_t height, int bitsPerPixel, bool interlaced)
    {
        static constexpr int kStart[7][2] = {{0, 0}, {4, 0}, {0, 4}, {2, 0}, {0, 2}, {1, 0}, {0, 1}};
        static constexpr int kStep[7][2] = {{8, 8}, {8, 8}, {4, 8}, {4, 4}, {2, 4}, {2, 2}, {1, 2}};
        const int passes = interlaced ? 7 : 1;
        for (int p = 0; p < passes; ++p) {
            const std::uint64_t x0 = interlaced ? kStart[p][0] : 0, y0 = interlaced ? kStart[p][1] : 0;
            const std::uint64_t dx = interlaced ? kStep[p][0] : 1, dy = interlaced ? kStep[p][1] : 1;
            const std::uint64_t columns = width > x0 ? (width - x0 + dx - 1) / dx : 0;
            const std::uint64_t rows = height > y0 ? (height - y0 + dy - 1) / dy : 0;
            if (columns == 0 || rows == 0)
                continue;
            const std::uint64_t rowBytes = 1 + (columns * static_cast<std::uint64_t>(bitsPerPixel) + 7) / 8;
            passes_[count_++] = {rows, rowBytes};
            total_ += rows * rowBytes;
        }
    }

    std::uint64_t TotalBytes() const { return total_; }

    // Follows `bytes` more decompressed bytes; false when a row's filter type byte is above 4.
    bool Consume(const unsigned char* bytes, std::size_t length)
    {
        std::size_t i = 0;
        while (i < length && pass_ < count_) {
            if (inRow_ == 0 && bytes[i] > 4)
                return false;
            const std::uint64_t step = std::min<std::uint64_t>(passes_[pass_].rowBytes - inRow_, length - i);
            i += static_cast<std::size_t>(step);
            inRow_ += step;
            if (inRow_ == passes_[pass_].rowBytes) {
                inRow_ = 0;
                if (++row_ == passes_[pass_].rows) {
                    row_ = 0;
                    ++pass_;
                }
            }
        }
        return i == length;  // bytes beyond the last row are an error too
    }

private:
    struct Pass {
        std::uint64_t rows, rowBytes;
    };
    std::array<Pass, 7> passes_{};
    int count_ = 0;
    std::uint64_t total_ = 0;
    int pass_ = 0;
    std::uint64_t row_ = 0, inRow_ = 0;
};

// Inflates the image data as the IDAT chunks arrive.
class ImageDataCheck {
public:
    explicit ImageDataCheck(RowLayout layout) : layout_(layout)
    {
        std::memset(&stream_, 0, sizeof stream_);
        ok_ = inflateInit(&stream_) == Z_OK;
    }
    ~ImageDataCheck() { inflateEnd(&stream_); }
    ImageDataCheck(const ImageDataCheck&) = delete;
    ImageDataCheck& operator=(const ImageDataCheck&) = delete;

    void Feed(const unsigned char* data, std::size_t length)
    {
        stream_.next_in = const_cast<unsigned char*>(data);
        stream_.avail_in = static_cast<uInt>(length);
        while (ok_ && !ended_ && stream_.avail_in > 0) {
            stream_.next_out = out_.data();
            stream_.avail_out = static_cast<uInt>(out_.size());
            const int status = inflate(&stream_, Z_NO_FLUSH);
            const std::size_t produced = out_.size() - stream_.avail_out;
            produced_ += produced;
            if (produced_ > layout_.TotalBytes() || !layout_.Consume(out_.data(), produced))
                ok_ = false;
            if (status == Z_STREAM_END)
                ended_ = true;
            else if (status != Z_OK)
                ok_ = false;
        }
        if (ended_ && stream_.avail_in > 0)
            ok_ = false;  // data after the end of the zlib stream
    }

    bool Clean() const { return ok_ && ended_ && produced_ == layout_.TotalBytes(); }

private:
    RowLayout layout_;
    z_stream stream_;
    std::array<unsigned char, 32 * 1024> out_{};
    std::uint64_t produced_ = 0;
    bool ok_ = false;
    bool ended_ = false;
};

}  // namespace

bool LooksLikePngStart(const unsigned char* sector)
{
    if (std::memcmp(sector, kSignature, 8) != 0 || BigEndian32(sector + 8) != 13 ||
        std::memcmp(sector + 12, "IHDR", 4) != 0)
        return false;
    const std::uint32_t width = BigEndian32(sector + 16), height = BigEndian32(sector + 20);
    const int depth = sector[24], colourType = sector[25];
    if (width == 0 || height == 0 || width > kMaxChunkLength || height > kMaxChunkLength ||
        BitsPerPixel(colourType, depth) == 0 || sector[26] != 0 || sector[27] != 0 || sector[28] > 1)
        return false;
    return static_cast<std::uint32_t>(crc32(0, sector + 12, 17)) == BigEndian32(sector + 29);
}

FormatWalk WalkPng(ByteSource& file)
{
    std::array<unsigned char, 33> head{};
    if (!ReadExactly(file, 0, head) || !LooksLikePngStart(head.data()))
        return NotRecognised();
    FormatWalk walk;
    walk.recognised = true;
    walk.token = "PNG";
    const std::uint64_t size = file.Size();

    bool crcsRight = true;
    std::array<unsigned char, 64 * 1024> chunk{};
    std::uint64_t pos = 33;
    for (;;) {
        unsigned char header[8];
        if (!ReadExactly(file, pos, header)) {
            walk.end = WalkEnd::OutOfBound;
            walk.length = size;
            return walk;
        }
        const std::uint32_t length = BigEndian32(header);
        if (length > kMaxChunkLength || !IsChunkTypeLetter(header[4]) || !IsChunkTypeLetter(header[5]) ||
            !IsChunkTypeLetter(header[6]) || !IsChunkTypeLetter(header[7])) {
            walk.end = WalkEnd::Broken;
            walk.length = pos;
            return walk;
        }
        if (pos + 12 + length > size) {
            walk.end = WalkEnd::OutOfBound;
            walk.length = size;
            return walk;
        }
        uLong crc = crc32(0, header + 4, 4);
        for (std::uint64_t done = 0; done < length;) {
            const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), length - done));
            if (!ReadExactly(file, pos + 8 + done, {chunk.data(), n})) {
                walk.end = WalkEnd::OutOfBound;
                walk.length = size;
                return walk;
            }
            crc = crc32(crc, chunk.data(), static_cast<uInt>(n));
            done += n;
        }
        const auto stored = ReadU32(file, pos + 8 + length, ByteOrder::Big);
        crcsRight = crcsRight && stored && *stored == static_cast<std::uint32_t>(crc);
        pos += 12ull + length;
        if (std::memcmp(header + 4, "IEND", 4) == 0) {
            walk.end = WalkEnd::Closed;
            walk.length = pos;
            // A wrong CRC is damage already; whether the image data inflates, DecodePng says.
            walk.decoded = crcsRight ? DecodeResult::NotChecked : DecodeResult::Faulty;
            return walk;
        }
    }
}

DecodeResult DecodePng(std::span<const unsigned char> file)
{
    if (file.size() < 33 || !LooksLikePngStart(file.data()))
        return DecodeResult::Faulty;
    ImageDataCheck image(RowLayout(BigEndian32(&file[16]), BigEndian32(&file[20]), BitsPerPixel(file[25], file[24]),
                                   file[28] == 1));
    for (std::size_t pos = 33; pos + 12 <= file.size();) {
        const std::uint32_t length = BigEndian32(&file[pos]);
        if (length > file.size() - pos - 12)
            return DecodeResult::Faulty;
        if (std::memcmp(&file[pos + 4], "IDAT", 4) == 0)
            image.Feed(&file[pos + 8], length);
        if (std::memcmp(&file[pos + 4], "IEND", 4) == 0)
            return image.Clean() ? DecodeResult::Clean : DecodeResult::Faulty;
        pos += 12ull + length;
    }
    return DecodeResult::Faulty;
}

}  // namespace quorvex
