#include "FragmentJoin.h"
#include "JpegEntropy.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <unordered_map>

namespace quorvex {
namespace {

// How each MCU meets its neighbours: the mean absolute difference of the pixels along its top
// edge from those of the MCU above, and along its left edge from those of the MCU to its left
// (the bottom rows and right columns of the MCUs decoded are kept). Natural pictures change
// little from one pixel to the next, across block edges too; a wrong continuation jumps.
class EdgeTable {
public:
    // How an MCU met its neighbours; negative where it has none.
    struct Meeting {
        double above = -1, left = -1;
        double Cost() const
        {
            return above >= 0 && left >= 0 ? (above + left) / 2 : std::max({above, left, 0.0});
        }
    };

    EdgeTable() = default;
    explicit EdgeTable(const JpegScanLayout& layout) { Reset(layout); }

    std::size_t Count() const { return costs_.size(); }
    // Empties the table for another picture; its memory stays.
    void Reset(const JpegScanLayout& layout)
    {
        across_ = 8 * static_cast<std::size_t>(layout.LumaAcross());
        down_ = 8 * static_cast<std::size_t>(layout.LumaDown());
        perLine_ = layout.mcusPerLine;
        offset_ = 0;
        costs_.clear();
        edges_.clear();
    }
    void Reserve(std::size_t count)
    {
        costs_.reserve(count);
        edges_.reserve(count * (across_ + down_));
    }
    void Truncate(std::size_t count)
    {
        costs_.resize(count);
        edges_.resize(count * (across_ + down_));
    }

    // Records MCU number Count() with the edges `mcu`; returns how it meets its neighbours.
    Meeting Add(const JpegEntropyDecoder::LumaEdges& mcu) { return AddAfter(*this, mcu); }

    // The same, for an MCU whose earlier neighbours may lie in `base` (those before base's count).
    Meeting AddAfter(const EdgeTable& base, const JpegEntropyDecoder::LumaEdges& mcu)
    {
        const std::size_t m = offset_ + costs_.size();
        Meeting meeting;
        if (m >= perLine_) {
            const std::uint8_t* above = EdgesOf(base, m - perLine_);
            int sum = 0;
            for (std::size_t i = 0; i < across_; ++i)
                sum += std::abs(mcu.top[i] - above[i]);
            meeting.above = static_cast<double>(sum) / static_cast<double>(across_);
        }
        if (m % perLine_ != 0) {
            const std::uint8_t* left = EdgesOf(base, m - 1) + across_;
            int sum = 0;
            for (std::size_t k = 0; k < down_; ++k)
                sum += std::abs(mcu.left[k] - left[k]);
            meeting.left = static_cast<double>(sum) / static_cast<double>(down_);
        }
        edges_.insert(edges_.end(), mcu.bottom.begin(), mcu.bottom.begin() + static_cast<std::ptrdiff_t>(across_));
        edges_.insert(edges_.end(), mcu.right.begin(), mcu.right.begin() + static_cast<std::ptrdiff_t>(down_));
        costs_.push_back(meeting.Cost());
        return meeting;
    }

    // A table for the MCUs from `first` on, whose earlier neighbours are in another table.
    static EdgeTable After(const JpegScanLayout& layout, std::size_t first)
    {
        EdgeTable table(layout);
        table.offset_ = first;
        return table;
    }

    // The mean cost of the MCUs in [from, to).
    double MeanCost(std::size_t from, std::size_t to) const
    {
        double sum = 0;
        for (std::size_t m = from; m < to && m < costs_.size(); ++m)
            sum += costs_[m];
        return to > from ? sum / static_cast<double>(to - from) : 0.0;
    }

private:
    const std::uint8_t* EdgesOf(const EdgeTable& base, std::size_t m) const
    {
        if (m >= offset_)
            return &edges_[(m - offset_) * (across_ + down_)];
        return &base.edges_[m * (across_ + down_)];
    }

