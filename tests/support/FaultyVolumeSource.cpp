#include "FaultyVolumeSource.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace quorvex::testing {

ReadOutcome FaultyVolumeSource::ReadAt(std::uint64_t offset, std::span<unsigned char> destination)
{
    if (hook_)
        hook_(offset);
    if (++reads_ > goneAfter_)
        return {0, ENODEV};
    std::size_t length = std::min(destination.size(), readLimit_);
    int error = 0;
    const std::uint64_t firstSector = offset / kSectorSize;
    const std::uint64_t endSector = (offset + length + kSectorSize - 1) / kSectorSize;
    const auto bad = badSectors_.lower_bound(firstSector);
    if (bad != badSectors_.end() && *bad < endSector) {
        length = static_cast<std::size_t>(*bad * kSectorSize - std::min<std::uint64_t>(offset, *bad * kSectorSize));
        error = EIO;
    }
    ReadOutcome outcome = inner_->ReadAt(offset, destination.first(length));
    if (outcome.error == 0 && outcome.bytesRead == length)
        outcome.error = error;
    return outcome;
}

ReadOutcome VirtualVolumeSource::ReadAt(std::uint64_t offset, std::span<unsigned char> destination)
{
    ++readCount_;
    if (offset >= sizeBytes_)
        return {0, 0};
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(destination.size(), sizeBytes_ - offset));
    if (destination.data() == zeroedBuffer_ && destination.size() == zeroedSize_) {
        for (auto [at, length] : dirty_)
            std::memset(destination.data() + at, 0, length);
    } else {
        std::memset(destination.data(), 0, destination.size());
        zeroedBuffer_ = destination.data();
        zeroedSize_ = destination.size();
    }
    dirty_.clear();
    const std::uint64_t first = offset / kSectorSize;
    for (auto it = planted_.lower_bound(first); it != planted_.end() && it->first * kSectorSize < offset + n; ++it) {
        const std::size_t at = static_cast<std::size_t>(it->first * kSectorSize - offset);
        const std::size_t length = std::min<std::size_t>(it->second.size(), n - at);
        std::memcpy(destination.data() + at, it->second.data(), length);
        dirty_.emplace_back(at, length);
    }
    return {n, 0};
}

}  // namespace quorvex::testing
