#pragma once

#include "ClusterGeometry.h"
#include "FoundFileReader.h"
#include "JpegEntropy.h"
#include "VolumeByteCache.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace quorvex {

class ClusterContents;

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
    // Of those, the ones a piece may start at: never an empty cluster, which decodes as a flat
    // area and fits anywhere, nor one that begins as another does (text, a pattern), which
    // decodes alike wherever it lies and cannot be told apart. `contents` remembers the clusters
    // read for the file.
    std::vector<std::uint64_t> DistinctContinuations(std::uint64_t pieceEnd, const std::vector<ByteRange>& pieces,
                                                     ClusterContents& contents) const;

    // The grid boundaries in [from, to] (volume offsets) after `pieceStart` (exclusive): where the
    // piece that starts there may end.
    std::vector<std::uint64_t> BoundariesIn(std::uint64_t pieceStart, std::uint64_t from, std::uint64_t to) const;
};

// What the clusters where continuations may start hold, each read once per file: which of them
// begin with the same bytes as another (text, a pattern, empty clusters), which decode alike and
// so cannot be told apart.
class ClusterContents {
public:
    // Reads the clusters at `offsets` not read yet.
    void Learn(ByteSource& volume, const std::vector<std::uint64_t>& offsets, std::uint64_t clusterBytes);
    // Whether another cluster learned holds what the one at `offset` does.
    bool Repeated(std::uint64_t offset) const
    {
        const auto hash = hashes_.find(offset);
        return hash != hashes_.end() && counts_.at(hash->second) > 1;
    }

private:
    std::unordered_map<std::uint64_t, std::uint64_t> hashes_;
    std::unordered_map<std::uint64_t, std::uint32_t> counts_;
};

// After a step of `decoder` over `file` that failed at a run of zero bytes which does not fill a
// cluster (a flat area of the picture, no gap): goes on from `before` (the state before that
// step) through the run, and says so; false otherwise.
bool ReadOnThroughZeros(JpegEntropyDecoder& decoder, PiecesByteSource& file, const ClusterGeometry& grid,
                        const JpegEntropyDecoder::State& before);

// Whether bytes of a cluster cannot lie inside H.264- or HEVC-coded data: they hold three bytes
// that a NAL unit never holds (00 00 00, 00 00 01, 00 00 02: an encoder puts 03 before the third),
// or they are text, or JPEG-coded data (every FF followed by a stuffed 00 or a restart marker), or
// they hold a PNG's data chunk header.
// Coded data passes none of these tests but by a chance too small to count over a cluster.
bool ForeignToCodedData(std::span<const unsigned char> bytes);

// Whether `offset` lies inside one of `ranges` (sorted by offset, not overlapping).
bool LiesInside(const std::vector<ByteRange>& ranges, std::uint64_t offset);

// The pieces of a damaged PNG that make it whole (two or more), checked by each chunk's CRC;
// nullopt when its break cannot be mended with confidence, within the search's bounds.
std::optional<std::vector<ByteRange>> JoinPngPieces(const JoinSearch& search);

// The same for a JPEG, checked by decoding across each joint (a progressive one is handed to the
// joiner below).
std::optional<std::vector<ByteRange>> JoinJpegPieces(const JoinSearch& search);

// The same for a progressive JPEG: its scans decoded one after another, the coefficients kept; a
// continuation is taken when it alone makes the broken scan decode to its end, with the headers
// of the next scan (or the image's end) after it.
std::optional<std::vector<ByteRange>> JoinProgressiveJpegPieces(const JoinSearch& search);

// The same for an MP4, MOV or 3GP movie, by its own tables: every video sample is a chain of
// coded units whose lengths the tables' sample sizes close, so where one does not begin where a
// contiguous file would put it, a break lies before it, and the continuation is where it and the
// ones after it do begin. Between the last unit in place and the first one out of place, the
// piece end is the only grid point there or the only one whose samples decode. A movie whose index
// comes last finds it on the grid around where its data's end puts it.
std::optional<std::vector<ByteRange>> JoinMoviePieces(const JoinSearch& search);

// The same for a HEIC picture in two pieces: its coded data breaks off at the first cluster that
// cannot be HEVC-coded data (zeros, text, JPEG-coded data, a file recovered whole), and goes on
// after the foreign clusters, where the picture laid so walks whole and decodes cleanly.
std::optional<std::vector<ByteRange>> JoinHeifPieces(const JoinSearch& search);

}  // namespace quorvex
