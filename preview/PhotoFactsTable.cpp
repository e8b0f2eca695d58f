#include "PhotoFactsTable.h"

namespace quorvex::preview {

void PhotoFactsTable::Clear()
{
    const std::lock_guard lock(mutex_);
    facts_.clear();
    cameras_.assign(1, std::string());
    cameraIds_.clear();
}

void PhotoFactsTable::Put(std::uint64_t index, const PhotoFacts& facts)
{
    const std::lock_guard lock(mutex_);
    Stored stored;
    stored.captured = facts.captured;
    stored.width = facts.width;
    stored.height = facts.height;
    stored.orientation = static_cast<std::uint8_t>(facts.orientation);
    if (!facts.camera.empty()) {
        const auto [at, added] = cameraIds_.try_emplace(facts.camera, static_cast<std::uint32_t>(cameras_.size()));
        if (added)
            cameras_.push_back(facts.camera);
        stored.camera = at->second;
    }
    facts_[index] = stored;
}

std::optional<PhotoFacts> PhotoFactsTable::Get(std::uint64_t index) const
{
    const std::lock_guard lock(mutex_);
    const auto found = facts_.find(index);
    if (found == facts_.end())
        return std::nullopt;
    PhotoFacts facts;
    facts.captured = found->second.captured;
    facts.camera = cameras_[found->second.camera];
    facts.width = found->second.width;
    facts.height = found->second.height;
    facts.orientation = found->second.orientation;
    return facts;
}

bool PhotoFactsTable::Has(std::uint64_t index) const
{
    const std::lock_guard lock(mutex_);
    return facts_.contains(index);
}

std::optional<CaptureTime> PhotoFactsTable::CapturedAt(std::uint64_t index) const
{
    const std::lock_guard lock(mutex_);
    const auto found = facts_.find(index);
    return found == facts_.end() ? std::nullopt : found->second.captured;
}

}  // namespace quorvex::preview
