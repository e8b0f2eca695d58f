#include "SignatureDetectors.h"

#include <cstddef>

namespace quorvex {

namespace {

// Compares byte by byte from `offset`, answering no at the first difference.
template <std::size_t N>
bool BytesAt(const unsigned char* sector, std::size_t offset, const unsigned char (&expected)[N])
{
    for (std::size_t i = 0; i < N; ++i)
        if (sector[offset + i] != expected[i])
            return false;
    return true;
}

}  // namespace

// FF D8 FF E0, then "JFIF" and a NUL at 6..10; the segment length at 4..5 is not examined.
// A JPEG whose first segment is anything but APP0 (an Exif file starts FF D8 FF E1) is no hit.
bool IsJpegJfifStart(const unsigned char* sector)
{
    static constexpr unsigned char kMarker[] = {0xFF, 0xD8, 0xFF, 0xE0};
    static constexpr unsigned char kJfif[] = {'J', 'F', 'I', 'F', 0x00};
    return BytesAt(sector, 0, kMarker) && BytesAt(sector, 6, kJfif);
}

bool IsBitmapStart(const unsigned char* sector)
{
    static constexpr unsigned char kMagic[] = {'B', 'M'};
    return BytesAt(sector, 0, kMagic);
}

// "II*" (byte 3 not examined) is tried before the big-endian "MM\0*".
bool IsTiffStart(const unsigned char* sector)
{
    static constexpr unsigned char kLittle[] = {'I', 'I', 0x2A};
    static constexpr unsigned char kBig[] = {'M', 'M', 0x00, 0x2A};
    return BytesAt(sector, 0, kLittle) || BytesAt(sector, 0, kBig);
}

bool IsPngStart(const unsigned char* sector)
{
    static constexpr unsigned char kMagic[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    return BytesAt(sector, 0, kMagic);
}

// The version digits after "GIF" are not examined.
bool IsGifStart(const unsigned char* sector)
{
    static constexpr unsigned char kMagic[] = {'G', 'I', 'F'};
    return BytesAt(sector, 0, kMagic);
}

// The form type at byte 8 is not examined: AVI, WAVE and every other RIFF file is one type.
bool IsRiffStart(const unsigned char* sector)
{
    static constexpr unsigned char kMagic[] = {'R', 'I', 'F', 'F'};
    return BytesAt(sector, 0, kMagic);
}

// A Fuji RAF file starts with the 16 characters "FUJIFILMCCD-RAW " (the last one a blank).
bool IsFujiRawStart(const unsigned char* sector)
{
    static constexpr unsigned char kMagic[] = {'F', 'U', 'J', 'I', 'F', 'I', 'L', 'M',
                                               'C', 'C', 'D', '-', 'R', 'A', 'W', ' '};
    return BytesAt(sector, 0, kMagic);
}

// A Minolta MRW file starts with the block 00 "MRM".
bool IsMinoltaRawStart(const unsigned char* sector)
{
    static constexpr unsigned char kMagic[] = {0x00, 'M', 'R', 'M'};
    return BytesAt(sector, 0, kMagic);
}

// "II", the header length 26 as a little-endian 32-bit number, then "HEAPCCDR".
bool IsCanonRawStart(const unsigned char* sector)
{
    static constexpr unsigned char kOrder[] = {'I', 'I'};
    static constexpr unsigned char kLength[] = {0x1A, 0x00, 0x00, 0x00};
    static constexpr unsigned char kHeap[] = {'H', 'E', 'A', 'P', 'C', 'C', 'D', 'R'};
    return BytesAt(sector, 0, kOrder) && BytesAt(sector, 2, kLength) && BytesAt(sector, 6, kHeap);
}

}  // namespace quorvex
