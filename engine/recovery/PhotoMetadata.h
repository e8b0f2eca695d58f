#pragma once

#include "FoundFileCatalogue.h"
#include "VolumeReader.h"

#include <compare>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quorvex {

// When a photo was taken, as the camera wrote it (local time, no zone).
struct CaptureTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;

    // Reads Exif's "YYYY:MM:DD HH:MM:SS" (also with '-' between the date's parts); nothing for a
    // date that is blank, cut short or out of range.
    static std::optional<CaptureTime> Parse(std::string_view text);
    std::string Iso() const;       // 2024-06-01T14:32:05
    std::string Shown() const;     // 2024-06-01 14:32:05
    std::string FileStem() const;  // 2024-06-01_14-32-05
    // Seconds since the epoch, read as local time (what a file's times are set to).
    std::int64_t LocalEpochSeconds() const;

    auto operator<=>(const CaptureTime&) const = default;
};

// What a photo's metadata says of it.
struct PhotoFacts {
    std::optional<CaptureTime> captured;
    std::string camera;        // "Make Model", empty when unknown
    int orientation = 1;       // Exif orientation, 1 to 8 (1: rows from the top, as stored)
    std::uint32_t width = 0;   // pixels, 0 when unknown
    std::uint32_t height = 0;

    friend bool operator==(const PhotoFacts&, const PhotoFacts&) = default;
};

struct PhotoMetadata {
    PhotoFacts facts;
    // The smallest embedded JPEG preview at least `previewWidth` wide, or the biggest when none
    // is (raw files carry one), when asked for; empty otherwise.
    std::vector<unsigned char> preview;
};

// Reads the metadata of a file from its bytes, and nothing outside them. Never throws: metadata
// that is cut off or overwritten gives what could be read before the damage, or nothing.
PhotoMetadata ReadPhotoMetadata(std::span<const unsigned char> bytes, std::uint32_t previewWidth = 0);

// How many of a found file's first bytes its metadata needs: the start of a JPEG or PNG (their
// metadata comes before the picture data), all of a TIFF-based or camera raw file (its metadata
// and previews may lie anywhere in it), within a bound.
std::uint64_t MetadataBytesOf(std::string_view token, std::uint64_t lengthBytes);

// Reads entry `index` of the catalogue (exact recovery) from the volume, only as far as its
// metadata needs, and its metadata.
PhotoMetadata ReadFoundFileMetadata(VolumeReader& reader, const FoundFileCatalogue& catalogue, std::uint64_t index,
                                    std::uint32_t previewWidth = 0);

}  // namespace quorvex
