#pragma once

#include "VolumeSource.h"

#include <algorithm>
#include <vector>

namespace quorvex::testing {

// A volume of any size made of one pattern repeated end to end: a picture in every few sectors
// of a card far bigger than memory. Computed as it is read.
class RepeatingVolumeSource : public VolumeSource {
public:
    RepeatingVolumeSource(std::uint64_t sizeBytes, std::vector<unsigned char> pattern)
        : sizeBytes_(sizeBytes), pattern_(std::move(pattern))
    {
    }

    std::uint64_t SizeBytes() const override { return sizeBytes_; }
    ReadOutcome ReadAt(std::uint64_t offset, std::span<unsigned char> destination) override
    {
        if (offset >= sizeBytes_ || pattern_.empty())
            return {0, 0};
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(destination.size(), sizeBytes_ - offset));
        std::size_t done = 0;
        auto at = static_cast<std::size_t>(offset % pattern_.size());
        while (done < n) {
            const std::size_t run = std::min(n - done, pattern_.size() - at);
            std::copy_n(pattern_.begin() + static_cast<std::ptrdiff_t>(at), run, destination.begin() + static_cast<std::ptrdiff_t>(done));
            done += run;
            at = 0;
        }
        return {n, 0};
    }

private:
    std::uint64_t sizeBytes_;
    std::vector<unsigned char> pattern_;
};

}  // namespace quorvex::testing
