#pragma once

#include <QImage>
#include <cstddef>
#include <cstdint>
#include <list>
#include <unordered_map>

namespace quorvex::preview {

// The tiles of the results list kept in memory: at most `budgetBytes` of pixels, the least
// recently used dropped first. A picture shared by many rows (a placeholder) counts once.
class TileCache {
public:
    explicit TileCache(std::size_t budgetBytes) : budget_(budgetBytes) {}

    // Keeps `tile` for `row` (replacing what the row had) and drops old tiles over the budget.
    void Insert(std::uint64_t row, const QImage& tile);
    // The row's tile, or null; a hit counts as a use.
    const QImage* Find(std::uint64_t row);
    bool Contains(std::uint64_t row) const { return rows_.contains(row); }
    void Clear();

    std::size_t Bytes() const { return bytes_; }
    std::size_t Budget() const { return budget_; }
    std::size_t Count() const { return rows_.size(); }

private:
    struct Slot {
        QImage tile;
        std::list<std::uint64_t>::iterator use;
    };
    struct Shared {
        std::size_t holders = 0;
        std::size_t bytes = 0;
    };
    void Forget(std::unordered_map<std::uint64_t, Slot>::iterator slot);

    std::size_t budget_;
    std::size_t bytes_ = 0;
    std::list<std::uint64_t> uses_;  // most recent first
    std::unordered_map<std::uint64_t, Slot> rows_;
    std::unordered_map<qint64, Shared> pictures_;  // by QImage::cacheKey()
};

}  // namespace quorvex::preview
