#include "RescueMap.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <sstream>

namespace quorvex {

namespace {

std::optional<std::uint64_t> ParseNumber(const std::string& text)
{
    if (text.empty())
        return std::nullopt;
    std::uint64_t value = 0;
    std::size_t used = 0;
    try {
        value = std::stoull(text, &used, 0);  // 0x hexadecimal as ddrescue writes, or decimal
    } catch (const std::exception&) {
        return std::nullopt;
    }
    if (used != text.size() || text[0] == '-')
        return std::nullopt;
    return value;
}

}  // namespace

bool IsRescueStatus(char status)
{
    return status == '?' || status == '*' || status == '/' || status == '-' || status == '+';
}

RescueMap::RescueMap(std::uint64_t size) : size_(size)
{
    if (size > 0)
        blocks_.push_back({0, size, '?'});
}

std::optional<RescueMap> RescueMap::Parse(std::string_view text, std::uint64_t size, std::string* reason)
{
    auto fail = [&](const std::string& why) -> std::optional<RescueMap> {
        if (reason != nullptr)
            *reason = why;
        return std::nullopt;
    };
    RescueMap map(size);
    map.blocks_.clear();
    std::istringstream lines{std::string(text)};
    bool statusSeen = false;
    std::uint64_t expected = 0;
    int lineNumber = 0;
    for (std::string line; std::getline(lines, line);) {
        ++lineNumber;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const std::size_t start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line[start] == '#')
            continue;
        std::istringstream fields(line);
        std::vector<std::string> words;
        for (std::string word; fields >> word;)
            words.push_back(word);
        const std::string where = "line " + std::to_string(lineNumber);
        if (!statusSeen) {
            // current_pos current_status [current_pass]
            if (words.size() < 2 || words.size() > 3 || words[1].size() != 1)
                return fail(where + " is not the status line of a mapfile");
            const auto position = ParseNumber(words[0]);
            if (!position)
                return fail(where + ": the current position is not a number");
            map.progress_.position = *position;
            map.progress_.phase = words[1][0];
            if (words.size() == 3) {
                const auto pass = ParseNumber(words[2]);
                if (!pass || *pass > 1000)
                    return fail(where + ": the pass is not a number");
                map.progress_.pass = static_cast<int>(*pass);
            }
            statusSeen = true;
            continue;
        }
        if (words.size() != 3 || words[2].size() != 1)
            return fail(where + " is not a block line (position, size, status)");
        const auto position = ParseNumber(words[0]);
        const auto blockSize = ParseNumber(words[1]);
        const char status = words[2][0];
        if (!position || !blockSize || *blockSize == 0)
            return fail(where + ": the position or the size is not a number above zero");
        if (!IsRescueStatus(status))
            return fail(where + ": the status '" + words[2] + "' is not one a map knows");
        if (*position != expected)
            return fail(where + ": the block does not start where the one before ends");
        if (*blockSize > size || *position > size - *blockSize)
            return fail(where + ": the map reaches past the end of the device, so it belongs to another one");
        map.Mark(*position, *blockSize, status);
        expected = *position + *blockSize;
    }
    if (!statusSeen)
        return fail("it holds no status line: not a mapfile");
    // A map that ends early says nothing of the rest yet.
    if (expected < size)
        map.Mark(expected, size - expected, '?');
    return map;
}

std::string RescueMap::Format() const
{
    std::string out;
    char line[96];
    out += "# Mapfile. Created by Quorvex (GNU ddrescue's format)\n";
    out += "# current_pos  current_status  current_pass\n";
    std::snprintf(line, sizeof line, "0x%08" PRIX64 "     %c               %d\n", progress_.position, progress_.phase,
                  progress_.pass);
    out += line;
    out += "#      pos        size  status\n";
    for (const Block& block : blocks_) {
        std::snprintf(line, sizeof line, "0x%08" PRIX64 "  0x%08" PRIX64 "  %c\n", block.position, block.size,
                      block.status);
        out += line;
    }
    return out;
}

void RescueMap::Mark(std::uint64_t position, std::uint64_t size, char status)
{
    if (size == 0 || position >= size_)
        return;
    size = std::min(size, size_ - position);
    const std::uint64_t end = position + size;
    std::vector<Block> result;
    result.reserve(blocks_.size() + 2);
    auto append = [&result](Block block) {
        if (block.size == 0)
            return;
        if (!result.empty() && result.back().status == block.status &&
            result.back().position + result.back().size == block.position)
            result.back().size += block.size;
        else
            result.push_back(block);
    };
    // Blocks wholly before the range stay as they are; find the first one it touches.
    auto first = std::upper_bound(blocks_.begin(), blocks_.end(), position,
                                  [](std::uint64_t p, const Block& b) { return p < b.position + b.size; });
    result.assign(blocks_.begin(), first);
    bool placed = false;
    for (auto it = first; it != blocks_.end(); ++it) {
        const Block& block = *it;
        const std::uint64_t blockEnd = block.position + block.size;
        if (block.position >= end) {
            if (!placed) {
                append({position, size, status});
                placed = true;
            }
            append(block);
            continue;
        }
        if (block.position < position)
            append({block.position, position - block.position, block.status});
        if (!placed) {
            append({position, size, status});
            placed = true;
        }
        if (blockEnd > end)
            append({end, blockEnd - end, block.status});
    }
    if (!placed)
        append({position, size, status});
    blocks_ = std::move(result);
}

std::optional<RescueMap::Block> RescueMap::NextWith(char status, std::uint64_t from) const
{
    for (const Block& block : blocks_) {
        if (block.status != status || block.position + block.size <= from)
            continue;
        if (block.position >= from)
            return block;
        return Block{from, block.position + block.size - from, status};
    }
    return std::nullopt;
}

std::uint64_t RescueMap::BytesWith(char status) const
{
    std::uint64_t total = 0;
    for (const Block& block : blocks_)
        total += block.status == status ? block.size : 0;
    return total;
}

}  // namespace quorvex
