#pragma once

#include "ClusterGeometry.h"
#include "FoundFileReader.h"
#include "VolumeByteCache.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quorvex {

// One file's search for its pieces: where it starts, the cluster grid its pieces lie on, how far
// and how long to look. Continuations are looked for on the grid within searchBytes after a break,
// then within searchBytes before the file's start (a file system fills earlier holes first), and
// never inside a file recovered whole or in the file's own pieces.
struct JoinSearch {
    explicit JoinSearch(VolumeByteCache& cache) : volume(cache) {}

    VolumeByteCache& volume;
    ClusterGeometry grid;
    std::uint64_t fileStart = 0;
    std::uint64_t maxFileBytes = 0;  // the file's bound (its type's Maximum Size)
    std::uint64_t searchBytes = 4ull << 20;
    std::size_t maxPieces = 8;
    // Whether an offset lies inside a file recovered whole (may wait until that is known).
    std::function<bool(std::uint64_t)> isTaken;
    std::function<bool()> giveUp;                   // time is up, or a stop was asked for
    std::function<void(const std::string&)> trace;  // hears how the search goes (may be empty)

    bool Tracing() const { return static_cast<bool>(trace); }
    void Trace(const std::string& line) const
    {
        if (trace)
            trace(line);
    }

    bool GiveUp() const { return giveUp && giveUp(); }

    // Whether a continuation starting at `offset` would lie inside a file recovered whole.
    bool IsTaken(std::uint64_t offset) const { return isTaken && isTaken(offset); }

    // Where the piece after the one ending at `pieceEnd` may start: the grid boundaries after
    // pieceEnd (exclusive) and within searchBytes of it, nearest first, then those before the
    // file's start within searchBytes of it, nearest first; on the volume, outside taken files and
    // outside `pieces` (the file's own so far, the one ending at pieceEnd among them).
    std::vector<std::uint64_t> Continuations(std::uint64_t pieceEnd, const std::vector<ByteRange>& pieces) const;

    // The grid boundaries in [from, to] (volume offsets) after `pieceStart` (exclusive): where the
    // piece that starts there may end.
    std::vector<std::uint64_t> BoundariesIn(std::uint64_t pieceStart, std::uint64_t from, std::uint64_t to) const;
};

// Whether `offset` lies inside one of `ranges` (sorted by offset, not overlapping).
bool LiesInside(const std::vector<ByteRange>& ranges, std::uint64_t offset);

// The pieces of a damaged PNG that make it whole (two or more), checked by each chunk's CRC;
// nullopt when its break cannot be mended with confidence, within the search's bounds.
std::optional<std::vector<ByteRange>> JoinPngPieces(const JoinSearch& search);

// The same for a sequential (baseline) JPEG, checked by decoding across each joint.
std::optional<std::vector<ByteRange>> JoinJpegPieces(const JoinSearch& search);

}  // namespace quorvex
