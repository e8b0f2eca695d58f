#pragma once

#include "TypeSelection.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

namespace quorvex {

// One found file: where its signature was found and the name it is listed and saved under.
struct FoundFileEntry {
    std::string name;             // <prefix><number>.<token>
    std::string token;            // the type token, e.g. BMP
    std::uint64_t startSector = 0;
    std::uint64_t number = 0;     // the running number in the name, 1 for the first file found
};

enum class AppendResult { Appended, OutOfMemory };

// The found files of one scan, in discovery order (ascending start sector).
//
// An entry's name is never stored: it is its type's prefix, its running number and its token,
// and the running number is its position + 1, because numbers run over all types in the order
// the files were found. So an entry costs 16 bytes, and a look-up by name needs no index: the
// name itself says where the entry is. Appending is for the scan thread only; readers walk the
// catalogue once the scan has ended.
class FoundFileCatalogue {
public:
    // Empties the catalogue and takes the naming and the figures of a new scan's selection.
    void Reset(SelectedTypes selection);

    // Frees every entry; foundCount becomes 0. The selection stays.
    void ClearCatalogue();

    // Appends a file of the selection's type `typeIndex` found at `startSector`. Running out of
    // memory (or reaching the limit set for it) leaves the catalogue as it was.
    AppendResult AppendFoundFile(std::size_t typeIndex, std::uint64_t startSector);

    // Limits the number of entries, as if memory ran out at that point (for tests of that path).
    void SetEntryLimit(std::uint64_t limit) { entryLimit_ = limit; }

    std::uint64_t FoundCount() const { return records_.size(); }
    const SelectedTypes& Selection() const { return selection_; }

    // The entry at `index` (index < FoundCount()).
    FoundFileEntry EntryAt(std::uint64_t index) const;
    std::uint64_t StartSectorAt(std::uint64_t index) const { return records_[index].startSector; }
    std::string_view TokenAt(std::uint64_t index) const { return selection_[records_[index].typeIndex].token; }

    // Every entry in catalogue order.
    template <typename Visitor>
    void ForEachEntry(Visitor&& visit) const
    {
        for (std::uint64_t i = 0; i < records_.size(); ++i)
            visit(EntryAt(i));
    }

    // The entries of one type in catalogue order.
    template <typename Visitor>
    void ForEachEntryOfType(std::string_view token, Visitor&& visit) const
    {
        const auto typeIndex = selection_.IndexOf(token);
        if (!typeIndex)
            return;
        for (std::uint64_t i = 0; i < records_.size(); ++i)
            if (records_[i].typeIndex == *typeIndex)
                visit(EntryAt(i));
    }

    // The first entry whose name equals `name` (case-sensitive).
    std::optional<FoundFileEntry> FindByName(std::string_view name) const;

    // How many entries have the token.
    std::uint64_t CountOfType(std::string_view token) const;

private:
    struct Record {
        std::uint64_t startSector;
        std::uint32_t typeIndex;
    };

    SelectedTypes selection_;
    std::deque<Record> records_;
    std::uint64_t entryLimit_ = UINT64_MAX;
};

}  // namespace quorvex