    std::size_t across_ = 8, down_ = 8, perLine_ = 1;  // pixels along an MCU's top and left edges
    std::size_t offset_ = 0;
    std::vector<double> costs_;
    std::vector<std::uint8_t> edges_;
};

struct Trial {
    std::uint64_t pieceEnd;
    std::uint64_t continuation;
    std::size_t firstMcu;
    double cost;
    bool toTheEnd = false;    // the file decodes from the joint to its end marker
    bool restartsProve = false;  // restart markers after the joint came in turn
};

}  // namespace

std::optional<std::vector<ByteRange>> JoinJpegPieces(const JoinSearch& search)
{
    std::vector<ByteRange> closed;
    std::uint64_t openStart = search.fileStart;
    auto file = std::make_unique<PiecesByteSource>(search.volume, closed, openStart, search.maxFileBytes);
    const std::optional<JpegScanLayout> header = ReadJpegScanLayout(*file);
    if (!header) {
        if (const auto first = ReadFirstJpegScan(*file); first && first->progressive)
            return JoinProgressiveJpegPieces(search);
    }
    if (!header || header->McuCount() == 0 || header->McuCount() > (1u << 26)) {
        search.Trace("JPEG headers the strict decoder does not take (arithmetic coding, or malformed)");
        return std::nullopt;
    }
    const JpegScanLayout& layout = *header;
    const std::size_t perLine = layout.mcusPerLine;

    JpegEntropyDecoder decoder(layout, *file);
    // The edges of each MCU decoded, and the decoder's state before it: their memory is kept
    // from file to file (fresh memory for every photo costs as much as decoding it). A header
    // that claims a huge picture over a few bytes gets no more room than the MCUs it really has.
    const std::size_t expected = static_cast<std::size_t>(std::min<std::uint64_t>(layout.McuCount(), 1u << 16));
    static thread_local EdgeTable edges;
    edges.Reset(layout);
    edges.Reserve(expected);
    static thread_local std::vector<JpegEntropyDecoder::State> starts;
    starts.clear();
    starts.reserve(expected);
    JpegEntropyDecoder::LumaEdges mcuEdges;
    std::size_t openFirstMcu = 0;  // the first MCU that starts in the open piece
    std::uint64_t rowsFlagged = 0;  // rows up to here have been judged for a jump
    ClusterContents contents;
    JpegEntropyDecoder::State failedFrom;  // the decoder's state before the MCU that failed
    bool provenToTheEnd = false;  // the last joint decodes to the end: the picture's jumps are its own
    // After a break that no continuation explains: a jump is the picture's own (a horizon), and
    // so is a run of zero bytes (a flat area), which the decode then reads through; anything else
    // ends the search.
    // A joint taken at a jump may be wrong (the jump the picture's own, and a continuation that
    // fits it found elsewhere): when the search fails later, it goes back to the jump and on
    // without the joint.
    struct BeforeJoint {
        std::vector<ByteRange> closed;
        std::uint64_t openStart;
        JpegEntropyDecoder::State state;
        std::vector<JpegEntropyDecoder::State> starts;
        EdgeTable edges;
        std::size_t openFirstMcu;
        std::uint64_t rowsFlagged;
    };
    std::vector<BeforeJoint> jointsToUndo;
    const auto goBack = [&] {
        if (jointsToUndo.empty())
            return false;
        BeforeJoint& before = jointsToUndo.back();
        search.Trace("  back to before the joint at MCU " + std::to_string(before.starts.size()));
        closed = std::move(before.closed);
        openStart = before.openStart;
        file = std::make_unique<PiecesByteSource>(search.volume, closed, openStart, search.maxFileBytes);
        decoder.SetSource(*file);
        decoder.Restore(before.state);
        starts = std::move(before.starts);
        edges = std::move(before.edges);
        openFirstMcu = before.openFirstMcu;
        rowsFlagged = before.rowsFlagged;
        jointsToUndo.pop_back();
        return true;
    };
    const auto goOnAfterAll = [&](bool jumped) {
        if (jumped)
            return true;
        if (!decoder.StoppedAtZeros())
            return goBack();
        search.Trace("  the run of zeros is taken for the picture's own");
        decoder.ResumeThroughZeros(failedFrom);
        return true;
    };
    for (;;) {
        if (search.GiveUp())
            return std::nullopt;
        starts.push_back(decoder.Current());
        const JpegEntropyDecoder::Step step = decoder.Next(&mcuEdges);
        bool jumped = false;
        if (step == JpegEntropyDecoder::Step::Decoded) {
            edges.Add(mcuEdges);
            // A row that stands far from the picture above it, in data that decodes without an
            // error: the data of another picture coded with the same tables, or an empty area.
            const std::size_t decoded = edges.Count();
            if (provenToTheEnd || decoded % perLine != 0 || decoded / perLine < 3 || decoded / perLine <= rowsFlagged)
                continue;
            const std::size_t row = decoded / perLine - 1;
            const double usual = edges.MeanCost(perLine, row * perLine);
            if (edges.MeanCost(row * perLine, decoded) <= 3.0 * usual + 6.0)
                continue;
            rowsFlagged = row + 1;
            jumped = true;
        } else {
            failedFrom = starts.back();
            starts.pop_back();
        }
        if (step == JpegEntropyDecoder::Step::End)
            return closed.empty() ? std::nullopt : std::optional(file->PiecesFor(decoder.EndOffset()));
        // An empty area between pieces is whole clusters of zeros: a shorter run is a flat area
        // of the picture, read through at once.
        if (step == JpegEntropyDecoder::Step::Error && ReadOnThroughZeros(decoder, *file, search.grid, failedFrom))
            continue;

        // The data broke at MCU `failed`: the open piece ends on the grid somewhere from a row
        // before it to where the decoder stopped, and goes on after a gap. After a jump the piece
        // ends in this row or the one before; a jump that no continuation explains is taken for
        // the picture's own (a horizon) and the decode goes on.
        if (closed.size() + 1 >= search.maxPieces) {
            if (!goOnAfterAll(jumped))
                return std::nullopt;
            continue;
        }
        const std::size_t failed = starts.size();
        const std::uint64_t openFileStart = file->OpenPieceFileStart();
        const auto volumeOf = [&](std::uint64_t fileOffset) { return openStart + (fileOffset - openFileStart); };
        // The first MCU that starts in the open piece (those of a closed piece decoded well: the
        // joint is not there).
        std::size_t openFirst = openFirstMcu;
        while (openFirst < starts.size() && starts[openFirst].position < openFileStart)
            ++openFirst;

        // Decodes from MCU `first` over the file with its open piece ending at `end` and going on
        // at `next`, up to MCU `target` (and the end marker after the last one). Nullopt at an
        // error, or as soon as the continuation stands more than `limit` apart from the picture.
        struct Costs {
            double joint;  // the mean cost of the MCUs around the joint (a row and a little)
            double later;  // the same of the MCUs after those: how the continuation itself goes
            int restarts;  // restart markers in turn after the joint
            bool apart = false;  // given up early, its joint standing too far apart
        };
        const std::size_t jointMcus = perLine + 4;
        // Restart markers within a trial's reach: a continuation of other bytes fails at the first
        // of them, and one that passes two in turn is the picture's own.
        const bool restartsSoon = layout.restartInterval != 0 && layout.restartInterval <= 2 * perLine;
        constexpr int kRestartsThatProve = 2;
        constexpr std::size_t kMostApartDecodedToTheEnd = 1024;
        constexpr double kNoLimit = std::numeric_limits<double>::infinity();
        // With `judgeLater`, the MCUs after the joint's row are judged too (Costs::later); otherwise
        // they are only decoded.
        const auto tryJoint = [&](std::uint64_t end, std::uint64_t next, std::size_t first, std::uint64_t target,
                                  double limit, bool judgeLater = false) -> std::optional<Costs> {
            std::vector<ByteRange> pieces = closed;
            pieces.push_back({openStart, end - openStart});
            PiecesByteSource trialFile(search.volume, std::move(pieces), next, search.maxFileBytes);
            JpegEntropyDecoder trial(layout, trialFile);
            trial.Restore(starts[first]);
            EdgeTable trialEdges = EdgeTable::After(layout, first);
            double jointSum = 0, laterSum = 0;
            int restarts = 0;  // restart markers taken after the joint
            const std::uint64_t joint = openFileStart + (end - openStart);
            bool secondBreak = false;
            while (trial.Current().mcu < target) {
                const JpegEntropyDecoder::State before = trial.Current();
                const bool judged = judgeLater || trialEdges.Count() < jointMcus;
                if (const auto trialStep = trial.Next(judged ? &mcuEdges : nullptr); trialStep != JpegEntropyDecoder::Step::Decoded) {
                    if (trialStep == JpegEntropyDecoder::Step::Error &&
                        ReadOnThroughZeros(trial, trialFile, search.grid, before))
                        continue;
                    // An error only after the continuation's whole first cluster was read (the MCU
                    // that failed may have begun in it), its MCUs fitting so far: the piece may be
                    // that short (another break follows it), and the joint is judged on what it held.
                    secondBreak = trialStep == JpegEntropyDecoder::Step::Error && trialEdges.Count() >= 8 &&
                                  trial.Current().position >= joint + search.grid.clusterBytes;
                    if (!secondBreak)
                        return std::nullopt;
                    break;
                }
                restarts += layout.restartInterval != 0 && before.mcu != 0 && before.mcu % layout.restartInterval == 0 &&
                            before.position >= joint;
                if (!judged)
                    continue;
                const EdgeTable::Meeting meeting = trialEdges.AddAfter(edges, mcuEdges);
                const std::size_t decoded = trialEdges.Count();
                if (decoded > jointMcus)
                    laterSum += meeting.Cost();
                if (decoded > perLine)
                    continue;
                // The joint shows where the MCUs meet those decoded before the trial: along their
                // tops in a row under the picture so far (along their left edges in the first row).
                jointSum += meeting.above >= 0 ? meeting.above : meeting.Cost();
                // A continuation already far apart is given up early (a few blocks may stand
                // out), unless restart markers soon prove or refute it.
                const double mean = jointSum / static_cast<double>(decoded);
                if (!restartsSoon && ((decoded >= 4 && mean > 2 * limit) || (decoded >= 16 && mean > limit)))
                    return Costs{mean, 0.0, restarts, true};
            }
            if (target == layout.McuCount() && (secondBreak || trial.Next() != JpegEntropyDecoder::Step::End))
                return std::nullopt;
            // The continuation must have supplied bits: a decode that ended before the joint
            // tested nothing.
            if (trial.Current().position <= joint)
                return std::nullopt;
            const std::size_t decoded = trialEdges.Count();
            return Costs{jointSum / static_cast<double>(std::max<std::size_t>(std::min(decoded, perLine), 1)),
                         decoded > jointMcus ? laterSum / static_cast<double>(decoded - jointMcus) : 0.0, restarts};
        };

        // The one joint, with the open piece ending between the start of MCU `firstTried` and
        // `stoppedAt` (file offsets), that is clearly better than any other; nullopt when none is.
        // The MCUs before `usualUpTo` show how the picture goes.
        const auto findJoint = [&](std::size_t firstTried, std::uint64_t stoppedAt,
                                   std::size_t usualUpTo) -> std::optional<Trial> {
            std::vector<std::uint64_t> ends =
                search.BoundariesIn(openStart, volumeOf(starts[firstTried].position), volumeOf(stoppedAt) + 1);
            if (ends.size() > 64)
                ends.erase(ends.begin(), ends.end() - 64);
            // How far blocks stand from their neighbours in the picture so far: what a right
            // continuation looks like.
            // (In the first row, the MCUs have only their left neighbours to stand apart from.)
            const double usual =
                usualUpTo > perLine ? edges.MeanCost(perLine, usualUpTo) : edges.MeanCost(1, std::max<std::size_t>(usualUpTo, 2));
            // The most a right continuation stands apart; in the first rows, with little of the
            // picture to go by, more.
            const double limit = 4.0 * usual + (usualUpTo > 2 * perLine ? 8.0 : 32.0);
            std::vector<Trial> survivors, apart;
            for (const std::uint64_t end : ends) {
                const std::uint64_t joint = openFileStart + (end - openStart);
                // The last MCU that starts before the joint with all its bits read before it.
                std::size_t first = firstTried;
                while (first + 1 < starts.size() && starts[first + 1].position <= joint)
                    ++first;
                if (starts[first].position > joint)
                    continue;
                // Far enough to judge the joint's row, and to take the restart markers that prove it.
                std::uint64_t reach = first + jointMcus;
                if (restartsSoon)
                    reach = std::max<std::uint64_t>(reach, (first / layout.restartInterval + kRestartsThatProve) * layout.restartInterval + 1);
                const std::uint64_t target = std::min<std::uint64_t>(layout.McuCount(), reach);
                std::vector<ByteRange> pieces = closed;
                pieces.push_back({openStart, end - openStart});
                for (const std::uint64_t next : search.DistinctContinuations(end, pieces, contents)) {
                    if (search.GiveUp())
                        return std::nullopt;
                    if (const auto costs = tryJoint(end, next, first, target, limit))
                        (costs->apart ? apart : survivors)
                            .push_back({end, next, first, costs->joint, false, costs->restarts >= kRestartsThatProve});
                }
            }
            std::sort(survivors.begin(), survivors.end(), [](const Trial& a, const Trial& b) { return a.cost < b.cost; });
            if (search.Tracing())
                search.Trace("  " + std::to_string(ends.size()) + " piece ends from MCU " + std::to_string(firstTried) +
                             ": " + std::to_string(survivors.size() + apart.size()) + " continuations decode (" +
                             std::to_string(apart.size()) + " far apart)" +
                             (survivors.empty() ? std::string()
                                                : ", best at " + std::to_string(survivors[0].continuation) + " cost " +
                                                      std::to_string(survivors[0].cost)) +
                             (survivors.size() > 1 ? ", next cost " + std::to_string(survivors[1].cost) : std::string()) +
                             ", limit " + std::to_string(limit));
            // The one continuation that took restart markers in turn, and fits best, is the
            // picture's own however far its joint stands apart (a picture of sharp edges, a
            // screenshot). (Another picture's data with the same tables and interval that took
            // the first marker by chance takes the rest too: its fit tells it.)
            if (!survivors.empty() && survivors[0].restartsProve &&
                std::count_if(survivors.begin(), survivors.end(), [](const Trial& t) { return t.restartsProve; }) == 1) {
                search.Trace("  only one takes the restart markers after it");
                return survivors[0];
            }
            if (survivors.empty() || survivors[0].cost > limit) {
                // The joint may stand apart where the picture does itself (a horizon, the edge of a
                // window in a screenshot): of those that decode, the one that alone decodes to the
                // file's end, its end marker right after its last MCU, is the file's own.
                apart.insert(apart.end(), survivors.begin(), survivors.end());
                std::sort(apart.begin(), apart.end(), [](const Trial& a, const Trial& b) { return a.cost < b.cost; });
                std::optional<Trial> ending;
                for (std::size_t n = 0; n < apart.size() && n < kMostApartDecodedToTheEnd; ++n) {
                    if (search.GiveUp())
                        return std::nullopt;
                    const Trial& trial = apart[n];
                    if (!tryJoint(trial.pieceEnd, trial.continuation, trial.firstMcu, layout.McuCount(), kNoLimit))
                        continue;
                    if (ending)
                        return std::nullopt;
                    ending = trial;
                    ending->toTheEnd = true;
                }
                if (ending)
                    search.Trace("  of " + std::to_string(apart.size()) + " standing apart, only one decodes to the end");
                return ending;
            }
            // (Two that fit perfectly, as empty areas decoded do, are as close as can be.)
            if (survivors.size() == 1 || (survivors[1].cost > 0 && survivors[0].cost <= 0.6 * survivors[1].cost))
                return survivors[0];
            // Others come close to the best. A continuation that decodes to the file's end, with
            // the end marker right after the last MCU, is the file's own: when only one does, it
            // is taken. Otherwise each is decoded eight rows on and judged by how far its joint
            // stands apart compared with how its own rows after it go: another picture's data is
            // smooth in itself but not where it meets this one, and data that skips or repeats
            // some of the file's own comes apart.
            std::vector<Trial> close, toTheEnd;
            for (const Trial& trial : survivors) {
                if (trial.cost * 0.6 > survivors[0].cost || close.size() > 8)
                    break;
                close.push_back(trial);
                if (tryJoint(trial.pieceEnd, trial.continuation, trial.firstMcu, layout.McuCount(), limit))
                    toTheEnd.push_back(trial);
                if (search.GiveUp())
                    return std::nullopt;
            }
            if (toTheEnd.size() == 1) {
                search.Trace("  only one decodes to the end");
                toTheEnd[0].toTheEnd = true;
                return toTheEnd[0];
            }
            std::vector<Trial> further;
            for (const Trial& trial : toTheEnd.empty() ? close : toTheEnd) {
                const std::uint64_t target = std::min<std::uint64_t>(layout.McuCount(), trial.firstMcu + 8 * perLine);
                if (const auto costs = tryJoint(trial.pieceEnd, trial.continuation, trial.firstMcu, target, limit, true))
                    further.push_back({trial.pieceEnd, trial.continuation, trial.firstMcu,
                                       costs->joint / std::max(costs->later, 1.0)});
                if (search.GiveUp())
                    return std::nullopt;
            }
            std::sort(further.begin(), further.end(), [](const Trial& a, const Trial& b) { return a.cost < b.cost; });
            if (search.Tracing())
                search.Trace("  decoded on: " + std::to_string(further.size()) + " hold" +
                             (further.empty() ? std::string() : ", best ratio " + std::to_string(further[0].cost)) +
                             (further.size() > 1 ? ", next " + std::to_string(further[1].cost) : std::string()));
            if (further.empty() || further[0].cost > 2.5)
                return std::nullopt;  // even the best joint stands far apart from its own picture
            if (further.size() > 1 && (further[1].cost <= 0 || further[0].cost > 0.6 * further[1].cost))
                return std::nullopt;
            return further[0];
        };

        if (search.Tracing())
            search.Trace(std::string(jumped ? "jump" : decoder.StoppedAtZeros() ? "zeros" : "error") + " at MCU " + std::to_string(starts.size()) + " of " +
                         std::to_string(layout.McuCount()) + " (" + std::to_string(perLine) + " a row), byte " +
                         std::to_string(decoder.Current().position) + " of the file, piece " +
                         std::to_string(closed.size() + 1));
        const std::size_t reachBack = jumped ? 2 * perLine : perLine;
        const std::size_t firstTried = std::max(openFirst, failed > reachBack ? failed - reachBack : 0);
        std::optional<Trial> joint =
            firstTried < starts.size() ? findJoint(firstTried, decoder.Current().position, firstTried) : std::nullopt;
        // An error may come rows after the break, when what lay between decoded without one
        // (another picture's data with the same tables): the rest of the open piece before the
        // place searched is searched too.
        if (!joint && !jumped && firstTried > openFirst + perLine)
            joint = findJoint(openFirst + perLine, starts[firstTried].position, firstTried);
        if (!joint) {
            if (!goOnAfterAll(jumped))
                return std::nullopt;
            continue;
        }
        const Trial& best = *joint;
        provenToTheEnd = best.toTheEnd;
        if (jumped && jointsToUndo.size() < 4)
            jointsToUndo.push_back({closed, openStart, decoder.Current(), starts, edges, openFirstMcu, rowsFlagged});

        closed.push_back({openStart, best.pieceEnd - openStart});
        openStart = best.continuation;
        file = std::make_unique<PiecesByteSource>(search.volume, closed, openStart, search.maxFileBytes);
        decoder.SetSource(*file);
        decoder.Restore(starts[best.firstMcu]);
        starts.resize(best.firstMcu);
        edges.Truncate(best.firstMcu);
        openFirstMcu = best.firstMcu;
    }
}

}  // namespace quorvex
