#include "DuplicateFinder.h"

#include "FoundFileReader.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <vector>

namespace quorvex {

std::optional<std::uint64_t> DuplicateMap::OriginalOf(std::uint64_t index) const
{
    const auto found = originalOf_.find(index);
    if (found == originalOf_.end())
        return std::nullopt;
    return found->second;
}

bool DuplicateSkipper::Skips(std::uint64_t index)
{
    if (duplicates_ == nullptr)
        return false;
    const std::uint64_t group = duplicates_->OriginalOf(index).value_or(index);
    return !groupsTaken_.insert(group).second;
}

namespace {

constexpr std::size_t kChunk = std::size_t{1} << 20;

struct Reading {
    VolumeReader& reader;
    const FoundFileCatalogue& catalogue;
    const std::atomic<int>* stop;
    const std::function<void(int)>& progress;
    std::uint64_t total = 0;  // bytes to hash
    std::uint64_t done = 0;
    int lastPercent = -1;
    std::vector<unsigned char> a = std::vector<unsigned char>(kChunk);
    std::vector<unsigned char> b = std::vector<unsigned char>(kChunk);

    bool Stopped() const { return stop != nullptr && stop->load(std::memory_order_relaxed) != 0; }

    void Advance(std::uint64_t bytes)
    {
        done += bytes;
        const int percent = total == 0 ? 100 : static_cast<int>(std::min<std::uint64_t>(done * 100 / total, 99));
        if (progress && percent != lastPercent) {
            lastPercent = percent;
            progress(percent);
        }
    }

    // A hash of the entry's bytes; nothing when a sector could not be read or a stop came.
    std::optional<std::uint64_t> HashOf(std::uint64_t index)
    {
        FoundFileReader file(reader, catalogue.PiecesAt(index));
        std::uint64_t hash = 0x9E3779B97F4A7C15ull ^ file.Size();
        for (std::uint64_t at = 0; at < file.Size(); at += kChunk) {
            if (Stopped())
                return std::nullopt;
            const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, file.Size() - at));
            const std::size_t got = file.ReadAt(at, std::span(a).first(wanted));
            if (got != wanted)
                return std::nullopt;
            std::size_t i = 0;
            for (; i + 8 <= got; i += 8) {
                std::uint64_t word;
                std::memcpy(&word, a.data() + i, 8);
                hash = (hash ^ word) * 0x100000001B3ull;
                hash ^= hash >> 29;
            }
            for (; i < got; ++i)
                hash = (hash ^ a[i]) * 0x100000001B3ull;
            Advance(got);
        }
        if (file.UnreadableSectors() > 0)
            return std::nullopt;
        return hash;
    }

    // Whether two entries of the same length hold the same bytes.
    bool SameBytes(std::uint64_t first, std::uint64_t second)
    {
        FoundFileReader one(reader, catalogue.PiecesAt(first));
        FoundFileReader other(reader, catalogue.PiecesAt(second));
        if (one.Size() != other.Size())
            return false;
        for (std::uint64_t at = 0; at < one.Size(); at += kChunk) {
            if (Stopped())
                return false;
            const std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, one.Size() - at));
            if (one.ReadAt(at, std::span(a).first(wanted)) != wanted ||
                other.ReadAt(at, std::span(b).first(wanted)) != wanted ||
                std::memcmp(a.data(), b.data(), wanted) != 0)
                return false;
        }
        return one.UnreadableSectors() == 0 && other.UnreadableSectors() == 0;
    }
};

}  // namespace

DuplicateMap FindDuplicates(VolumeReader& reader, const FoundFileCatalogue& catalogue, const std::atomic<int>* stop,
                            const std::function<void(int)>& progress)
{
    DuplicateMap duplicates;
    if (catalogue.Mode() != RecoveryMode::Exact)
        return duplicates;
    // Entries by length; only lengths shared by two or more are read.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> byLength;  // (length, index)
    byLength.reserve(static_cast<std::size_t>(catalogue.FoundCount()));
    for (std::uint64_t i = 0; i < catalogue.FoundCount(); ++i)
        if (catalogue.LengthAt(i) > 0)
            byLength.emplace_back(catalogue.LengthAt(i), i);
    std::sort(byLength.begin(), byLength.end());

    Reading reading{reader, catalogue, stop, progress};
    std::vector<std::pair<std::size_t, std::size_t>> groups;  // [first, last) in byLength
    for (std::size_t first = 0; first < byLength.size();) {
        std::size_t last = first + 1;
        while (last < byLength.size() && byLength[last].first == byLength[first].first)
            ++last;
        if (last - first > 1) {
            groups.emplace_back(first, last);
            reading.total += byLength[first].first * (last - first);
        }
        first = last;
    }
    for (const auto& [first, last] : groups) {
        // Same hash: candidates; each is compared with the originals found so far in its bucket.
        std::map<std::uint64_t, std::vector<std::uint64_t>> originalsByHash;
        for (std::size_t k = first; k < last; ++k) {
            const std::uint64_t index = byLength[k].second;  // ascending within a length
            const std::optional<std::uint64_t> hash = reading.HashOf(index);
            if (reading.Stopped())
                return duplicates;
            if (!hash)
                continue;
            std::vector<std::uint64_t>& originals = originalsByHash[*hash];
            const auto same = std::find_if(originals.begin(), originals.end(),
                                           [&](std::uint64_t original) { return reading.SameBytes(original, index); });
            if (same != originals.end())
                duplicates.Add(index, *same);
            else
                originals.push_back(index);
        }
    }
    if (progress)
        progress(100);
    return duplicates;
}

}  // namespace quorvex
