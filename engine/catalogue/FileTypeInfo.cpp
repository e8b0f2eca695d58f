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

std::span<const FileTypeInfo> ExactOnlyTypeTable()
{
    static const std::array<FileTypeInfo, 16> table{{
        {"HEIF PHOTO(*.HEIC,*.HEIF)", "HEIC", kPhotosGroup, nullptr, ""sv},
        {"AVIF PHOTO(*.AVIF)", "AVIF", kPhotosGroup, nullptr, ""sv},
        {"WEBP PICTURE(*.WEBP)", "WEBP", kPhotosGroup, nullptr, ""sv},
        {"CANON RAW(*.CR2)", "CR2", kCameraRawGroup, nullptr, ""sv, kRawMaxSizeKb},
        {"CANON RAW 3(*.CR3)", "CR3", kCameraRawGroup, nullptr, ""sv, kRawMaxSizeKb},
        {"SONY RAW(*.ARW,*.SR2,*.SRF)", "ARW", kCameraRawGroup, nullptr, ""sv, kRawMaxSizeKb},
        {"DIGITAL NEGATIVE(*.DNG)", "DNG", kCameraRawGroup, nullptr, ""sv, kRawMaxSizeKb},
        {"OLYMPUS RAW(*.ORF)", "ORF", kCameraRawGroup, nullptr, ""sv, kRawMaxSizeKb},
        {"PANASONIC RAW(*.RW2)", "RW2", kCameraRawGroup, nullptr, ""sv, kRawMaxSizeKb},
        {"PENTAX RAW(*.PEF)", "PEF", kCameraRawGroup, nullptr, ""sv, kRawMaxSizeKb},
        {"MPEG-4 VIDEO(*.MP4,*.M4V)", "MP4", kVideoGroup, nullptr, ""sv, kVideoMaxSizeKb},
        {"QUICKTIME MOVIE(*.MOV)", "MOV", kVideoGroup, nullptr, ""sv, kVideoMaxSizeKb},
        {"3GPP VIDEO(*.3GP)", "3GP", kVideoGroup, nullptr, ""sv, kVideoMaxSizeKb},
        {"AVCHD VIDEO(*.MTS,*.M2TS)", "MTS", kVideoGroup, nullptr, ""sv, kVideoMaxSizeKb},
        {"AVI VIDEO(*.AVI)", "AVI", kVideoGroup, nullptr, ""sv, kVideoMaxSizeKb},
        {"WAVE SOUND(*.WAV)", "WAV", kSoundGroup, nullptr, ""sv},
    }};
    return table;
}

std::vector<const FileTypeInfo*> TypesOf(RecoveryMode mode)
{
    std::vector<const FileTypeInfo*> types;
    for (const FileTypeInfo& info : FileTypeTable())
        types.push_back(&info);
    if (mode == RecoveryMode::Exact)
        for (const FileTypeInfo& info : ExactOnlyTypeTable())
            types.push_back(&info);
    return types;
}

const FileTypeInfo* FindFileType(std::string_view token, RecoveryMode mode)
{
    for (const FileTypeInfo* info : TypesOf(mode))
        if (info->token == token)
            return info;
    return nullptr;
}

bool IsGroupRowText(std::string_view text)
{
    return text == kGraphicsGroup || text == kMultimediaGroup || text == kPhotosGroup || text == kCameraRawGroup ||
           text == kVideoGroup || text == kSoundGroup;
}

}  // namespace quorvex
