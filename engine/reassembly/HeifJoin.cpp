#include "BmffFormat.h"
#include "FragmentJoin.h"
#include "SampleDecoding.h"

#include <algorithm>
#include <string>

namespace quorvex {

namespace {

constexpr std::size_t kMostLayoutsDecoded = 12;
constexpr std::size_t kMostContinuationsFollowed = 32;
constexpr std::size_t kMostPieces = 3;  // a picture of a few megabytes lies in two or three
constexpr std::uint64_t kMostPictureBytes = 64ull << 20;
constexpr std::uint64_t kShortestTold = 512;  // bytes of a cluster enough to tell coded data by
constexpr std::uint64_t kTailChanged = 64;    // of the coded data's last bytes

bool IsHevcCoded(const HeifItem& item)
{
    return std::string_view(item.type.data(), item.type.size()) == "hvc1";
}

// Whether every HEVC-coded item of the picture decodes by libavcodec too, each block of it reached
// by coded data: a slice with other bytes inside may end early, leaving the rest of the picture
// undecoded, without a warning from either decoder.
bool ItemsDecode(std::span<const unsigned char> file)
{
    MemoryByteSource source(file);
    BmffLayout layout;
    if (!WalkBmff(source, layout).recognised)
        return false;
    for (const HeifItem& item : layout.items) {
        if (!IsHevcCoded(item))
            continue;
        MovieTrack track;
        track.codec = item.type;
        track.video = true;
        const FileExtent& configuration = item.configuration;
        if (configuration.offset + configuration.length > file.size())
            return false;
        track.configuration.assign(file.begin() + static_cast<std::ptrdiff_t>(configuration.offset),
                                   file.begin() + static_cast<std::ptrdiff_t>(configuration.offset + configuration.length));
        std::vector<unsigned char> data;
        for (const FileExtent& extent : item.extents) {
            if (extent.offset + extent.length > file.size())
                return false;
            data.insert(data.end(), file.begin() + static_cast<std::ptrdiff_t>(extent.offset),
                        file.begin() + static_cast<std::ptrdiff_t>(extent.offset + extent.length));
        }
        const SampleDecoding decoding(track);
        if (!decoding.CanDecode() || !decoding.DecodesCleanly({data}))
            return false;
    }
    return true;
}

class HeifSearch {
public:
    HeifSearch(const JoinSearch& search, std::uint64_t length, std::uint64_t dataStart, std::uint64_t dataEnd)
        : search_(search), length_(length), dataStart_(dataStart), dataEnd_(dataEnd)
    {
    }

    // Whether the cluster at `at` on the volume cannot be the picture's: foreign to coded data,
    // inside a file recovered whole, or beyond the volume.
    bool Foreign(std::uint64_t at, std::uint64_t bytes = 0)
    {
        if (search_.IsTaken(at))
            return true;
        std::vector<unsigned char> cluster(static_cast<std::size_t>(bytes != 0 ? bytes : search_.grid.clusterBytes));
        return !ReadExactly(search_.volume, at, cluster) || ForeignToCodedData(cluster);
    }

    // The picture's pieces, when its coded data [from, to) breaks off at a cluster foreign to it and
    // goes on at one of the first clusters after a foreign run, once or more, and the picture laid
    // so decodes.
    std::optional<std::vector<ByteRange>> Run()
    {
        const auto first = FirstForeign({}, search_.fileStart);
        if (!first) {
            search_.Trace("picture refused: no cluster of its data is foreign to it");
            return std::nullopt;
        }
        auto pieces = PiecesFrom({}, search_.fileStart, *first);
        if (!pieces)
            search_.Trace("picture refused: its break at " + std::to_string(*first) + " goes on nowhere that decodes (" +
                          std::to_string(layoutsTried_) + " tried)");
        return pieces;
    }

private:
    static std::uint64_t BytesIn(const std::vector<ByteRange>& pieces)
    {
        std::uint64_t bytes = 0;
        for (const ByteRange& piece : pieces)
            bytes += piece.length;
        return bytes;
    }

    // The file offset of the first cluster of the coded data foreign to it in the open piece that
    // starts at `openStart` after `closed`; nullopt when there is none. Of the cluster where the
    // data ends only its part before that end is the picture's; a part too short to tell by is
    // left alone.
    std::optional<std::uint64_t> FirstForeign(const std::vector<ByteRange>& closed, std::uint64_t openStart)
    {
        const std::uint64_t openFrom = BytesIn(closed);
        const auto laid = [&](std::uint64_t fileOffset) { return openStart + (fileOffset - openFrom); };
        const std::uint64_t step = search_.grid.clusterBytes;
        for (std::uint64_t at = search_.grid.BoundaryAtOrAfter(laid(std::max(dataStart_, openFrom)) + 1);
             at + kShortestTold <= laid(dataEnd_) && !search_.GiveUp(); at += step)
            if (Foreign(at, std::min(step, laid(dataEnd_) - at)))
                return openFrom + (at - openStart);
        return std::nullopt;
    }

