#pragma once

#include "ByteSource.h"
#include "FormatWalk.h"

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace quorvex {

// ISO base media files: HEIF stills (HEIC, AVIF), MP4 and M4V, QuickTime MOV, 3GP, and Canon's
// CR3 raw. The brands of the ftyp box decide the token; a QuickTime movie may begin without one.

// A top-level box header at the sector's start: an ftyp box of a plausible size whose brands are
// four printable characters each, or a QuickTime movie's first box (moov, mdat, wide, free, skip)
// with a size that fits its kind.
bool LooksLikeBmffStart(const unsigned char* sector);

// A HEIF item: its type (hvc1, av01, grid, Exif...), where its data lies and its decoder
// configuration (hvcC, av1C) among the file's properties.
struct HeifItem {
    std::uint32_t id = 0;
    std::array<char, 4> type{};
    std::vector<FileExtent> extents;
    FileExtent configuration;
};

// What a walk over the boxes learned besides where the file ends.
struct BmffLayout {
    std::string_view token;
    // Where the data of each chunk (movie) or item extent (HEIF) lies, as the file's own tables say.
    std::vector<FileExtent> data;
    // HEIF: its items.
    std::vector<HeifItem> items;
    // Canon CR3: the JPEG preview in its PRVW box.
    std::optional<FileExtent> preview;
    // QuickTime's and MP4's creation time (mvhd), in seconds since 1904-01-01; 0 when unknown.
    std::uint64_t created = 0;
};

// Walks the top-level boxes (64-bit sizes, a last box of size 0 bounded by the data the tables
// point at) to the first one that is not a box of such a file, a second ftyp, or the bound.
// The file must hold what its kind needs: a movie (moov with mvhd and a track), a HEIF picture
// (meta with its item locations). The tables are followed to every chunk and item extent; where
// they point outside the file, or a video sample does not begin as its codec's samples do (an
// H.264 or HEVC NAL unit, a JPEG), the data is damaged. A movie whose tables hold together is
// Clean without a decode; a HEIF picture is decoded by DecodeBmff.
FormatWalk WalkBmff(ByteSource& file);
// The same, with what the walk learned.
FormatWalk WalkBmff(ByteSource& file, BmffLayout& layout);

// A movie track as a search for the movie's pieces needs it: what its samples are and how each
// begins.
struct MovieTrack {
    std::array<char, 4> codec{};  // the first sample entry's: avc1, hvc1, mp4a, jpeg...
    bool video = false;
    int nalLength = 0;  // H.264 and HEVC: bytes of each NAL unit's length (0: not such a stream)
    // What a decoder needs first: an avcC or hvcC box's payload, an AAC stream's AudioSpecificConfig.
    std::vector<unsigned char> configuration;
    std::vector<std::uint32_t> syncSamples;  // numbers from 1, ascending; empty: every sample is one
};

// One sample (for sound of a fixed sample size, one chunk) where the tables put it.
struct MovieSample {
    std::uint64_t offset = 0;  // from the file's first byte
    std::uint64_t size = 0;
    std::uint32_t track = 0;   // in MovieTables::tracks
    std::uint32_t number = 0;  // in its track, from 1
};

struct MovieTables {
    std::vector<MovieTrack> tracks;
    std::vector<MovieSample> samples;  // by offset
};

// The tables of the movie box (moov) at `at` of `file`, wherever its samples lie (they are not
// read); nullopt when there is no movie box there or its tables do not hold together.
std::optional<MovieTables> ReadMovieTables(ByteSource& file, std::uint64_t at);

// The bytes of the coded unit of `track` that begins at `at` of a sample with `remaining` bytes
// left: for H.264 and HEVC a NAL unit (its length field and a valid header, inside the sample);
// for other codecs `remaining` when the sample begins as theirs do. nullopt: no such unit here.
std::optional<std::uint64_t> VideoUnitAt(ByteSource& file, const MovieTrack& track, std::uint64_t at,
                                         std::uint64_t remaining);

// A box's header: its type, where its payload begins and where it ends (0: at the end of the file).
struct BmffBox {
    std::array<char, 4> type{};
    std::uint64_t payload = 0;
    std::uint64_t end = 0;
};
// The box whose header is at `at` (a printable type, a size that holds its header); nullopt when
// there is none.
std::optional<BmffBox> ReadBmffBox(ByteSource& file, std::uint64_t at);

// HEIC and AVIF: the primary picture decoded with libheif. CR3: its preview JPEG decoded. Others:
// not checked (their walk decides).
DecodeResult DecodeBmff(std::span<const unsigned char> file);

}  // namespace quorvex
