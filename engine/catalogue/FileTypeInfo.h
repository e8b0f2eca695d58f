#pragma once

#include "SignatureDetectors.h"

#include <array>
#include <string_view>

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
};

inline constexpr std::size_t kFileTypeCount = 11;

// The types in list order: JPG, BMP, TIF, PNG, GIF, RIFF, RAF, NEF, MRW, DCR, CRW.
const std::array<FileTypeInfo, kFileTypeCount>& FileTypeTable();

// The row whose token equals `token` exactly (case-sensitive), or null.
const FileTypeInfo* FindFileType(std::string_view token);

// The list's group header rows; they are never a type.
inline constexpr std::string_view kGraphicsGroup = "Graphics";
inline constexpr std::string_view kMultimediaGroup = "Multimedia";
bool IsGroupRowText(std::string_view text);

}  // namespace quorvex
