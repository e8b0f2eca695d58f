#include "RiffFormat.h"

#include <cstring>

namespace quorvex {

namespace {

constexpr const char* kForms[] = {"WAVE", "AVI ", "WEBP", "RMID", "ACON", "CDXA", "DLS "};

bool IsFourCc(const unsigned char* p)
{
    for (int i = 0; i < 4; ++i)
        if (p[i] < 0x20 || p[i] > 0x7E)
            return false;
    return true;
}

std::uint32_t Le32(const unsigned char* p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

FormatWalk Walked(std::string_view token, WalkEnd end, std::uint64_t length)
{
    FormatWalk walk;
    walk.recognised = true;
    walk.token = token;
    walk.end = end;
    walk.length = length;
    return walk;
}

}  // namespace

std::string_view RiffFormToken(const unsigned char* form)
{
    if (std::memcmp(form, "WEBP", 4) == 0)
        return "WEBP";
    if (std::memcmp(form, "AVI ", 4) == 0)
        return "AVI";
    if (std::memcmp(form, "WAVE", 4) == 0)
        return "WAV";
    return "RIFF";
}

bool LooksLikeRiffStart(const unsigned char* sector)
{
    if (std::memcmp(sector, "RIFF", 4) != 0)
        return false;
    const std::uint32_t size = Le32(sector + 4);
    bool known = false;
    for (const char* form : kForms)
        known = known || std::memcmp(sector + 8, form, 4) == 0;
    if (!known || size < 4 + 8)
        return false;
    return IsFourCc(sector + 12) && Le32(sector + 16) <= size - 4 - 8;
}

FormatWalk WalkRiff(ByteSource& file)
{
    unsigned char head[20];
    if (!ReadExactly(file, 0, head) || !LooksLikeRiffStart(head))
        return NotRecognised();
    const bool avi = std::memcmp(head + 8, "AVI ", 4) == 0;
    const std::string_view token = RiffFormToken(head + 8);
    const std::uint64_t size = file.Size();
    std::uint64_t riffStart = 0;
    for (int part = 0; part < 1024; ++part) {
        const auto riffSize = ReadU32(file, riffStart + 4, ByteOrder::Little);
        if (!riffSize)
            return Walked(token, WalkEnd::OutOfBound, size);
        const std::uint64_t riffEnd = riffStart + 8 + *riffSize;
        if (riffEnd > size)
            return Walked(token, WalkEnd::OutOfBound, size);
        // The sub-chunks: a code, a size, the data and a pad byte to an even size.
        std::uint64_t pos = riffStart + 12;
        while (pos < riffEnd) {
            unsigned char chunk[8];
            if (pos + 8 > riffEnd || !ReadExactly(file, pos, chunk) || !IsFourCc(chunk))
                return Walked(token, WalkEnd::Broken, pos);
            const std::uint64_t next = pos + 8 + Le32(chunk + 4) + (Le32(chunk + 4) & 1);
            // The last chunk's pad byte may be left out of the RIFF size.
            if (next > riffEnd + 1)
                return Walked(token, WalkEnd::Broken, pos);
            pos = next;
        }
        // An AVI larger than 1 GB goes on in "RIFF <size> AVIX" chunks right after it.
        unsigned char following[12];
        if (!avi || !ReadExactly(file, riffEnd, following) || std::memcmp(following, "RIFF", 4) != 0 ||
            std::memcmp(following + 8, "AVIX", 4) != 0)
            return Walked(token, WalkEnd::Closed, riffEnd);
        riffStart = riffEnd;
    }
    return Walked(token, WalkEnd::Broken, riffStart);
}

}  // namespace quorvex
