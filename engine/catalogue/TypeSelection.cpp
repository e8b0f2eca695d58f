#include "TypeSelection.h"

#include "FileTypeInfo.h"
#include "VolumeSource.h"

#include <limits>
#include <stdexcept>
#include <string>

namespace quorvex {

SelectedTypes::SelectedTypes(std::vector<TypeSelection> entries) : entries_(std::move(entries))
{
    if (entries_.size() > kMaxEntries)
        throw std::invalid_argument("at most " + std::to_string(kMaxEntries) + " types can be selected");
}

SelectedTypes SelectedTypes::AllTypes(std::string_view prefixSetting, std::int64_t maxSizeKb, RecoveryMode mode,
                                      bool figureIsUsers)
{
    std::vector<TypeSelection> entries;
    for (const FileTypeInfo* info : TypesOf(mode)) {
        const std::int64_t figure = info->defaultMaxSizeKb != 0 && !figureIsUsers ? info->defaultMaxSizeKb : maxSizeKb;
        entries.push_back({std::string(info->token), std::string(prefixSetting) + std::string(info->token), figure});
    }
    return SelectedTypes(std::move(entries));
}

std::optional<std::size_t> SelectedTypes::IndexOf(std::string_view token) const
{
    for (std::size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i].token == token)
            return i;
    return std::nullopt;
}

std::string SelectedTypes::PrefixOf(std::string_view token) const
{
    const auto index = IndexOf(token);
    return index ? entries_[*index].prefix : std::string();
}

std::int64_t SelectedTypes::MaxSizeKbOf(std::string_view token) const
{
    const auto index = IndexOf(token);
    return index ? entries_[*index].maxSizeKb : 0;
}

std::int64_t LeadingDecimalNumber(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r' ||
                               text[i] == '\v' || text[i] == '\f'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Accumulate as a negative number so that INT64_MIN is reachable without overflow.
    constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    std::int64_t value = 0;
    bool clamped = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        const int digit = text[i] - '0';
        if (clamped)
            continue;
        if (value < (kMin + digit) / 10) {
            clamped = true;
            continue;
        }
        value = value * 10 - digit;
    }
    if (clamped)
        return negative ? kMin : std::numeric_limits<std::int64_t>::max();
    if (negative)
        return value;
    return value == kMin ? std::numeric_limits<std::int64_t>::max() : -value;
}

bool PrefixHasIllegalCharacter(std::string_view prefix)
{
    return prefix.find_first_of(kIllegalPrefixCharacters) != std::string_view::npos;
}

std::uint64_t ExtentSectors(std::int64_t maxSizeKb)
{
    if (maxSizeKb <= 0)
        return 0;
    return static_cast<std::uint64_t>(maxSizeKb) * (1024 / kSectorSize);
}

}  // namespace quorvex
