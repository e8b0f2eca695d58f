#include "BmffFormat.h"
#include "FragmentJoin.h"
#include "SampleDecoding.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <string>

namespace quorvex {

namespace {

constexpr std::uint64_t kMostIndexBytes = 64ull << 20;  // a movie box's bound
constexpr std::size_t kMostIndexCandidates = 4;
constexpr std::size_t kMostBreakCandidates = 64;  // piece ends tried by decoding at one break
constexpr int kUnitsAfterContinuation = 8;        // coded units a continuation is followed for
constexpr std::size_t kMostAlikeFollowed = 4;     // continuations holding alike followed on, in all

bool Is(const std::array<char, 4>& type, std::string_view name)
{
    return std::string_view(type.data(), type.size()) == name;
}

// A movie's top-level boxes as they lie from its first byte on, as far as they read.
struct MovieOutline {
    std::uint64_t mdatPayload = 0, mdatEnd = 0;
    std::optional<std::uint64_t> indexAt;  // the movie box, read where it lies
    std::uint64_t indexEnd = 0;
    std::uint64_t after = 0;  // where the boxes stop reading
};

std::optional<MovieOutline> ReadOutline(ByteSource& file)
{
    MovieOutline outline;
    bool data = false;
    for (int n = 0; n < 64; ++n) {
        const auto box = ReadBmffBox(file, outline.after);
        if (!box || box->end == 0)
            break;
        const auto& t = box->type;
        if (n == 0 && !Is(t, "ftyp") && !Is(t, "moov") && !Is(t, "mdat") && !Is(t, "wide") && !Is(t, "free"))
            return std::nullopt;
        if (!(Is(t, "ftyp") || Is(t, "moov") || Is(t, "mdat") || Is(t, "free") || Is(t, "skip") || Is(t, "wide") ||
              Is(t, "uuid") || Is(t, "udta")) ||
            (Is(t, "ftyp") && n != 0))
            break;
        if (Is(t, "moov") && !outline.indexAt) {
            outline.indexAt = outline.after;
            outline.indexEnd = box->end;
        }
        if (Is(t, "mdat") && !data) {
            data = true;
            outline.mdatPayload = box->payload;
            outline.mdatEnd = box->end;
        }
        outline.after = box->end;
        if (data && outline.indexAt)
            break;  // what follows both may be another file
    }
    if (!data)
        return std::nullopt;
    return outline;
}

// A movie laid on the volume: pieces closed so far and the open one, from file offset `openFrom`.
struct MovieLayout {
    std::vector<ByteRange> closed;
    std::uint64_t openStart = 0;  // on the volume
    std::uint64_t openFrom = 0;   // in the file

    // The closed pieces and the open one as far as file offset `end`.
    std::vector<ByteRange> PiecesTo(std::uint64_t end) const
    {
        std::vector<ByteRange> pieces = closed;
        pieces.push_back({openStart, std::max<std::uint64_t>(end - openFrom, 1)});
        return pieces;
    }
    // The same with the open piece ending at file offset `end` and the next beginning at `next`.
    MovieLayout Broken(std::uint64_t end, std::uint64_t next) const
    {
        MovieLayout broken = *this;
        broken.closed.push_back({openStart, end - openFrom});
        broken.openStart = next;
        broken.openFrom = end;
        return broken;
    }
};

// A place of the file known on the volume: where its index was found, or where the piece that
// holds its index's second part begins.
struct Anchor {
    std::uint64_t fileOffset = 0;
    std::uint64_t volumeOffset = 0;
    std::uint64_t notBefore = 0;  // a break before it lies at or after this file offset
};

class MovieSearch {
public:
    MovieSearch(const JoinSearch& search, const MovieTables& tables, std::uint64_t length, std::optional<Anchor> anchor)
        : search_(search), tables_(tables), length_(length), anchor_(anchor)
    {
        for (std::size_t i = 0; i < tables_.samples.size(); ++i) {
            const MovieSample& sample = tables_.samples[i];
            const MovieTrack& track = tables_.tracks[sample.track];
            if (track.video && sample.size > 0)
                video_.push_back(i);
            byNumber_[{sample.track, sample.number}] = i;
        }
        for (const MovieTrack& track : tables_.tracks)
            decoders_.emplace_back(track);
    }

