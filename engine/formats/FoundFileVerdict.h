#pragma once

#include <cstdint>
#include <string_view>

namespace quorvex {

// How a scan recovers files. Described: a file is its first bytes at a sector start and a fixed
// amount copied from there. Exact: a validated header, the file's real end, and a verdict.
enum class RecoveryMode : std::uint8_t { Described, Exact };

// What exact recovery says of a found file; the described mode says nothing (None).
enum class Verdict : std::uint8_t {
    None,
    Complete,   // its structure closes, and a picture decodes without an error
    Damaged,    // its structure closes or breaks off, but the data does not hold together
    Truncated,  // no end within the Maximum Size or before the end of the volume
    Reassembled,  // was damaged; put back together from pieces, and now closes and decodes cleanly
};

// "complete", "damaged", "truncated", "reassembled"; empty for None.
std::string_view VerdictName(Verdict verdict);

}  // namespace quorvex
