#include "FoundFileCatalogue.h"


#include <charconv>
#include <new>

namespace quorvex {

void FoundFileCatalogue::Reset(SelectedTypes selection, RecoveryMode mode)
{
    ClearCatalogue();
    selection_ = std::move(selection);
    mode_ = mode;
}

void FoundFileCatalogue::ClearCatalogue()
{
    std::deque<Record>().swap(records_);  // gives the memory back, not just the entries
    std::deque<std::uint64_t>().swap(exact_);
    std::vector<std::deque<std::uint64_t>>().swap(byType_);
    fragments_.clear();
    cardNames_.clear();
}

AppendResult FoundFileCatalogue::AppendFoundFile(std::size_t typeIndex, std::uint64_t startSector)
{
    if (records_.size() >= entryLimit_)
        return AppendResult::OutOfMemory;
    try {
        if (byType_.size() <= typeIndex)
            byType_.resize(selection_.Count() > typeIndex ? selection_.Count() : typeIndex + 1);
        byType_[typeIndex].push_back(records_.size());
        try {
            records_.push_back({startSector, static_cast<std::uint32_t>(typeIndex)});
        } catch (const std::bad_alloc&) {
            byType_[typeIndex].pop_back();
            throw;
        }
    } catch (const std::bad_alloc&) {
        return AppendResult::OutOfMemory;
    }
    return AppendResult::Appended;
}

std::uint64_t FoundFileCatalogue::IndexOfTypeEntry(std::string_view token, std::uint64_t position) const
{
    return byType_[*selection_.IndexOf(token)][position];
}

AppendResult FoundFileCatalogue::AppendFoundFile(std::size_t typeIndex, std::uint64_t startSector,
                                                 std::uint64_t lengthBytes, Verdict verdict)
{
    if (records_.size() >= entryLimit_)
        return AppendResult::OutOfMemory;
    try {
        exact_.push_back(lengthBytes | static_cast<std::uint64_t>(verdict) << kVerdictShift);
    } catch (const std::bad_alloc&) {
        return AppendResult::OutOfMemory;
    }
    if (AppendFoundFile(typeIndex, startSector) == AppendResult::OutOfMemory) {
        exact_.pop_back();
        return AppendResult::OutOfMemory;
    }
    return AppendResult::Appended;
}

std::uint64_t FoundFileCatalogue::LengthAt(std::uint64_t index) const
{
    if (mode_ == RecoveryMode::Exact)
        return exact_[index] & ((1ull << kVerdictShift) - 1);
    // Saturated, so that no piece's end lies beyond the last byte a 64-bit offset can name.
    const std::uint64_t sectors = ExtentSectors(selection_[records_[index].typeIndex].maxSizeKb);
    const std::uint64_t room = UINT64_MAX - records_[index].startSector * kSectorSize;
    return sectors > room / kSectorSize ? room / kSectorSize * kSectorSize : sectors * kSectorSize;
}

std::vector<ByteRange> FoundFileCatalogue::PiecesAt(std::uint64_t index) const
{
    if (!fragments_.empty())
        if (const auto found = fragments_.find(index); found != fragments_.end())
            return found->second;
    return {ByteRange{records_[index].startSector * kSectorSize, LengthAt(index)}};
}

bool FoundFileCatalogue::SetPieces(std::uint64_t index, std::vector<ByteRange> pieces, Verdict verdict)
{
    if (mode_ != RecoveryMode::Exact || index >= records_.size() || pieces.size() < 2 ||
        pieces.front().offset != records_[index].startSector * kSectorSize)
        return false;
    std::uint64_t total = 0;
    for (const ByteRange& piece : pieces) {
        if (piece.length == 0 || piece.length >= (1ull << kVerdictShift) - total)
            return false;
        total += piece.length;
    }
    try {
        fragments_[index] = std::move(pieces);
    } catch (const std::bad_alloc&) {
        return false;
    }
    exact_[index] = total | static_cast<std::uint64_t>(verdict) << kVerdictShift;
    return true;
}

std::uint64_t FoundFileCatalogue::ReassembledCount() const
{
    std::uint64_t count = 0;
    for (const auto& [index, pieces] : fragments_)
        count += VerdictAt(index) == Verdict::Reassembled;
    return count;
}

bool FoundFileCatalogue::SetReassembled(std::uint64_t index, std::vector<ByteRange> pieces)
{
    return SetPieces(index, std::move(pieces), Verdict::Reassembled);
}

bool FoundFileCatalogue::SetMappedPieces(std::uint64_t index, std::vector<ByteRange> pieces)
{
    return SetPieces(index, std::move(pieces), Verdict::Complete);
}

bool FoundFileCatalogue::SetCardName(std::uint64_t index, CardName name)
{
    if (mode_ != RecoveryMode::Exact || index >= records_.size())
        return false;
    try {
        cardNames_[index] = std::move(name);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

const CardName* FoundFileCatalogue::CardNameAt(std::uint64_t index) const
{
    if (cardNames_.empty())
        return nullptr;
    const auto found = cardNames_.find(index);
    return found == cardNames_.end() ? nullptr : &found->second;
}

Verdict FoundFileCatalogue::VerdictAt(std::uint64_t index) const
{
    if (mode_ == RecoveryMode::Exact)
        return static_cast<Verdict>(exact_[index] >> kVerdictShift);
    return Verdict::None;
}

std::uint64_t FoundFileCatalogue::CountOfVerdict(Verdict verdict) const
{
    if (mode_ != RecoveryMode::Exact)
        return verdict == Verdict::None ? records_.size() : 0;
    std::uint64_t count = 0;
    for (const std::uint64_t packed : exact_)
        count += static_cast<Verdict>(packed >> kVerdictShift) == verdict;
    return count;
}

FoundFileEntry FoundFileCatalogue::EntryAt(std::uint64_t index) const
{
    const Record& record = records_[index];
    const TypeSelection& type = selection_[record.typeIndex];
    FoundFileEntry entry;
    entry.number = index + 1;
    entry.token = type.token;
    entry.startSector = record.startSector;
    entry.name.reserve(type.prefix.size() + 21 + type.token.size());
    entry.name.append(type.prefix).append(std::to_string(entry.number)).append(".").append(type.token);
    entry.lengthBytes = LengthAt(index);
    entry.verdict = VerdictAt(index);
    if (!fragments_.empty())
        if (const auto found = fragments_.find(index); found != fragments_.end())
            entry.fragments = found->second;
    if (const CardName* name = CardNameAt(index))
        entry.cardName = *name;
    return entry;
}

std::optional<FoundFileEntry> FoundFileCatalogue::FindByName(std::string_view name) const
{
    std::optional<std::uint64_t> best;
    for (std::size_t t = 0; t < selection_.Count(); ++t) {
        const TypeSelection& type = selection_[t];
        const std::size_t fixed = type.prefix.size() + 1 + type.token.size();
        if (name.size() <= fixed || !name.starts_with(type.prefix) ||
            name[name.size() - type.token.size() - 1] != '.' || !name.ends_with(type.token))
            continue;
        const std::string_view digits = name.substr(type.prefix.size(), name.size() - fixed);
        if (digits.front() == '0')  // numbers are written without leading zeros
            continue;
        std::uint64_t number = 0;
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
        if (error != std::errc() || end != digits.data() + digits.size() || number == 0 ||
            number > records_.size())
            continue;
        if (records_[number - 1].typeIndex != t)
            continue;
        if (!best || number - 1 < *best)
            best = number - 1;
    }
    if (!best)
        return std::nullopt;
    return EntryAt(*best);
}

std::uint64_t FoundFileCatalogue::CountOfType(std::string_view token) const
{
    const auto typeIndex = selection_.IndexOf(token);
    if (!typeIndex || *typeIndex >= byType_.size())
        return 0;
    return byType_[*typeIndex].size();
}

}  // namespace quorvex
