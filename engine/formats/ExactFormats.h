#pragma once

#include "ByteSource.h"
#include "FormatWalk.h"

#include <algorithm>
#include <array>
#include <span>
#include <string_view>

namespace quorvex {

// One format that exact recovery knows: how its files begin, where they end, how their data is
// decoded. A format may report more than one type (TIFF: TIF, NEF and DCR).
struct ExactFormat {
    std::string_view name;
    std::array<std::string_view, 9> tokens;  // the types it reports; unused places are empty
    std::string_view leadBytes;              // every first byte LooksLikeStart can accept
    bool (*looksLikeStart)(const unsigned char* sector);  // the first 512 bytes, cheap
    FormatWalk (*walk)(ByteSource& file);
    // Decodes the file's bytes; null when the walk decides alone (it may decode as it walks).
    DecodeResult (*decode)(std::span<const unsigned char> file);
    // Whether a clean decode (or walk) has checked every byte of the file, so that no other file
    // can lie inside it: true for JPEG (all entropy-coded data), PNG (a CRC over every chunk) and
    // GIF (all image data); a TIFF's uncompressed strips and raw data say nothing.
    bool cleanDecodeCoversFile = false;
    // Types whose clean decode vouches for the whole file where the format's others' does not
    // (TIFF's camera raws: their structure walked to its furthest byte, their preview decoded),
    // separated by spaces.
    std::string_view coveredTokens = {};
    // The walk itself vouches for every byte (a transport stream's sync bytes): the sectors inside
    // are passed over whatever the verdict, or each would begin a stream of its own.
    bool walkCoversFile = false;

    bool Reports(std::string_view token) const
    {
        return !token.empty() && std::find(tokens.begin(), tokens.end(), token) != tokens.end();
    }
    bool CleanDecodeCovers(std::string_view token) const
    {
        if (cleanDecodeCoversFile)
            return true;
        for (std::size_t at = 0; at < coveredTokens.size();) {
            const std::size_t end = std::min(coveredTokens.find(' ', at), coveredTokens.size());
            if (coveredTokens.substr(at, end - at) == token)
                return true;
            at = end + 1;
        }
        return false;
    }
};

// The formats in the list order of their types: JPG, BMP, TIF (NEF, DCR and the other TIFF raws),
// PNG, GIF, RIFF (WEBP, AVI, WAV), RAF, MRW, CRW, then the ISO media files (HEIC, AVIF, MP4, MOV,
// 3GP, CR3) and transport streams (MTS).
std::span<const ExactFormat> ExactFormatTable();

// The format that reports `token`, or null.
const ExactFormat* ExactFormatOf(std::string_view token);

}  // namespace quorvex
