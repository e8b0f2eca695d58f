#include "MrwFormat.h"

#include <cstring>

namespace quorvex {

namespace {

bool IsKnownBlock(const unsigned char* name)
{
    static constexpr const char* kBlocks[] = {"PRD", "TTW", "WBG", "RIF", "PAD"};
    if (name[0] != 0)
        return false;
    for (const char* block : kBlocks)
        if (std::memcmp(name + 1, block, 3) == 0)
            return true;
    return false;
}

}  // namespace

bool LooksLikeMrwStart(const unsigned char* sector)
{
    return std::memcmp(sector, "\0MRM", 4) == 0 && IsKnownBlock(sector + 8);
}

FormatWalk WalkMrw(ByteSource& file)
{
    unsigned char head[16];
    if (!ReadExactly(file, 0, head) || !LooksLikeMrwStart(head))
        return NotRecognised();
    const std::uint64_t dataStart = 8ull + *ReadU32(file, 4, ByteOrder::Big);
    std::uint64_t rawBytes = 0;
    bool sized = false;
    FormatWalk walk;
    walk.recognised = true;
    walk.token = "MRW";
    std::uint64_t pos = 8;
    for (int blocks = 0; pos < dataStart; ++blocks) {
        unsigned char block[8];
        if (!ReadExactly(file, pos, block)) {
            walk.end = WalkEnd::OutOfBound;
            walk.length = file.Size();
            return walk;
        }
        if (!IsKnownBlock(block) || blocks > 64) {
            if (blocks == 0)
                return NotRecognised();
            walk.end = WalkEnd::Broken;
            walk.length = pos;
            return walk;
        }
        const std::uint64_t length = *ReadU32(file, pos + 4, ByteOrder::Big);
        if (pos + 8 + length > dataStart) {  // a block that runs past the header
            walk.end = WalkEnd::Broken;
            walk.length = pos;
            return walk;
        }
        if (std::memcmp(block + 1, "PRD", 3) == 0) {
            const auto height = ReadU16(file, pos + 16, ByteOrder::Big);
            const auto width = ReadU16(file, pos + 18, ByteOrder::Big);
            const auto pixelBits = ReadU8(file, pos + 25);
            if (height && width && pixelBits && (*pixelBits == 12 || *pixelBits == 16) && *height > 0 && *width > 0) {
                rawBytes = static_cast<std::uint64_t>(*height) * *width * *pixelBits / 8;
                sized = true;
            }
        }
        pos += 8 + length;
    }
    if (pos > file.Size()) {  // the header's blocks themselves run past what may be read
        walk.end = WalkEnd::OutOfBound;
        walk.length = file.Size();
        return walk;
    }
    if (!sized) {
        walk.end = WalkEnd::Broken;
        walk.length = pos;
        return walk;
    }
    const std::uint64_t end = dataStart + rawBytes;
    walk.end = end > file.Size() ? WalkEnd::OutOfBound : WalkEnd::Closed;
    walk.length = end > file.Size() ? file.Size() : end;
    return walk;
}

}  // namespace quorvex
