#pragma once

#include "FoundFileVerdict.h"
#include "SignatureDetectors.h"

#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace quorvex {

// One row of the table of recoverable types. The token is the type's identity everywhere: it
// picks the detector, names the type's node in the results tree and its folder when saving, and
// is the extension of every found file of the type. The prefix and the size figure that the
// file-type page shows beside each row belong to the user's selection (TypeSelection), not here.
struct FileTypeInfo {
    std::string_view displayName;
    std::string_view token;
    std::string_view group;
    SignatureDetector detector;  // null: the type is listed and carried along but never found
    // Every first byte a sector can have when the detector answers yes. The scan uses it to try
    // only the detectors that can match; it must agree with the detector.
    std::string_view leadBytes;
    // The Maximum Size a type starts with when its files outgrow the size setting's default
    // (videos, camera raws), in KiB; 0: the setting's figure. A figure the user sets still wins.
    std::int64_t defaultMaxSizeKb = 0;
};

inline constexpr std::size_t kFileTypeCount = 11;

// The types in list order: JPG, BMP, TIF, PNG, GIF, RIFF, RAF, NEF, MRW, DCR, CRW.
const std::array<FileTypeInfo, kFileTypeCount>& FileTypeTable();

// The row whose token equals `token` exactly (case-sensitive), or null.
const FileTypeInfo* FindFileType(std::string_view token);

// The types only exact recovery finds, after the eleven, in list order and by group: today's
// photos (HEIC, AVIF, WEBP), camera raws (CR2, CR3, ARW, DNG, ORF, RW2, PEF), video (MP4, MOV,
// 3GP, MTS, AVI) and sound (WAV). Exact recovery recognises them by their structure: none has a
// signature detector.
std::span<const FileTypeInfo> ExactOnlyTypeTable();

// The types a scan in `mode` can look for, in list order: the eleven, and in exact recovery its
// own after them.
std::vector<const FileTypeInfo*> TypesOf(RecoveryMode mode);

// The row of `token` among the types of `mode`, or null.
const FileTypeInfo* FindFileType(std::string_view token, RecoveryMode mode);

// The list's group header rows; they are never a type.
inline constexpr std::string_view kGraphicsGroup = "Graphics";
inline constexpr std::string_view kMultimediaGroup = "Multimedia";
inline constexpr std::string_view kPhotosGroup = "Photos";
inline constexpr std::string_view kCameraRawGroup = "Camera raw";
inline constexpr std::string_view kVideoGroup = "Video";
inline constexpr std::string_view kSoundGroup = "Sound";
bool IsGroupRowText(std::string_view text);

// Default figures of the exact-only types, in KiB: video up to FAT32's largest file (4 GiB less
// one KiB), raw files up to 512 MiB.
inline constexpr std::int64_t kVideoMaxSizeKb = (4ll << 20) - 1;
inline constexpr std::int64_t kRawMaxSizeKb = 512ll << 10;

}  // namespace quorvex
