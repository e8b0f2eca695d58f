#include "ExactFormats.h"

#include "BmffFormat.h"
#include "BmpFormat.h"
#include "CrwFormat.h"
#include "GifFormat.h"
#include "JpegFormat.h"
#include "MrwFormat.h"
#include "PngFormat.h"
#include "RafFormat.h"
#include "RiffFormat.h"
#include "TiffFormat.h"
#include "TsFormat.h"

#include <string>

namespace quorvex {

using namespace std::string_view_literals;

std::span<const ExactFormat> ExactFormatTable()
{
    // A transport stream's first byte is 0x47, or, in 192-byte packets, the top of an arrival time.
    static const std::string tsLead = [] {
        std::string lead(1, '\x47');
        for (int b = 0; b < 0x40; ++b)
            lead += static_cast<char>(b);
        return lead;
    }();
    static const std::array<ExactFormat, 11> table{{
        {"JPEG", {"JPG"}, "\xFF"sv, LooksLikeJpegStart, WalkJpeg, DecodeJpeg, true},
        {"BMP", {"BMP"}, "B"sv, LooksLikeBmpStart, WalkBmp, nullptr},
        {"TIFF", {"TIF", "NEF", "DCR", "CR2", "ARW", "DNG", "ORF", "RW2", "PEF"}, "IM"sv, LooksLikeTiffStart, WalkTiff,
         DecodeTiff, false, "CR2 ARW DNG ORF RW2 PEF"},
        {"PNG", {"PNG"}, "\x89"sv, LooksLikePngStart, WalkPng, DecodePng, true},
        {"GIF", {"GIF"}, "G"sv, LooksLikeGifStart, WalkGif, DecodeGif, true},
        {"RIFF", {"RIFF", "WEBP", "AVI", "WAV"}, "R"sv, LooksLikeRiffStart, WalkRiff, nullptr},
        {"RAF", {"RAF"}, "F"sv, LooksLikeRafStart, WalkRaf, nullptr},
        {"MRW", {"MRW"}, "\x00"sv, LooksLikeMrwStart, WalkMrw, nullptr},
        {"CRW", {"CRW"}, "I"sv, LooksLikeCrwStart, WalkCrw, nullptr},
        {"ISO media", {"HEIC", "AVIF", "MP4", "MOV", "3GP", "CR3"}, "\x00"sv, LooksLikeBmffStart, WalkBmff, DecodeBmff,
         true},
        {"MPEG-TS", {"MTS"}, tsLead, LooksLikeTsStart, WalkTs, nullptr, false, {}, true},
    }};
    return table;
}

const ExactFormat* ExactFormatOf(std::string_view token)
{
    for (const ExactFormat& format : ExactFormatTable())
        if (format.Reports(token))
            return &format;
    return nullptr;
}

}  // namespace quorvex