    std::optional<std::vector<ByteRange>> Run()
    {
        MovieLayout layout;
        layout.openStart = search_.fileStart;
        const std::uint64_t proven = tables_.samples.empty() ? 0 : std::min(tables_.samples.front().offset, length_);
        if (anchor_ && anchor_->fileOffset <= proven) {
            // The index ran on into the piece the data follows in.
            layout = layout.Broken(anchor_->fileOffset, anchor_->volumeOffset);
            anchor_.reset();
        }
        return RunFrom(layout, 0, proven);
    }

private:
    // The movie's pieces, laid as `layout` lays them as far as the video sample video_[next] and
    // mended after it; `proven` is where the units in place reach.
    std::optional<std::vector<ByteRange>> RunFrom(MovieLayout layout, std::size_t next, std::uint64_t proven)
    {
        while (next < video_.size()) {
            if (search_.GiveUp())
                return std::nullopt;
            const MovieSample& sample = tables_.samples[video_[next]];
            const auto failed = FirstUnitThatFails(layout, sample, proven);
            if (!failed) {
                ++next;
                continue;
            }
            if (layout.closed.size() + 2 > search_.maxPieces)
                return Refuse("too many pieces");
            const std::vector<MovieLayout> mended = MendBreak(layout, proven, *failed, next);
            if (mended.empty())
                return std::nullopt;
            if (mended.size() == 1) {
                layout = mended.front();
                continue;
            }
            // Continuations that hold alike for a few units, a short piece each: each is followed
            // on, and the one the movie then holds together over is the movie's.
            std::optional<std::vector<ByteRange>> found;
            for (const MovieLayout& alternative : mended) {
                auto pieces = RunFrom(alternative, next, proven);
                if (pieces && found)
                    return Refuse("two continuations alike hold");
                if (pieces)
                    found = std::move(pieces);
            }
            return found;
        }
        // The index, when it was found away from the data: the last piece must lay it there.
        if (anchor_ && Laid(layout, anchor_->fileOffset) != anchor_->volumeOffset) {
            if (layout.closed.size() + 2 > search_.maxPieces)
                return Refuse("too many pieces");
            const auto mended = MendBefore(layout, std::max(proven, anchor_->notBefore), *anchor_);
            if (!mended)
                return std::nullopt;
            layout = *mended;
        } else if (!anchor_ && !TailDecodes(layout, proven)) {
            return Refuse("the data after the last coded unit does not decode");
        }
        if (layout.closed.empty())
            return Refuse("no break found");
        return Finished(layout);
    }

    std::nullopt_t Refuse(const std::string& why) const
    {
        search_.Trace("movie refused: " + why);
        return std::nullopt;
    }

    PiecesByteSource Source(const MovieLayout& layout) const
    {
        return PiecesByteSource(search_.volume, layout.closed, layout.openStart, length_);
    }

    std::uint64_t Laid(const MovieLayout& layout, std::uint64_t fileOffset) const
    {
        return layout.openStart + (fileOffset - layout.openFrom);
    }

    // Where the first of the sample's coded units that does not begin where the layout puts it
    // lies (nullopt: all of them do); `proven` moves past each unit that does.
    std::optional<std::uint64_t> FirstUnitThatFails(const MovieLayout& layout, const MovieSample& sample,
                                                    std::uint64_t& proven) const
    {
        PiecesByteSource file = Source(layout);
        const MovieTrack& track = tables_.tracks[sample.track];
        for (std::uint64_t done = 0; done < sample.size;) {
            const std::uint64_t at = sample.offset + done;
            const auto unit = VideoUnitAt(file, track, at, sample.size - done);
            if (!unit)
                return at;
            proven = std::max(proven, at + HeadBytes(track));
            done += *unit;
        }
        return std::nullopt;
    }

    static std::uint64_t HeadBytes(const MovieTrack& track)
    {
        return track.nalLength > 0 ? static_cast<std::uint64_t>(track.nalLength) + 2 : 2;
    }

