#include "FragmentJoin.h"
#include "JpegEntropy.h"

#include <algorithm>
#include <memory>

namespace quorvex {
namespace {

// The most blocks of a picture whose coefficients are kept (100 MB of them): a larger progressive
// JPEG in pieces stays damaged.
constexpr std::uint64_t kMostBlocks = 3u << 18;

// How many piece ends before the place a scan broke are tried, nearest first.
constexpr std::size_t kEndsTried = 64;

}  // namespace

std::optional<std::vector<ByteRange>> JoinProgressiveJpegPieces(const JoinSearch& search)
{
    std::vector<ByteRange> closed;
    std::uint64_t openStart = search.fileStart;
    auto file = std::make_unique<PiecesByteSource>(search.volume, closed, openStart, search.maxFileBytes);
    std::optional<JpegScanLayout> layout = ReadFirstJpegScan(*file);
    if (!layout || !layout->progressive || layout->McuCount() == 0)
        return std::nullopt;
    // The coefficients are the file's own (up to 100 MB, given back when its search ends); the
    // decoder's states are kept from file to file, as the sequential joiner's are.
    JpegCoefficients coefficients;
    if (!coefficients.Reset(*layout, kMostBlocks)) {
        search.Trace("a progressive JPEG too large to keep the coefficients of");
        return std::nullopt;
    }
    static thread_local std::vector<JpegEntropyDecoder::State> starts;
    ClusterContents contents;
    for (int scan = 1;; ++scan) {
        JpegEntropyDecoder decoder(*layout, *file);
        decoder.SetCoefficients(&coefficients, true);
        starts.clear();
        std::size_t openFirst = 0;  // this scan's MCUs before it lie in closed pieces
        for (;;) {
            if (search.GiveUp())
                return std::nullopt;
            starts.push_back(decoder.Current());
            const JpegEntropyDecoder::Step step = decoder.Next();
            if (step == JpegEntropyDecoder::Step::Decoded)
                continue;
            const JpegEntropyDecoder::State failedFrom = starts.back();
            starts.pop_back();
            if (step == JpegEntropyDecoder::Step::End)
                break;
            // A flat area's run of zeros is read through; one that fills a cluster may be a gap.
            const bool zeros = decoder.StoppedAtZeros();
            decoder.TakeBack(failedFrom.mcu);  // what the MCU that failed wrote of its blocks
            if (ReadOnThroughZeros(decoder, *file, search.grid, failedFrom))
                continue;

            // The scan broke at MCU `failed`: the open piece ends on the grid between an MCU of
            // this scan that starts in it and where the decoder stopped.
            const std::size_t failed = starts.size();
            const std::uint64_t openFileStart = file->OpenPieceFileStart();
            const auto volumeOf = [&](std::uint64_t fileOffset) { return openStart + (fileOffset - openFileStart); };
            std::size_t from = openFirst;
            while (from < failed && starts[from].position < openFileStart)
                ++from;
            if (search.Tracing())
                search.Trace(std::string(zeros ? "zeros" : "error") + " in scan " + std::to_string(scan) + " at MCU " +
                             std::to_string(failed) + " of " + std::to_string(decoder.McuCount()) + ", byte " +
                             std::to_string(decoder.Current().position) + " of the file, piece " +
                             std::to_string(closed.size() + 1));
            if (from >= failed || closed.size() + 1 >= search.maxPieces)
                return std::nullopt;
            std::vector<std::uint64_t> ends = search.BoundariesIn(openStart, volumeOf(starts[from].position),
                                                                  volumeOf(decoder.Current().position) + 1);
            if (ends.size() > kEndsTried)
                ends.erase(ends.begin(), ends.end() - kEndsTried);

            struct Joint {
                std::uint64_t pieceEnd, continuation;
                std::size_t firstMcu;
            };
            // Continuations that decode to the scan's end, and those that decode their whole first
            // cluster and break off after it (a short piece, with another break after it).
            std::vector<Joint> found, shortPieces;
            for (auto end = ends.rbegin(); end != ends.rend() && found.size() < 2; ++end) {
                const std::uint64_t joint = openFileStart + (*end - openStart);
                // The last MCU that starts with all its bits read before the joint.
                const auto after = std::upper_bound(starts.begin() + static_cast<std::ptrdiff_t>(from), starts.end(), joint,
                                                    [](std::uint64_t at, const JpegEntropyDecoder::State& state) {
                                                        return at < state.position;
                                                    });
                if (after == starts.begin() + static_cast<std::ptrdiff_t>(from))
                    continue;
                const std::size_t first = static_cast<std::size_t>(after - starts.begin()) - 1;
                std::vector<ByteRange> pieces = closed;
                pieces.push_back({openStart, *end - openStart});
                for (const std::uint64_t next : search.DistinctContinuations(*end, pieces, contents)) {
                    if (search.GiveUp())
                        return std::nullopt;
                    // The rest of the scan decoded over the continuation, what this scan wrote
                    // taken back as it is read; then the next scan's headers or the image's end.
                    PiecesByteSource trialFile(search.volume, pieces, next, search.maxFileBytes);
                    JpegEntropyDecoder trial(*layout, trialFile);
                    trial.SetCoefficients(&coefficients, false, failed + 1);
                    trial.Restore(starts[first]);
                    JpegEntropyDecoder::Step trialStep;
                    for (;;) {
                        if (search.GiveUp())
                            return std::nullopt;
                        const JpegEntropyDecoder::State before = trial.Current();
                        trialStep = trial.Next();
                        if (trialStep == JpegEntropyDecoder::Step::Decoded ||
                            (trialStep == JpegEntropyDecoder::Step::Error &&
                             ReadOnThroughZeros(trial, trialFile, search.grid, before)))
                            continue;
                        break;
                    }
                    if (trialStep == JpegEntropyDecoder::Step::Error &&
                        trial.Current().position >= joint + search.grid.clusterBytes && shortPieces.size() < 2)
                        shortPieces.push_back({*end, next, first});
                    if (trialStep != JpegEntropyDecoder::Step::End || trial.Current().position <= joint ||
                        !ReadNextJpegScan(trialFile, trial.EndOffset(), *layout))
                        continue;
                    found.push_back({*end, next, first});
                    if (found.size() > 1)
                        break;
                }
            }
            if (search.Tracing())
                search.Trace("  " + std::to_string(ends.size()) + " piece ends: " + std::to_string(found.size()) +
                             (found.size() > 1 ? " or more" : "") + " continuations decode to the scan's end, " +
                             std::to_string(shortPieces.size()) + (shortPieces.size() > 1 ? " or more" : "") +
                             " through their first cluster");
            // A short piece that alone decodes whole is taken; the break after it is searched the
            // same way, and the file is whole only when every scan then decodes to its end.
            if (found.empty() && shortPieces.size() == 1 && closed.size() + 2 < search.maxPieces)
                found = shortPieces;
            if (found.size() != 1) {
                if (!zeros)
                    return std::nullopt;
                search.Trace("  the run of zeros is taken for the picture's own");
                decoder.ResumeThroughZeros(failedFrom);
                continue;
            }
            const Joint& best = found.front();
            for (std::size_t mcu = best.firstMcu; mcu <= failed; ++mcu)
                decoder.TakeBack(mcu);
            closed.push_back({openStart, best.pieceEnd - openStart});
            openStart = best.continuation;
            file = std::make_unique<PiecesByteSource>(search.volume, closed, openStart, search.maxFileBytes);
            decoder.SetSource(*file);
            decoder.Restore(starts[best.firstMcu]);
            starts.resize(best.firstMcu);
            openFirst = best.firstMcu;
        }
        std::optional<JpegScanLayout> next = ReadNextJpegScan(*file, decoder.EndOffset(), *layout);
        if (!next) {
            search.Trace("no headers after scan " + std::to_string(scan));
            return std::nullopt;
        }
        if (next->imageEnd != 0)
            return closed.empty() ? std::nullopt : std::optional(file->PiecesFor(next->imageEnd));
        layout = std::move(next);
    }
}

}  // namespace quorvex
