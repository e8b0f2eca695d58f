#include "RafFormat.h"

#include <algorithm>
#include <cstring>

namespace quorvex {

namespace {

constexpr std::uint64_t kDirectoryOffset = 84;  // JPEG, CFA header and CFA offset/length pairs

bool IsDigit(unsigned char c)
{
    return c >= '0' && c <= '9';
}

}  // namespace

bool LooksLikeRafStart(const unsigned char* sector)
{
    if (std::memcmp(sector, "FUJIFILMCCD-RAW ", 16) != 0)
        return false;
    for (int i = 16; i < 20; ++i)
        if (!IsDigit(sector[i]))
            return false;
    // The camera name: printable characters, then NULs to its 32 bytes.
    int i = 28;
    while (i < 60 && sector[i] >= 0x20 && sector[i] < 0x7F)
        ++i;
    if (i == 28)
        return false;
    for (; i < 60; ++i)
        if (sector[i] != 0)
            return false;
    return true;
}

FormatWalk WalkRaf(ByteSource& file)
{
    unsigned char head[kDirectoryOffset + 24];
    if (!ReadExactly(file, 0, head) || !LooksLikeRafStart(head))
        return NotRecognised();
    std::uint64_t end = sizeof head;
    for (int piece = 0; piece < 3; ++piece) {
        const auto offset = ReadU32(file, kDirectoryOffset + 8 * piece, ByteOrder::Big);
        const auto length = ReadU32(file, kDirectoryOffset + 8 * piece + 4, ByteOrder::Big);
        if (*offset < sizeof head || *length == 0)
            return NotRecognised();
        end = std::max(end, static_cast<std::uint64_t>(*offset) + *length);
    }
    const auto jpegOffset = *ReadU32(file, kDirectoryOffset, ByteOrder::Big);
    const auto soi = ReadU16(file, jpegOffset, ByteOrder::Big);
    if (soi && *soi != 0xFFD8)
        return NotRecognised();
    FormatWalk walk;
    walk.recognised = true;
    walk.token = "RAF";
    if (end > file.Size()) {
        walk.end = WalkEnd::OutOfBound;
        walk.length = file.Size();
    } else {
        walk.end = WalkEnd::Closed;
        walk.length = end;
    }
    return walk;
}

}  // namespace quorvex
