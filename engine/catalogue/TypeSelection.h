#pragma once

#include "FoundFileVerdict.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvex {

// One type chosen for a scan: its token, the prefix its found files are named with, and its
// maximum size figure in KiB (which sets how much of the volume is copied per found file).
struct TypeSelection {
    std::string token;
    std::string prefix;
    std::int64_t maxSizeKb = 0;
};

// The types chosen for one scan, in list order; at most kMaxEntries of them.
class SelectedTypes {
public:
    static constexpr std::size_t kMaxEntries = 40;

    SelectedTypes() = default;
    // Throws std::invalid_argument for more than kMaxEntries entries.
    explicit SelectedTypes(std::vector<TypeSelection> entries);

    // Every type of the table in list order, each with `prefixSetting` + token and `maxSizeKb`:
    // what the file-type page gives with all boxes ticked. In exact recovery with its own types
    // too; those with a default figure of their own get it unless `figureIsUsers` (a figure the
    // user chose applies to every type).
    static SelectedTypes AllTypes(std::string_view prefixSetting, std::int64_t maxSizeKb,
                                  RecoveryMode mode = RecoveryMode::Described, bool figureIsUsers = false);

    const std::vector<TypeSelection>& Entries() const { return entries_; }
    std::size_t Count() const { return entries_.size(); }
    bool Empty() const { return entries_.empty(); }
    const TypeSelection& operator[](std::size_t index) const { return entries_[index]; }

    // The prefix of the first entry with this token (exact, case-sensitive); empty when absent.
    std::string PrefixOf(std::string_view token) const;
    // The figure of the first entry with this token; 0 when absent.
    std::int64_t MaxSizeKbOf(std::string_view token) const;
    // The position of the first entry with this token.
    std::optional<std::size_t> IndexOf(std::string_view token) const;

private:
    std::vector<TypeSelection> entries_;
};

// How many sectors are copied for a found file whose type has the size figure `maxSizeKb`.
// The figure is in KiB, as the "Maximum Size (KB)" caption says: 2 sectors per KiB. Saving and
// temporary copies take the same length. A figure of 0 or below copies nothing.
std::uint64_t ExtentSectors(std::int64_t maxSizeKb);

// The leading decimal number of `text` as the size cells read it: leading blanks and one sign are
// accepted, reading stops at the first other character, no digits give 0. Values beyond the
// 64-bit range are clamped to it.
std::int64_t LeadingDecimalNumber(std::string_view text);

// The characters a file-name prefix must not contain.
inline constexpr std::string_view kIllegalPrefixCharacters = "/\\|*:?<>'";
bool PrefixHasIllegalCharacter(std::string_view prefix);

}  // namespace quorvex