    // The grid points the layout's open piece may end at: after what is proven and before the file
    // offset `before` (the end of the head of the unit that failed, or just past the anchor).
    std::vector<std::uint64_t> PieceEnds(const MovieLayout& layout, std::uint64_t proven, std::uint64_t before) const
    {
        std::vector<std::uint64_t> ends;
        const std::uint64_t from = std::max(proven, layout.openFrom + 1);
        for (const std::uint64_t at : search_.BoundariesIn(layout.openStart, Laid(layout, from), Laid(layout, before)))
            if (at < Laid(layout, before))
                ends.push_back(layout.openFrom + (at - layout.openStart));
        return ends;
    }

    // A break before the video sample video_[next], whose unit at `failedAt` did not begin where
    // the layout put it: the continuation is where that unit and the ones after it begin, and the
    // piece end between what is proven and that unit is the one whose bytes decode. Several when
    // continuations hold alike for a few units only (a short piece each, with a break after it);
    // none when there is no continuation, or no telling.
    std::vector<MovieLayout> MendBreak(const MovieLayout& layout, std::uint64_t proven, std::uint64_t failedAt,
                                       std::size_t next)
    {
        const MovieSample& sample = tables_.samples[video_[next]];
        const MovieTrack& track = tables_.tracks[sample.track];
        const std::vector<std::uint64_t> ends = PieceEnds(layout, proven, failedAt + HeadBytes(track));
        if (ends.empty()) {
            Refuse("a unit at " + std::to_string(failedAt) + " fails with no piece end before it");
            return {};
        }
        // Where the unit may lie: as many clusters on or back as a continuation may from the last
        // piece end before it (a continuation of an earlier end would begin where the true one's
        // end puts the bytes before the break), or from a piece end inside its head.
        std::vector<std::uint64_t> laidFrom;
        const auto lastBefore = std::find_if(ends.rbegin(), ends.rend(), [&](std::uint64_t end) { return end <= failedAt; });
        if (lastBefore != ends.rend())
            laidFrom.push_back(*lastBefore);
        if (ends.back() > failedAt)
            laidFrom.push_back(ends.back());
        std::map<std::uint64_t, int> holding;  // by the unit's place (volume minus file offset, wrapped), the units that hold from it
        for (const std::uint64_t end : laidFrom) {
            for (const std::uint64_t start : search_.Continuations(Laid(layout, end) - 1, layout.PiecesTo(end))) {
                if (search_.GiveUp())
                    return {};
                const int held = holding.count(start - end) != 0 ? 0 : UnitsHolding(layout.Broken(end, start), next, failedAt);
                if (held > 0)
                    holding[start - end] = held;
            }
        }
        std::vector<std::pair<std::uint64_t, int>> shifts(holding.begin(), holding.end());
        if (shifts.empty()) {
            Refuse("no continuation for the unit at " + std::to_string(failedAt));
            return {};
        }
        std::stable_sort(shifts.begin(), shifts.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
        std::size_t alike = 1;
        while (alike < shifts.size() && shifts[alike].second * 2 >= shifts.front().second)
            ++alike;
        // Continuations alike: a short piece each may be the one, when a piece may follow it and
        // there are few enough to follow each on.
        if (alike > 1 && (shifts.front().second >= kUnitsAfterContinuation || layout.closed.size() + 3 > search_.maxPieces ||
                          alikeFollowed_ + alike > kMostAlikeFollowed)) {
            Refuse("continuations alike for the unit at " + std::to_string(failedAt));
            return {};
        }
        alikeFollowed_ += alike > 1 ? alike : 0;
        std::vector<MovieLayout> mended;
        for (std::size_t n = 0; n < alike; ++n) {
            const std::uint64_t shift = shifts[n].first;  // volume start minus file offset, wrapped
            if (auto chosen = ChooseEnd(layout, ends, [shift](std::uint64_t end) { return end + shift; }))
                mended.push_back(std::move(*chosen));
        }
        return mended;
    }

    // The break before the anchor, after the last coded unit: the piece end is the only one there
    // or the one whose bytes decode.
    std::optional<MovieLayout> MendBefore(const MovieLayout& layout, std::uint64_t proven, const Anchor& anchor)
    {
        const std::vector<std::uint64_t> ends = PieceEnds(layout, proven, anchor.fileOffset + 1);
        if (ends.empty())
            return Refuse("the index lies away from the data with no piece end before it");
        return ChooseEnd(layout, ends, [&](std::uint64_t end) { return anchor.volumeOffset - (anchor.fileOffset - end); });
    }

    // Of the piece ends, the one (continuing at startOf(end)) whose layout decodes: the only one,
    // or the only one of them whose samples across the differing bytes decode cleanly.
    template <typename StartOf>
    std::optional<MovieLayout> ChooseEnd(const MovieLayout& layout, const std::vector<std::uint64_t>& ends,
                                         StartOf startOf)
    {
        std::vector<MovieLayout> trials;
        for (const std::uint64_t end : ends) {
            const std::uint64_t start = startOf(end);
            const std::vector<ByteRange> pieces = layout.PiecesTo(end);
            const bool own = std::any_of(pieces.begin(), pieces.end(), [&](const ByteRange& piece) {
                return start >= piece.offset && start < piece.offset + piece.length;
            });
            if (start < search_.volume.Size() && !own && !search_.IsTaken(start))
                trials.push_back(layout.Broken(end, start));
        }
        if (trials.empty())
            return Refuse("no piece end whose continuation lies free");
        if (trials.size() == 1) {
            search_.Trace("movie break at " + std::to_string(trials[0].openFrom) + " proven by the tables");
            return trials[0];
        }
        if (trials.size() > kMostBreakCandidates)
            return Refuse(std::to_string(trials.size()) + " piece ends to try");
        const std::uint64_t from = trials.front().openFrom, to = trials.back().openFrom;
        std::vector<MovieLayout> clean, unproven;
        for (const MovieLayout& trial : trials) {
            if (search_.GiveUp())
                return std::nullopt;
            const auto decodes = SamplesDecode(trial, from, to, FramesBefore::LeftOut);
            if (!decodes)
                return Refuse("a sample across the break has no decoder");
            if (*decodes == SampleDecoding::Check::Clean)
                clean.push_back(trial);
            else if (*decodes == SampleDecoding::Check::Unproven)
                unproven.push_back(trial);
        }
        if (clean.size() > 1 || !unproven.empty()) {
            // Without the frames before them, a slice of other bytes may pass where it would not
            // with them, and a frame predicted from those may give no picture: these are decoded
            // again from their key frame on.
            clean.insert(clean.end(), unproven.begin(), unproven.end());
            std::erase_if(clean, [&](const MovieLayout& trial) {
                return search_.GiveUp() || SamplesDecode(trial, from, to, FramesBefore::Decoded) != SampleDecoding::Check::Clean;
            });
            if (clean.size() > 1)
                return Refuse("two piece ends decode");
        }
        if (clean.empty()) {
            if (auto middle = MiddlePiece(layout, ends, startOf))
                return middle;
            return Refuse("no piece end decodes");
        }
        search_.Trace("movie break at " + std::to_string(clean[0].openFrom) + " of " + std::to_string(trials.size()) +
                      " decodes");
        return clean[0];
    }

    // Two breaks between the same two coded units, the second piece in between a cluster or more:
    // the first break where the file's bytes give way to a cluster foreign to coded data, the
    // middle piece right after those foreign clusters, and its end the only one whose samples
    // decode.
    template <typename StartOf>
    std::optional<MovieLayout> MiddlePiece(const MovieLayout& layout, const std::vector<std::uint64_t>& ends,
                                           StartOf startOf)
    {
        const auto first = std::find_if(ends.begin(), ends.end(), [&](std::uint64_t end) { return ForeignAt(Laid(layout, end)); });
        if (first == ends.end() || layout.closed.size() + 3 > search_.maxPieces)
            return std::nullopt;
        const std::uint64_t step = search_.grid.clusterBytes;
        std::uint64_t middle = Laid(layout, *first);
        for (std::uint64_t skipped = 0; ForeignAt(middle); middle += step, skipped += step)
            if (skipped > search_.searchBytes || search_.GiveUp())
                return std::nullopt;
        std::optional<MovieLayout> clean;
        std::size_t tried = 0;
        for (auto end = first + 1; end != ends.end(); ++end) {
            const MovieLayout trial = layout.Broken(*first, middle).Broken(*end, startOf(*end));
            const std::uint64_t next = trial.openStart;
            const bool overlaps = next < middle + (*end - *first) && middle < next + step;
            if (overlaps || search_.IsTaken(next) || next >= search_.volume.Size())
                continue;
            if (search_.GiveUp() || ++tried > kMostBreakCandidates)
                return std::nullopt;
            if (SamplesDecode(trial, *first, ends.back()) == SampleDecoding::Check::Clean) {
                if (clean)
                    return Refuse("two middle pieces decode");
                clean = trial;
            }
        }
        if (clean)
            search_.Trace("movie breaks at " + std::to_string(*first) + " and " + std::to_string(clean->openFrom) +
                          ", a middle piece at " + std::to_string(middle) + " between, decode");
        return clean;
    }

    // Whether the cluster at `at` on the volume cannot be the movie's coded data.
    bool ForeignAt(std::uint64_t at) const
    {
        if (search_.IsTaken(at))
            return true;
        std::vector<unsigned char> cluster(static_cast<std::size_t>(search_.grid.clusterBytes));
        return !ReadExactly(search_.volume, at, cluster) || ForeignToCodedData(cluster);
    }

    // How many coded units hold in a row from the video sample video_[next]'s unit at `failedAt`
    // (0 when that one does not), followed for a few samples.
    int UnitsHolding(const MovieLayout& layout, std::size_t next, std::uint64_t failedAt) const
    {
        PiecesByteSource file = Source(layout);
        int held = 0;
        for (std::size_t n = next; n < video_.size() && held < kUnitsAfterContinuation; ++n) {
            const MovieSample& sample = tables_.samples[video_[n]];
            const MovieTrack& track = tables_.tracks[sample.track];
            for (std::uint64_t done = 0; done < sample.size && held < kUnitsAfterContinuation;) {
                const std::uint64_t at = sample.offset + done;
                const auto unit = VideoUnitAt(file, track, at, sample.size - done);
                if (at >= failedAt) {
                    if (!unit)
                        return held;
                    ++held;
                }
                if (!unit)
                    return 0;  // a unit before the break fails: the layout is not this one
                done += *unit;
            }
        }
        return held;
    }

    // How a video sample is decoded: after its sync sample alone, or after every frame from it on.
    enum class FramesBefore { LeftOut, Decoded };

    // How the samples with bytes in [from, to] decode as `layout` lays them (video ones after
    // their sync sample, and the frames between as `before` says); nullopt when one of them is of
    // a codec without a decoder here.
    std::optional<SampleDecoding::Check> SamplesDecode(const MovieLayout& layout, std::uint64_t from, std::uint64_t to,
                                                       FramesBefore before = FramesBefore::LeftOut) const
    {
        PiecesByteSource file = Source(layout);
        std::map<std::uint32_t, std::vector<std::size_t>> byTrack;
        for (std::size_t i = 0; i < tables_.samples.size(); ++i) {
            const MovieSample& sample = tables_.samples[i];
            if (sample.offset <= to && sample.offset + sample.size > from && sample.size > 0)
                byTrack[sample.track].push_back(i);
        }
        for (auto& [track, samples] : byTrack) {
            if (!decoders_[track].CanDecode())
                return std::nullopt;
            std::sort(samples.begin(), samples.end(), [&](std::size_t a, std::size_t b) {
                return tables_.samples[a].number < tables_.samples[b].number;
            });
            std::vector<std::size_t> order;
            bool framesLeftOut = false;
            if (tables_.tracks[track].video) {
                const auto sync = SyncSampleFor(track, tables_.samples[samples.front()].number);
                if (!sync)
                    return SampleDecoding::Check::Broken;
                const std::uint32_t syncNumber = tables_.samples[*sync].number, firstNumber = tables_.samples[samples.front()].number;
                if (*sync != samples.front())
                    order.push_back(*sync);
                for (std::uint32_t n = syncNumber + 1; before == FramesBefore::Decoded && n < firstNumber; ++n)
                    if (const auto between = byNumber_.find({track, n}); between != byNumber_.end())
                        order.push_back(between->second);
                framesLeftOut = before == FramesBefore::LeftOut && firstNumber > syncNumber + 1;
            }
            for (const std::size_t i : samples)
                order.push_back(i);
            std::vector<std::vector<unsigned char>> bytes;
            for (const std::size_t i : order) {
                const MovieSample& sample = tables_.samples[i];
                std::vector<unsigned char> data(static_cast<std::size_t>(sample.size));
                if (sample.size > (64ull << 20) || !ReadExactly(file, sample.offset, data))
                    return SampleDecoding::Check::Broken;
                bytes.push_back(std::move(data));
            }
            const SampleDecoding::Check check = decoders_[track].Decode(bytes, framesLeftOut);
            if (check != SampleDecoding::Check::Clean)
                return check;
        }
        return SampleDecoding::Check::Clean;
    }

    // The sample a video sample's decode starts from: the last sync sample at or before it.
    std::optional<std::size_t> SyncSampleFor(std::uint32_t track, std::uint32_t number) const
    {
        const std::vector<std::uint32_t>& sync = tables_.tracks[track].syncSamples;
        std::uint32_t from = number;
        if (!sync.empty()) {
            const auto after = std::upper_bound(sync.begin(), sync.end(), number);
            if (after == sync.begin())
                return std::nullopt;
            from = *(after - 1);
        }
        const auto found = byNumber_.find({track, from});
        return found == byNumber_.end() ? std::nullopt : std::optional<std::size_t>(found->second);
    }

    // Whether what follows the last proven unit (the rest of the last samples) decodes as laid.
    bool TailDecodes(const MovieLayout& layout, std::uint64_t proven) const
    {
        if (proven >= length_)
            return true;
        return SamplesDecode(layout, proven, length_ - 1) == SampleDecoding::Check::Clean;
    }

    // The pieces of the layout, when the file laid from them walks as a whole movie.
    std::optional<std::vector<ByteRange>> Finished(const MovieLayout& layout) const
    {
        PiecesByteSource laid = Source(layout);
        if (laid.Size() != length_)
            return Refuse("the last piece runs past the volume");
        std::vector<ByteRange> pieces = laid.PiecesFor(length_);
        // The walk reads the header after the file's end to see it closes there.
        const std::uint64_t runOn = std::min<std::uint64_t>(16, search_.volume.Size() - (pieces.back().offset + pieces.back().length));
        PiecesByteSource walked(search_.volume, layout.closed, layout.openStart, length_ + runOn);
        const FormatWalk walk = WalkBmff(walked);
        if (!walk.recognised || walk.end != WalkEnd::Closed || walk.length != length_ ||
            walk.decoded == DecodeResult::Faulty)
            return Refuse("the movie laid from " + std::to_string(pieces.size()) + " pieces does not walk whole");
        search_.Trace("movie put back together from " + std::to_string(pieces.size()) + " pieces");
        return pieces;
    }

    const JoinSearch& search_;
    const MovieTables& tables_;
    std::uint64_t length_;
    std::optional<Anchor> anchor_;
    std::vector<std::size_t> video_;  // samples of video tracks, by offset
    std::map<std::pair<std::uint32_t, std::uint32_t>, std::size_t> byNumber_;
    std::vector<SampleDecoding> decoders_;
    std::size_t alikeFollowed_ = 0;
};

// Places on the volume where a movie box that belongs at file offset `at` may lie: on the file's
// grid, within the search's reach on either side, with a movie box's header.
std::vector<std::uint64_t> IndexCandidates(const JoinSearch& search, std::uint64_t at)
{
    std::vector<std::uint64_t> found;
    const std::uint64_t step = search.grid.clusterBytes;
    const std::uint64_t volume = search.volume.Size();
    const std::uint64_t laid = search.fileStart + at;
    const std::uint64_t earliest = search.fileStart > search.searchBytes ? search.fileStart - search.searchBytes : 0;
    const std::uint64_t latest = std::min(volume, laid + 2 * search.searchBytes);
    for (std::uint64_t place = laid % step + (earliest / step) * step; place < latest && !search.GiveUp(); place += step) {
        if (place < earliest || place == laid || search.IsTaken(place))
            continue;
        unsigned char head[16];
        if (!ReadExactly(search.volume, place, head) || std::memcmp(head + 4, "moov", 4) != 0)
            continue;
        const std::uint64_t size = static_cast<std::uint64_t>(head[0]) << 24 | head[1] << 16 | head[2] << 8 | head[3];
        if (size >= 16 && size <= kMostIndexBytes)
            found.push_back(place);
    }
    // The nearest first.
    std::sort(found.begin(), found.end(), [laid](std::uint64_t a, std::uint64_t b) {
        return (a > laid ? a - laid : laid - a) < (b > laid ? b - laid : laid - b);
    });
    return found;
}

// A movie whose index, read where it lies, breaks off: the piece it runs on in is the one where the
// index reads whole, and of those the one whose movie then holds together.
std::optional<std::vector<ByteRange>> JoinAcrossIndex(const JoinSearch& search, const MovieOutline& outline,
                                                      std::uint64_t length)
{
    const std::uint64_t indexAt = *outline.indexAt;
    struct Reading {
        Anchor anchor;
        MovieTables tables;
    };
    std::vector<Reading> readings;
    for (const std::uint64_t end : search.BoundariesIn(search.fileStart, search.fileStart + indexAt + 1,
                                                       search.fileStart + outline.indexEnd - 1)) {
        const std::uint64_t pieceBytes = end - search.fileStart;
        for (const std::uint64_t start : search.Continuations(end - 1, {{search.fileStart, pieceBytes}})) {
            if (search.GiveUp())
                return std::nullopt;
            PiecesByteSource laid(search.volume, {{search.fileStart, pieceBytes}}, start, outline.indexEnd);
            auto tables = ReadMovieTables(laid, indexAt);
            if (tables && !tables->samples.empty())
                // The index read so with its break there, and only there.
                readings.push_back({Anchor{pieceBytes, start, pieceBytes}, std::move(*tables)});
            if (readings.size() > kMostIndexCandidates)
                return std::nullopt;
        }
    }
    search.Trace("movie: its index breaks off, and reads whole in " + std::to_string(readings.size()) + " ways");
    std::optional<std::vector<ByteRange>> found;
    for (const Reading& reading : readings) {
        auto pieces = MovieSearch(search, reading.tables, length, reading.anchor).Run();
        if (pieces && found)
            return std::nullopt;  // two ways hold: neither is proven
        if (pieces)
            found = std::move(pieces);
    }
    return found;
}

}  // namespace

std::optional<std::vector<ByteRange>> JoinMoviePieces(const JoinSearch& search)
{
    PiecesByteSource contiguous(search.volume, {}, search.fileStart, search.maxFileBytes);
    const auto outline = ReadOutline(contiguous);
    if (!outline) {
        search.Trace("movie refused: its boxes do not read from its start");
        return std::nullopt;
    }
    if (outline->indexAt) {
        // The index first (or the whole movie in place): its tables say where everything lies.
        const std::uint64_t length = std::max(outline->mdatEnd, outline->indexEnd);
        if (const auto tables = ReadMovieTables(contiguous, *outline->indexAt))
            return MovieSearch(search, *tables, length, std::nullopt).Run();
        return JoinAcrossIndex(search, *outline, length);
    }
    // The index last, not where the data's end would put it: looked for on the grid around.
    const std::uint64_t indexAt = outline->mdatEnd;
    const auto candidates = IndexCandidates(search, indexAt);
    search.Trace("movie: index expected at " + std::to_string(indexAt) + ", " + std::to_string(candidates.size()) +
                 " places with one");
    for (std::size_t n = 0; n < candidates.size() && n < kMostIndexCandidates; ++n) {
        const std::uint64_t place = candidates[n];
        unsigned char head[4];
        if (!ReadExactly(search.volume, place, head))
            continue;
        const std::uint64_t size = static_cast<std::uint64_t>(head[0]) << 24 | head[1] << 16 | head[2] << 8 | head[3];
        PiecesByteSource laid(search.volume, {{search.fileStart, indexAt}}, place, indexAt + size);
        const auto tables = ReadMovieTables(laid, indexAt);
        if (!tables || tables->samples.empty() || tables->samples.front().offset < outline->mdatPayload ||
            tables->samples.back().offset + tables->samples.back().size > indexAt)
            continue;  // not this movie's index
        auto pieces = MovieSearch(search, *tables, indexAt + size, Anchor{indexAt, place, 0}).Run();
        if (pieces)
            return pieces;
    }
    return std::nullopt;
}

}  // namespace quorvex
