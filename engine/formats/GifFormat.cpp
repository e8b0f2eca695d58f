#include "GifFormat.h"

#include <algorithm>
#include <cstring>
#include <gif_lib.h>
#include <vector>

namespace quorvex {

namespace {

std::uint16_t Le16(const unsigned char* p)
{
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

std::uint64_t ColourTableBytes(unsigned char packed)
{
    return (packed & 0x80) != 0 ? 3ull << ((packed & 0x07) + 1) : 0;
}

FormatWalk Walked(WalkEnd end, std::uint64_t length)
{
    FormatWalk walk;
    walk.recognised = true;
    walk.token = "GIF";
    walk.end = end;
    walk.length = length;
    return walk;
}

// Skips data sub-blocks from `pos` to just past the empty block that ends them; nullopt when
// they run out of the source.
std::optional<std::uint64_t> SkipSubBlocks(ByteSource& file, std::uint64_t pos)
{
    for (;;) {
        const auto length = ReadU8(file, pos);
        if (!length)
            return std::nullopt;
        pos += 1ull + *length;
        if (*length == 0)
            return pos;
    }
}

}  // namespace

bool LooksLikeGifStart(const unsigned char* sector)
{
    if (std::memcmp(sector, "GIF87a", 6) != 0 && std::memcmp(sector, "GIF89a", 6) != 0)
        return false;
    if (Le16(sector + 6) == 0 || Le16(sector + 8) == 0)
        return false;
    const std::uint64_t firstBlock = 13 + ColourTableBytes(sector[10]);
    if (firstBlock >= 512)
        return true;  // a 256-colour table: the first block lies in the next sector
    const unsigned char block = sector[firstBlock];
    return block == 0x21 || block == 0x2C || block == 0x3B;
}

FormatWalk WalkGif(ByteSource& file)
{
    unsigned char head[512] = {};
    const std::size_t got = file.ReadAt(0, head);
    if (got < 13 || !LooksLikeGifStart(head))
        return NotRecognised();
    const std::uint64_t size = file.Size();
    std::uint64_t pos = 13 + ColourTableBytes(head[10]);
    bool firstBlock = true;
    for (;;) {
        const auto block = ReadU8(file, pos);
        if (!block)
            return Walked(WalkEnd::OutOfBound, size);
        if (*block == 0x3B)
            return Walked(WalkEnd::Closed, pos + 1);
        if (*block == 0x21) {
            if (!ReadU8(file, pos + 1))
                return Walked(WalkEnd::OutOfBound, size);
            const auto end = SkipSubBlocks(file, pos + 2);
            if (!end)
                return Walked(WalkEnd::OutOfBound, size);
            pos = *end;
        } else if (*block == 0x2C) {
            unsigned char descriptor[9];
            if (!ReadExactly(file, pos + 1, descriptor))
                return Walked(WalkEnd::OutOfBound, size);
            const std::uint64_t table = ColourTableBytes(descriptor[8]);
            const auto codeSize = ReadU8(file, pos + 10 + table);
            if (!codeSize)
                return Walked(WalkEnd::OutOfBound, size);
            if (Le16(descriptor + 4) == 0 || Le16(descriptor + 6) == 0 || *codeSize < 1 || *codeSize > 11)
                return firstBlock ? NotRecognised() : Walked(WalkEnd::Broken, pos);
            const auto end = SkipSubBlocks(file, pos + 11 + table);
            if (!end)
                return Walked(WalkEnd::OutOfBound, size);
            pos = *end;
        } else {
            return firstBlock ? NotRecognised() : Walked(WalkEnd::Broken, pos);
        }
        firstBlock = false;
    }
}

namespace {

struct MemoryInput {
    const unsigned char* data;
    std::size_t size;
    std::size_t position;
};

int ReadFromMemory(GifFileType* gif, GifByteType* into, int wanted)
{
    auto* input = static_cast<MemoryInput*>(gif->UserData);
    const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(std::max(wanted, 0)), input->size - input->position);
    std::memcpy(into, input->data + input->position, n);
    input->position += n;
    return static_cast<int>(n);
}

// Decodes every frame row by row; false at the first error. Frames wider than the row buffer
// are not decoded (the caller says so).
bool DecodeFrames(GifFileType* gif, std::vector<GifPixelType>& row, bool& tooLarge)
{
    for (;;) {
        GifRecordType record = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif, &record) != GIF_OK)
            return false;
        switch (record) {
        case IMAGE_DESC_RECORD_TYPE: {
            if (DGifGetImageDesc(gif) != GIF_OK)
                return false;
            const GifImageDesc& frame = gif->Image;
            if (frame.Width <= 0 || frame.Height <= 0)
                return false;
            if (static_cast<std::size_t>(frame.Width) > row.size() ||
                static_cast<std::uint64_t>(frame.Width) * static_cast<std::uint64_t>(frame.Height) > 256ull << 20) {
                tooLarge = true;
                return false;
            }
            for (int y = 0; y < frame.Height; ++y)
                if (DGifGetLine(gif, row.data(), frame.Width) != GIF_OK)
                    return false;
            break;
        }
        case EXTENSION_RECORD_TYPE: {
            int code = 0;
            GifByteType* data = nullptr;
            if (DGifGetExtension(gif, &code, &data) != GIF_OK)
                return false;
            while (data != nullptr)
                if (DGifGetExtensionNext(gif, &data) != GIF_OK)
                    return false;
            break;
        }
        case TERMINATE_RECORD_TYPE:
            return true;
        default:
            return false;
        }
    }
}

}  // namespace

DecodeResult DecodeGif(std::span<const unsigned char> file)
{
    MemoryInput input{file.data(), file.size(), 0};
    int error = 0;
    GifFileType* gif = DGifOpen(&input, ReadFromMemory, &error);
    if (gif == nullptr)
        return DecodeResult::Faulty;
    static thread_local std::vector<GifPixelType> row(65536);  // kept from file to file
    bool tooLarge = false;
    const bool decoded = DecodeFrames(gif, row, tooLarge);
    DGifCloseFile(gif, &error);
    if (tooLarge)
        return DecodeResult::NotChecked;
    return decoded ? DecodeResult::Clean : DecodeResult::Faulty;
}

}  // namespace quorvex
