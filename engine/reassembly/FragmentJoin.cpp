#include "FragmentJoin.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>

namespace quorvex {

namespace {

// Whether the cluster of `clusterBytes` at `offset` of the volume holds only zero bytes.
bool ClusterIsEmpty(ByteSource& volume, std::uint64_t offset, std::uint64_t clusterBytes)
{
    std::array<unsigned char, 4096> bytes;
    for (std::uint64_t done = 0; done < clusterBytes;) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(bytes.size(), clusterBytes - done));
        const std::size_t got = volume.ReadAt(offset + done, std::span(bytes).first(want));
        if (std::any_of(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(got), [](unsigned char b) { return b != 0; }))
            return false;
        if (got < want)
            return true;
        done += got;
    }
    return true;
}

// Whether the run of zero bytes of `file` that holds `at` covers a whole cluster of the grid: an
// empty area between pieces does, a flat area of a picture coded as zeros does not.
bool ZerosFillACluster(PiecesByteSource& file, const ClusterGeometry& grid, std::uint64_t at)
{
    std::array<unsigned char, 512> bytes;
    std::uint64_t first = at;  // the run's first byte (looked for up to a cluster back)
    while (first > 0 && at - first <= grid.clusterBytes) {
        const std::uint64_t from = first > bytes.size() ? first - bytes.size() : 0;
        const std::size_t want = static_cast<std::size_t>(first - from);
        if (file.ReadAt(from, std::span(bytes).first(want)) != want)
            break;
        std::size_t k = want;
        while (k > 0 && bytes[k - 1] == 0)
            --k;
        first = from + k;
        if (k > 0)
            break;
    }
    // The boundary at or after the run's first byte, and the cluster after it, all zeros.
    const std::uint64_t boundary = grid.BoundaryAtOrAfter(file.VolumeOffsetOf(first));
    const std::uint64_t fileBoundary = first + (boundary - file.VolumeOffsetOf(first));
    for (std::uint64_t offset = std::max(at, fileBoundary); offset < fileBoundary + grid.clusterBytes;) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(bytes.size(), fileBoundary + grid.clusterBytes - offset));
        if (file.ReadAt(offset, std::span(bytes).first(want)) != want)
            return false;
        if (std::any_of(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(want), [](unsigned char b) { return b != 0; }))
            return false;
        offset += want;
    }
    return true;
}

}  // namespace

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

std::vector<std::uint64_t> JoinSearch::DistinctContinuations(std::uint64_t pieceEnd, const std::vector<ByteRange>& pieces,
                                                             ClusterContents& contents) const
{
    std::vector<std::uint64_t> starts = Continuations(pieceEnd, pieces);
    contents.Learn(volume, starts, grid.clusterBytes);
    std::erase_if(starts, [&](std::uint64_t at) {
        return contents.Repeated(at) || ClusterIsEmpty(volume, at, grid.clusterBytes);
    });
    return starts;
}

std::vector<std::uint64_t> JoinSearch::BoundariesIn(std::uint64_t pieceStart, std::uint64_t from, std::uint64_t to) const
{
    std::vector<std::uint64_t> ends;
    for (std::uint64_t at = grid.BoundaryAtOrAfter(std::max(from, pieceStart + 1)); at <= to; at += grid.clusterBytes)
        ends.push_back(at);
    return ends;
}

void ClusterContents::Learn(ByteSource& volume, const std::vector<std::uint64_t>& offsets, std::uint64_t clusterBytes)
{
    // Clusters alike begin alike: their first bytes tell them (coded data never repeats so long).
    std::vector<unsigned char> bytes(std::min<std::uint64_t>(clusterBytes, 256));
    for (const std::uint64_t offset : offsets) {
        if (hashes_.count(offset) != 0)
            continue;
        const std::size_t got = volume.ReadAt(offset, bytes);
        std::uint64_t hash = got;
        for (std::size_t i = 0; i + 8 <= got; i += 8) {
            std::uint64_t word;
            std::memcpy(&word, &bytes[i], 8);
            hash = (hash ^ word) * 0x9E3779B97F4A7C15ull;
            hash ^= hash >> 29;
        }
        hashes_.emplace(offset, hash);
        ++counts_[hash];
    }
}

bool ForeignToCodedData(std::span<const unsigned char> cluster)
{
    // A PNG's data chunk: its type after a length a chunk may have.
    static constexpr unsigned char kPngData[] = {'I', 'D', 'A', 'T'};
    for (auto at = cluster.begin(); (at = std::search(at, cluster.end(), std::begin(kPngData), std::end(kPngData))) !=
                                    cluster.end();
         ++at)
        if (at - cluster.begin() >= 4 && *(at - 4) < 0x80)
            return true;
    std::size_t printable = 0, marks = 0, stuffed = 0;
    for (std::size_t i = 0; i < cluster.size(); ++i) {
        const unsigned char c = cluster[i];
        if (i + 2 < cluster.size() && c == 0 && cluster[i + 1] == 0 && cluster[i + 2] <= 2)
            return true;
        printable += (c >= 0x20 && c < 0x7F) || c == '\n' || c == '\r' || c == '\t';
        if (c == 0xFF && i + 1 < cluster.size()) {
            ++marks;
            const unsigned char next = cluster[i + 1];
            stuffed += next == 0x00 || (next >= 0xD0 && next <= 0xD7);
        }
    }
    return printable * 100 >= cluster.size() * 98 || (marks >= 8 && stuffed == marks);
}

bool ReadOnThroughZeros(JpegEntropyDecoder& decoder, PiecesByteSource& file, const ClusterGeometry& grid,
                        const JpegEntropyDecoder::State& before)
{
    if (!decoder.StoppedAtZeros() || ZerosFillACluster(file, grid, decoder.Current().position))
        return false;
    decoder.ResumeThroughZeros(before);
    return true;
}

}  // namespace quorvex