    // The pieces, with the open piece that starts at `openStart` after `closed` broken off at file
    // offset `end`: the picture goes on at one of the first clusters after the foreign run there,
    // where its data runs to its end or breaks off again the same way.
    std::optional<std::vector<ByteRange>> PiecesFrom(const std::vector<ByteRange>& closed, std::uint64_t openStart,
                                                     std::uint64_t end)
    {
        const std::uint64_t step = search_.grid.clusterBytes;
        std::vector<ByteRange> pieces = closed;
        pieces.push_back({openStart, end - BytesIn(closed)});
        const std::size_t mostPieces = std::min(search_.maxPieces, kMostPieces);
        if (pieces.size() >= mostPieces)
            return std::nullopt;
        const std::uint64_t pieceEnd = openStart + pieces.back().length;
        for (const std::uint64_t start : search_.Continuations(pieceEnd, pieces)) {
            if (search_.GiveUp() || layoutsTried_ >= kMostLayoutsDecoded || followed_ >= kMostContinuationsFollowed)
                return std::nullopt;
            // A piece begins with a cluster of coded data one or two clusters after a foreign one
            // (the gap's last): a PNG's data between pieces shows as foreign only where a chunk
            // begins, every other cluster or so. A cluster between two foreign ones is a piece of
            // one cluster only when a piece may follow it.
            if (Foreign(start) || !(Foreign(start - step) || Foreign(start - 2 * step)) ||
                (Foreign(start - step) && Foreign(start + step) && pieces.size() + 2 > mostPieces))
                continue;
            ++followed_;
            if (search_.Tracing())
                search_.Trace("  the picture's data may go on at " + std::to_string(start) + " after " +
                              std::to_string(end));
            if (const auto again = FirstForeign(pieces, start)) {
                if (auto found = PiecesFrom(pieces, start, *again))
                    return found;
                continue;
            }
            ++layoutsTried_;
            if (Decodes(pieces, start)) {
                search_.Trace("picture put back together from " + std::to_string(pieces.size() + 1) + " pieces, the last at " +
                              std::to_string(start));
                return PiecesByteSource(search_.volume, pieces, start, length_).PiecesFor(length_);
            }
        }
        return std::nullopt;
    }

    // Whether the picture laid from `first` and a piece at `start` walks whole and decodes cleanly.
    bool Decodes(const std::vector<ByteRange>& first, std::uint64_t start)
    {
        const std::uint64_t runOn = std::min<std::uint64_t>(16, search_.volume.Size() - std::min(search_.volume.Size(), start));
        PiecesByteSource laid(search_.volume, first, start, length_ + runOn);
        if (laid.Size() < length_)
            return false;
        const FormatWalk walk = WalkBmff(laid);
        if (!walk.recognised || walk.end != WalkEnd::Closed || walk.length != length_ ||
            walk.decoded == DecodeResult::Faulty)
            return false;
        std::vector<unsigned char> bytes(static_cast<std::size_t>(length_));
        if (!ReadExactly(laid, 0, bytes) || !PictureDecodes(bytes))
            return false;
        // Other bytes may also run to the picture's last block and end the slice there by chance,
        // before the data's end: the data's last bytes, changed, must then change nothing. The
        // picture's own data needs them to its end.
        std::vector<unsigned char> changed = bytes;
        const std::uint64_t tail = std::min<std::uint64_t>(kTailChanged, dataEnd_ - dataStart_);
        for (std::uint64_t at = dataEnd_ - tail; at < dataEnd_; ++at)
            changed[static_cast<std::size_t>(at)] = at % 2 == 0 ? 0xA5 : 0x5A;
        return !PictureDecodes(changed);
    }

    static bool PictureDecodes(std::span<const unsigned char> bytes)
    {
        return DecodeBmff(bytes) == DecodeResult::Clean && ItemsDecode(bytes);
    }

    const JoinSearch& search_;
    std::uint64_t length_;
    std::uint64_t dataStart_, dataEnd_;  // the coded data, from the first HEVC item extent to the last one's end
    std::size_t layoutsTried_ = 0;       // laid whole and decoded
    std::size_t followed_ = 0;           // continuations followed
};

}  // namespace

std::optional<std::vector<ByteRange>> JoinHeifPieces(const JoinSearch& search)
{
    PiecesByteSource contiguous(search.volume, {}, search.fileStart, search.maxFileBytes);
    BmffLayout layout;
    const FormatWalk walk = WalkBmff(contiguous, layout);
    if (!walk.recognised || walk.end != WalkEnd::Closed || walk.length > kMostPictureBytes || layout.items.empty()) {
        search.Trace("picture refused: its boxes do not close");
        return std::nullopt;
    }
    // Where the coded data lies: from the first extent of an HEVC-coded item to the end of the
    // last (an Exif or XMP item is no coded data).
    std::uint64_t from = UINT64_MAX, to = 0;
    for (const HeifItem& item : layout.items)
        for (const FileExtent& extent : item.extents) {
            if (!IsHevcCoded(item))
                continue;
            from = std::min(from, extent.offset);
            to = std::max(to, extent.offset + extent.length);
        }
    if (from >= to || to > walk.length)
        return std::nullopt;
    return HeifSearch(search, walk.length, from, to).Run();
}

}  // namespace quorvex
