#include "TileCache.h"

namespace quorvex::preview {

void TileCache::Insert(std::uint64_t row, const QImage& tile)
{
    if (const auto old = rows_.find(row); old != rows_.end())
        Forget(old);
    uses_.push_front(row);
    rows_.emplace(row, Slot{tile, uses_.begin()});
    Shared& shared = pictures_[tile.cacheKey()];
    if (shared.holders++ == 0) {
        shared.bytes = static_cast<std::size_t>(tile.sizeInBytes());
        bytes_ += shared.bytes;
    }
    // The tile just kept stays even when it alone is over the budget: a row in view needs it.
    while (bytes_ > budget_ && uses_.size() > 1)
        Forget(rows_.find(uses_.back()));
}

const QImage* TileCache::Find(std::uint64_t row)
{
    const auto slot = rows_.find(row);
    if (slot == rows_.end())
        return nullptr;
    uses_.splice(uses_.begin(), uses_, slot->second.use);
    return &slot->second.tile;
}

void TileCache::Clear()
{
    rows_.clear();
    uses_.clear();
    pictures_.clear();
    bytes_ = 0;
}

void TileCache::Forget(std::unordered_map<std::uint64_t, Slot>::iterator slot)
{
    const auto shared = pictures_.find(slot->second.tile.cacheKey());
    if (shared != pictures_.end() && --shared->second.holders == 0) {
        bytes_ -= shared->second.bytes;
        pictures_.erase(shared);
    }
    uses_.erase(slot->second.use);
    rows_.erase(slot);
}

}  // namespace quorvex::preview
