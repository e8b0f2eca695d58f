#include "FragmentReassembler.h"

#include "ExtentCopy.h"
#include "FragmentJoin.h"
#include "VolumeByteCache.h"
#include "formats/ExactFormats.h"

#include <algorithm>

namespace quorvex {

namespace {

using Clock = std::chrono::steady_clock;

// Whether the file laid from `pieces` closes where they end and decodes cleanly.
bool HoldsTogether(VolumeByteCache& volume, const ExactFormat& format, const std::vector<ByteRange>& pieces)
{
    std::uint64_t total = 0;
    for (const ByteRange& piece : pieces)
        total += piece.length;
    PiecesByteSource file(volume, std::vector<ByteRange>(pieces.begin(), pieces.end() - 1), pieces.back().offset, total);
    if (file.Size() != total)
        return false;
    const FormatWalk walk = format.walk(file);
    if (!walk.recognised || walk.end != WalkEnd::Closed || walk.length != total ||
        walk.decoded == DecodeResult::Faulty)
        return false;
    if (walk.decoded == DecodeResult::Clean)
        return true;
    if (format.decode == nullptr)
        return false;
    std::vector<unsigned char> bytes;
    return ReadPrefix(file, total, bytes) && format.decode(bytes) == DecodeResult::Clean;
}

void AddTaken(std::vector<ByteRange>& taken, const ByteRange& range)
{
    taken.insert(std::upper_bound(taken.begin(), taken.end(), range,
                                  [](const ByteRange& a, const ByteRange& b) { return a.offset < b.offset; }),
                 range);
}

}  // namespace

ReassemblyReport ReassembleFragments(VolumeReader& reader, FoundFileCatalogue& catalogue,
                                     const ReassemblyLimits& limits, const std::atomic<int>* stopRequested,
                                     const std::function<void(std::uint64_t, std::uint64_t)>& progress)
{
    ReassemblyReport report;
    if (!limits.enabled || catalogue.Mode() != RecoveryMode::Exact)
        return report;
    std::vector<std::uint64_t> damaged;
    std::vector<ByteRange> taken;  // files recovered whole: no continuation lies in them
    for (std::uint64_t i = 0; i < catalogue.FoundCount(); ++i) {
        const Verdict verdict = catalogue.VerdictAt(i);
        const std::string_view token = catalogue.TokenAt(i);
        if (verdict == Verdict::Complete || verdict == Verdict::Reassembled)
            for (const ByteRange& piece : catalogue.PiecesAt(i))
                AddTaken(taken, piece);
        else if (verdict == Verdict::Damaged && (token == "JPG" || token == "PNG"))
            damaged.push_back(i);
    }
    if (damaged.empty())
        return report;

    VolumeByteCache volume(reader);
    report.geometry = LearnClusterGeometry(volume);
    const Clock::time_point allEnd = Clock::now() + limits.total;
    for (std::size_t n = 0; n < damaged.size(); ++n) {
        if (progress)
            progress(n, damaged.size());
        if (stopRequested != nullptr && stopRequested->load() != 0) {
            report.stopped = true;
            break;
        }
        if (Clock::now() >= allEnd) {
            report.outOfTime = true;
            break;
        }
        const std::uint64_t index = damaged[n];
        const std::string_view token = catalogue.TokenAt(index);
        const ExactFormat* format = ExactFormatOf(token);
        const std::uint64_t start = catalogue.StartSectorAt(index) * kSectorSize;
        if (format == nullptr || start >= volume.Size())
            continue;
        const Clock::time_point fileEnd = std::min(allEnd, Clock::now() + limits.perFile);
        bool timedOut = false;
        std::uint32_t calls = 0;
        JoinSearch search(volume);
        search.grid = report.geometry.GridFor(start);
        search.fileStart = start;
        search.maxFileBytes = std::min(ExtentSectors(catalogue.Selection()[catalogue.TypeIndexAt(index)].maxSizeKb) * kSectorSize,
                                       volume.Size() - start);
        search.searchBytes = limits.searchBytes;
        search.maxPieces = limits.maxPieces;
        search.taken = &taken;
        search.giveUp = [&] {
            if (stopRequested != nullptr && stopRequested->load() != 0)
                return true;
            if (++calls % 16 == 0 && Clock::now() >= fileEnd)
                timedOut = true;
            return timedOut;
        };
        ++report.tried;
        const std::optional<std::vector<ByteRange>> pieces =
            token == "PNG" ? JoinPngPieces(search) : JoinJpegPieces(search);
        report.timedOut += timedOut;
        if (!pieces || pieces->size() < 2 || !HoldsTogether(volume, *format, *pieces) ||
            !catalogue.SetReassembled(index, *pieces))
            continue;
        ++report.reassembled;
        for (const ByteRange& piece : *pieces)
            AddTaken(taken, piece);
    }
    if (stopRequested != nullptr && stopRequested->load() != 0)
        report.stopped = true;
    if (progress && !report.stopped)
        progress(damaged.size(), damaged.size());
    return report;
}

}  // namespace quorvex
