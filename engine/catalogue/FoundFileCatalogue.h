#pragma once

#include "FoundFileReader.h"
#include "FoundFileVerdict.h"
#include "TypeSelection.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace quorvex {

// What the card's file system still says of a found file (exact recovery): the name, folder and
// time it had there, and whether it was live or deleted.
struct CardName {
    std::string folder;  // '/'-separated, no leading or trailing '/'; "" is the card's root
    std::string name;
    bool deleted = false;
    std::int64_t modified = 0;  // seconds since 1970 (UTC); 0 when the card does not say

    std::string Path() const { return folder.empty() ? name : folder + "/" + name; }
    friend bool operator==(const CardName&, const CardName&) = default;
};

// One found file: where its signature was found and the name it is listed and saved under.
struct FoundFileEntry {
    std::string name;             // <prefix><number>.<token>
    std::string token;            // the type token, e.g. BMP
    std::uint64_t startSector = 0;
    std::uint64_t number = 0;     // the running number in the name, 1 for the first file found
    // The bytes that saving, thumbnails and preview take from startSector on: the file's own
    // length in exact recovery, its type's extent (the Maximum Size figure) otherwise.
    std::uint64_t lengthBytes = 0;
    Verdict verdict = Verdict::None;  // exact recovery only
    // A file's pieces on the volume, in file order (the first starts at startSector and their
    // lengths add up to lengthBytes), when it lies in more than one: put back together, or read by
    // the card's own map; empty for a file that lies in one piece.
    std::vector<ByteRange> fragments;
    std::optional<CardName> cardName;  // exact recovery, when the card's file system names it
};

enum class AppendResult { Appended, OutOfMemory };

// The found files of one scan, in discovery order (ascending start sector).
//
// An entry's name is never stored: it is its type's prefix, its running number and its token,
// and the running number is its position + 1, because numbers run over all types in the order
// the files were found. So an entry costs 16 bytes, and a look-up by name needs no index: the
// name itself says where the entry is. Exact recovery adds 8 bytes per entry for the length and
// the verdict. Appending is for the scan thread only; readers walk the catalogue once the scan
// has ended.
class FoundFileCatalogue {
public:
    // Empties the catalogue and takes the naming and the figures of a new scan's selection, and
    // how the scan recovers.
    void Reset(SelectedTypes selection, RecoveryMode mode = RecoveryMode::Described);

    // Frees every entry; foundCount becomes 0. The selection stays.
    void ClearCatalogue();

    // Appends a file of the selection's type `typeIndex` found at `startSector`. Running out of
    // memory (or reaching the limit set for it) leaves the catalogue as it was.
    AppendResult AppendFoundFile(std::size_t typeIndex, std::uint64_t startSector);
    // The same for exact recovery, with the file's length (below 2^56) and its verdict.
    AppendResult AppendFoundFile(std::size_t typeIndex, std::uint64_t startSector, std::uint64_t lengthBytes,
                                 Verdict verdict);

    // Exact recovery: the entry at `index` was put back together from `pieces` (two or more, the
    // first at its start sector): its verdict becomes Reassembled and its length their sum.
    // Returns false, changing nothing, when the pieces do not start at the entry's sector or there
    // is no memory for them.
    bool SetReassembled(std::uint64_t index, std::vector<ByteRange> pieces);
    // How many entries are reassembled (put back together from their pieces).
    std::uint64_t ReassembledCount() const;

    // Exact recovery: the card's file system maps the entry at `index` in `pieces` (two or more,
    // the first at its start sector), and its walk and decode over them agreed: it is complete,
    // read from those pieces. Returns false, changing nothing, as SetReassembled does.
    bool SetMappedPieces(std::uint64_t index, std::vector<ByteRange> pieces);

    // Exact recovery: the card's file system names the entry at `index`. False, changing
    // nothing, in the described mode, for an index past the end, or without memory.
    bool SetCardName(std::uint64_t index, CardName name);
    // Its card name, or null.
    const CardName* CardNameAt(std::uint64_t index) const;
    std::uint64_t NamedCount() const { return cardNames_.size(); }

    // Limits the number of entries, as if memory ran out at that point (for tests of that path).
    void SetEntryLimit(std::uint64_t limit) { entryLimit_ = limit; }

    std::uint64_t FoundCount() const { return records_.size(); }
    const SelectedTypes& Selection() const { return selection_; }
    RecoveryMode Mode() const { return mode_; }

    // The entry at `index` (index < FoundCount()).
    FoundFileEntry EntryAt(std::uint64_t index) const;
    std::uint64_t StartSectorAt(std::uint64_t index) const { return records_[index].startSector; }
    std::string_view TokenAt(std::uint64_t index) const { return selection_[records_[index].typeIndex].token; }
    std::size_t TypeIndexAt(std::uint64_t index) const { return records_[index].typeIndex; }
    std::uint64_t LengthAt(std::uint64_t index) const;
    Verdict VerdictAt(std::uint64_t index) const;
    // Where the entry's bytes lie on the volume, in order: what thumbnails, preview and saving
    // read, whatever the mode.
    std::vector<ByteRange> PiecesAt(std::uint64_t index) const;

    // Every entry in catalogue order.
    template <typename Visitor>
    void ForEachEntry(Visitor&& visit) const
    {
        for (std::uint64_t i = 0; i < records_.size(); ++i)
            visit(EntryAt(i));
    }

    // The entries of one type in catalogue order; only that type's entries are visited.
    template <typename Visitor>
    void ForEachEntryOfType(std::string_view token, Visitor&& visit) const
    {
        const auto typeIndex = selection_.IndexOf(token);
        if (!typeIndex || *typeIndex >= byType_.size())
            return;
        for (const std::uint64_t index : byType_[*typeIndex])
            visit(EntryAt(index));
    }

    // The catalogue index of the `position`-th entry (from 0) of the type, in catalogue order
    // (position < CountOfType(token)).
    std::uint64_t IndexOfTypeEntry(std::string_view token, std::uint64_t position) const;

    // The first entry whose name equals `name` (case-sensitive).
    std::optional<FoundFileEntry> FindByName(std::string_view name) const;

    // How many entries have the token; answered from the per-type index, at once.
    std::uint64_t CountOfType(std::string_view token) const;
    // How many entries have the verdict (in the described mode every entry's verdict is None).
    std::uint64_t CountOfVerdict(Verdict verdict) const;

private:
    struct Record {
        std::uint64_t startSector;
        std::uint32_t typeIndex;
    };

    // Exact recovery: an entry's length in the low 56 bits, its verdict in the high 8.
    static constexpr int kVerdictShift = 56;

    bool SetPieces(std::uint64_t index, std::vector<ByteRange> pieces, Verdict verdict);

    SelectedTypes selection_;
    RecoveryMode mode_ = RecoveryMode::Described;
    std::deque<Record> records_;
    std::deque<std::uint64_t> exact_;  // parallel to records_ in exact recovery, empty otherwise
    // For each type of the selection, the indices of its entries in catalogue order, so that a
    // type's list never walks the other types' entries.
    std::vector<std::deque<std::uint64_t>> byType_;
    // The pieces of the entries that lie in more than one (reassembled, or mapped by the card),
    // by catalogue index: few, so kept apart.
    std::unordered_map<std::uint64_t, std::vector<ByteRange>> fragments_;
    std::unordered_map<std::uint64_t, CardName> cardNames_;
    std::uint64_t entryLimit_ = UINT64_MAX;
};

}  // namespace quorvex
