#pragma once

#include "ByteSource.h"
#include "FormatWalk.h"

#include <array>
#include <span>
#include <string_view>

namespace quorvex {

// One format that exact recovery knows: how its files begin, where they end, how their data is
// decoded. A format may report more than one type (TIFF: TIF, NEF and DCR).
struct ExactFormat {
    std::string_view name;
    std::array<std::string_view, 3> tokens;  // the types it reports; unused places are empty
    std::string_view leadBytes;              // every first byte LooksLikeStart can accept
    bool (*looksLikeStart)(const unsigned char* sector);  // the first 512 bytes, cheap
    FormatWalk (*walk)(ByteSource& file);
    // Decodes the file's bytes; null when the walk decides alone (it may decode as it walks).
    DecodeResult (*decode)(std::span<const unsigned char> file);
    // Whether a clean decode (or walk) has checked every byte of the file, so that no other file
    // can lie inside it: true for JPEG (all entropy-coded data), PNG (a CRC over every chunk) and
    // GIF (all image data); a TIFF's uncompressed strips and raw data say nothing.
    bool cleanDecodeCoversFile = false;

    bool Reports(std::string_view token) const
    {
        return !token.empty() && (tokens[0] == token || tokens[1] == token || tokens[2] == token);
    }
};

// The formats in the list order of their types: JPG, BMP, TIF (NEF, DCR), PNG, GIF, RIFF, RAF,
// MRW, CRW.
std::span<const ExactFormat> ExactFormatTable();

// The format that reports `token`, or null.
const ExactFormat* ExactFormatOf(std::string_view token);

}  // namespace quorvex
