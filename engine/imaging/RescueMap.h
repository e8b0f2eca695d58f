#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvex {

// What imaging knows of each byte of a device, in GNU ddrescue's mapfile format, so that an
// interrupted imaging resumes from its map, ddrescue can go on with our map and we with its.
//
// The map covers [0, size) with blocks in ascending order, no gaps, no two neighbours alike.
// Block statuses:
//   '?' not tried yet          '*' failed in a large read, not trimmed yet
//   '/' trimmed, not scraped   '-' bad: failed when read sector by sector
//   '+' rescued: copied into the image
class RescueMap {
public:
    struct Block {
        std::uint64_t position = 0;
        std::uint64_t size = 0;
        char status = '?';
        friend bool operator==(const Block&, const Block&) = default;
    };

    // The pass being run and where, as the map's status line records it: '?' copying, '*'
    // trimming, '/' scraping, '+' finished.
    struct Progress {
        std::uint64_t position = 0;
        char phase = '?';
        int pass = 1;
    };

    // A map of a device of `size` bytes that nothing has been tried on.
    explicit RescueMap(std::uint64_t size);

    // Reads a mapfile (ours or ddrescue's). A map that does not cover [0, size) exactly, has a
    // block status or line it does not know, or is not a mapfile at all gives nullopt and says
    // why in `reason`.
    static std::optional<RescueMap> Parse(std::string_view text, std::uint64_t size, std::string* reason);

    // The mapfile's text: comments, the status line, then one line per block.
    std::string Format() const;

    // Sets [position, position + size) to `status`, splitting and merging blocks as needed.
    void Mark(std::uint64_t position, std::uint64_t size, char status);

    // The first block with `status` that ends after `from`, cut to start at `from` at the
    // earliest; nullopt when there is none.
    std::optional<Block> NextWith(char status, std::uint64_t from = 0) const;

    // Bytes with this status.
    std::uint64_t BytesWith(char status) const;

    std::uint64_t Size() const { return size_; }
    const std::vector<Block>& Blocks() const { return blocks_; }
    Progress& CurrentProgress() { return progress_; }
    const Progress& CurrentProgress() const { return progress_; }

private:
    std::uint64_t size_;
    std::vector<Block> blocks_;
    Progress progress_;
};

bool IsRescueStatus(char status);

}  // namespace quorvex
