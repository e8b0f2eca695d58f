#include "ExactFormats.h"

#include "BmpFormat.h"
#include "CrwFormat.h"
#include "GifFormat.h"
#include "JpegFormat.h"
#include "MrwFormat.h"
#include "PngFormat.h"
#include "RafFormat.h"
#include "RiffFormat.h"
#include "TiffFormat.h"

namespace quorvex {

using namespace std::string_view_literals;

std::span<const ExactFormat> ExactFormatTable()
{
    static const std::array<ExactFormat, 9> table{{
        {"JPEG", {"JPG"}, "\xFF"sv, LooksLikeJpegStart, WalkJpeg, DecodeJpeg, true},
        {"BMP", {"BMP"}, "B"sv, LooksLikeBmpStart, WalkBmp, nullptr},
        {"TIFF", {"TIF", "NEF", "DCR"}, "IM"sv, LooksLikeTiffStart, WalkTiff, DecodeTiff},
        {"PNG", {"PNG"}, "\x89"sv, LooksLikePngStart, WalkPng, DecodePng, true},
        {"GIF", {"GIF"}, "G"sv, LooksLikeGifStart, WalkGif, DecodeGif, true},
        {"RIFF", {"RIFF"}, "R"sv, LooksLikeRiffStart, WalkRiff, nullptr},
        {"RAF", {"RAF"}, "F"sv, LooksLikeRafStart, WalkRaf, nullptr},
        {"MRW", {"MRW"}, "\x00"sv, LooksLikeMrwStart, WalkMrw, nullptr},
        {"CRW", {"CRW"}, "I"sv, LooksLikeCrwStart, WalkCrw, nullptr},
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
