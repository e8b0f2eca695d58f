#pragma once

#include "FoundFileVerdict.h"

#include <cstdint>
#include <string_view>

namespace quorvex {

// Where the walk over a file's structure stopped.
enum class WalkEnd : std::uint8_t {
    Closed,      // at the format's own end: an end marker, or the length its structure gives
    Broken,      // the structure stops being valid before its end: what follows is other data
    OutOfBound,  // the bytes ran out (the Maximum Size or the end of the volume) before the end
};

// Whether the file's data decodes.
enum class DecodeResult : std::uint8_t {
    NotChecked,  // nothing to decode for this format, or too large or of a kind no decoder knows
    Clean,       // decoded without an error or a warning
    Faulty,      // the decoder met data it could not make sense of
};

// What walking a candidate's structure found.
struct FormatWalk {
    bool recognised = false;    // the header's fields agree with each other: a file begins here
    std::string_view token;     // the type found (a TIFF walk may say NEF or DCR)
    std::uint64_t length = 0;   // bytes from the start to the end found, to where the structure
                                // broke off, or, when out of bound, all the source's bytes
    WalkEnd end = WalkEnd::Closed;
    DecodeResult decoded = DecodeResult::NotChecked;  // set by walkers that decode as they walk
};

// A byte range of a file, from its first byte.
struct FileExtent {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
};

// The verdict of a walk and of the decode of its bytes.
inline Verdict VerdictOf(WalkEnd end, DecodeResult decoded)
{
    if (end == WalkEnd::OutOfBound)
        return Verdict::Truncated;
    if (end == WalkEnd::Broken || decoded == DecodeResult::Faulty)
        return Verdict::Damaged;
    return Verdict::Complete;
}

// A walk that found no file of the format here.
inline FormatWalk NotRecognised()
{
    return {};
}

}  // namespace quorvex
