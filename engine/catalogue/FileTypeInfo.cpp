#include "FileTypeInfo.h"

namespace quorvex {

using namespace std::string_view_literals;

const std::array<FileTypeInfo, kFileTypeCount>& FileTypeTable()
{
    // NIKON FILM and KODAK FILM have no test: NEF and DCR files begin with an ordinary TIFF header
    // ("II*\0" or "MM\0*"), and nothing in the first 16 bytes tells them from any other TIFF.
    static const std::array<FileTypeInfo, kFileTypeCount> table{{
        {"JPEG(*.JPG,*.JP2)", "JPG", kGraphicsGroup, IsJpegJfifStart, "\xFF"sv},
        {"BITMAP(*.BMP)", "BMP", kGraphicsGroup, IsBitmapStart, "B"sv},
        {"TIFF(*.TIF,*.TIFF)", "TIF", kGraphicsGroup, IsTiffStart, "IM"sv},
        {"PNG(*.PNG)", "PNG", kGraphicsGroup, IsPngStart, "\x89"sv},
        {"GIFF(*.GIF)", "GIF", kGraphicsGroup, IsGifStart, "G"sv},
        {"UNKNOWN RIFF(*.RIFF)", "RIFF", kGraphicsGroup, IsRiffStart, "R"sv},
        {"FUJI FILM(*.RAF)", "RAF", kGraphicsGroup, IsFujiRawStart, "F"sv},
        {"NIKON FILM(*.NEF)", "NEF", kGraphicsGroup, nullptr, ""sv},
        {"MINOLTA FILM(*.MRW)", "MRW", kGraphicsGroup, IsMinoltaRawStart, "\x00"sv},
        {"KODAK FILM(*.DCR)", "DCR", kGraphicsGroup, nullptr, ""sv},
        {"CANON FILM(*.CRW)", "CRW", kGraphicsGroup, IsCanonRawStart, "I"sv},
    }};
    return table;
}

const FileTypeInfo* FindFileType(std::string_view token)
{
    for (const FileTypeInfo& info : FileTypeTable())
        if (info.token == token)
            return &info;
    return nullptr;
}

bool IsGroupRowText(std::string_view text)
{
    return text == kGraphicsGroup || text == kMultimediaGroup;
}

}  // namespace quorvex
