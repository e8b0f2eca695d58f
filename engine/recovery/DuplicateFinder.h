#pragma once

#include "FoundFileCatalogue.h"
#include "VolumeReader.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <unordered_map>
#include <unordered_set>

namespace quorvex {

// Which found files are byte-for-byte copies of one found before them (a card formatted and
// filled again often holds the same photo two or three times).
class DuplicateMap {
public:
    // The first found file whose bytes equal entry `index`'s, when it is a copy of one.
    std::optional<std::uint64_t> OriginalOf(std::uint64_t index) const;
    // How many entries are copies.
    std::uint64_t Count() const { return originalOf_.size(); }
    void Add(std::uint64_t copy, std::uint64_t original) { originalOf_[copy] = original; }

private:
    std::unordered_map<std::uint64_t, std::uint64_t> originalOf_;
};

// Finds the copies among the files of an exact recovery: files of the same exact length are
// hashed, and files with the same hash compared byte for byte, so a hash collision never makes a
// copy. A file with sectors that could not be read is nobody's copy. Only files that share their
// length with another are read. Nothing is found in the described mode (its lengths are not the
// files' own). `progress` gets percents of the bytes to read; a set `stop` ends the search with
// what it found so far.
DuplicateMap FindDuplicates(VolumeReader& reader, const FoundFileCatalogue& catalogue,
                            const std::atomic<int>* stop = nullptr, const std::function<void(int)>& progress = {});

// Chooses, among the entries of one save, which copies to leave out: a copy is left out when a
// file with the same bytes (its original, or another copy of it) is saved in the same save.
class DuplicateSkipper {
public:
    explicit DuplicateSkipper(const DuplicateMap* duplicates) : duplicates_(duplicates) {}
    // Whether entry `index`, next in the save's order, is left out; otherwise it is taken.
    bool Skips(std::uint64_t index);

private:
    const DuplicateMap* duplicates_;
    std::unordered_set<std::uint64_t> groupsTaken_;  // by the group's original
};

}  // namespace quorvex
