#include "FragmentJoin.h"

#include <algorithm>

namespace quorvex {

bool LiesInside(const std::vector<ByteRange>& ranges, std::uint64_t offset)
{
    // The last range that starts at or before the offset.
    auto after = std::upper_bound(ranges.begin(), ranges.end(), offset,
                                  [](std::uint64_t value, const ByteRange& range) { return value < range.offset; });
    if (after == ranges.begin())
        return false;
    const ByteRange& range = *std::prev(after);
    return offset - range.offset < range.length;
}

std::vector<std::uint64_t> JoinSearch::Continuations(std::uint64_t pieceEnd, const std::vector<ByteRange>& pieces) const
{
    std::vector<std::uint64_t> starts;
    const auto offer = [&](std::uint64_t at) {
        const bool own = std::any_of(pieces.begin(), pieces.end(), [at](const ByteRange& piece) {
            return at >= piece.offset && at < piece.offset + piece.length;
        });
        if (!own && !IsTaken(at))
            starts.push_back(at);
    };
    const std::uint64_t limit = std::min(volume.Size(), pieceEnd + searchBytes);
    for (std::uint64_t at = grid.BoundaryAtOrAfter(pieceEnd + 1); at < limit; at += grid.clusterBytes)
        offer(at);
    const std::uint64_t earliest = grid.BoundaryAtOrAfter(fileStart > searchBytes ? fileStart - searchBytes : 0);
    for (std::uint64_t at = fileStart; at >= earliest + grid.clusterBytes && at <= fileStart;) {
        at -= grid.clusterBytes;
        if (at < pieceEnd + 1 || at >= limit)  // not offered already
            offer(at);
    }
    return starts;
}

std::vector<std::uint64_t> JoinSearch::BoundariesIn(std::uint64_t pieceStart, std::uint64_t from, std::uint64_t to) const
{
    std::vector<std::uint64_t> ends;
    for (std::uint64_t at = grid.BoundaryAtOrAfter(std::max(from, pieceStart + 1)); at <= to; at += grid.clusterBytes)
        ends.push_back(at);
    return ends;
}

}  // namespace quorvex
