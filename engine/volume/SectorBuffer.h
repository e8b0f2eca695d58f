#pragma once

#include "VolumeSource.h"

#include <cstddef>
#include <memory>
#include <span>

namespace quorvex {

// A block of whole sectors that one worker run reads into. Each run (scan, save, thumbnails,
// preview) allocates its own, so two runs never share one. The size is fixed at construction.
class SectorBuffer {
public:
    // The default block: 1 MiB, large enough that a scan runs at the speed of the device.
    static constexpr std::size_t kDefaultSectorCount = 2048;

    explicit SectorBuffer(std::size_t sectorCount = kDefaultSectorCount);

    std::size_t SectorCount() const { return sectorCount_; }
    std::size_t SizeBytes() const { return sectorCount_ * kSectorSize; }
    unsigned char* Data() { return data_.get(); }
    const unsigned char* Data() const { return data_.get(); }

    // The bytes of sector `index` of the block (index < SectorCount()).
    const unsigned char* Sector(std::size_t index) const { return data_.get() + index * kSectorSize; }

    // The first `sectorCount` sectors of the block (sectorCount <= SectorCount()).
    std::span<unsigned char> FirstSectors(std::size_t sectorCount)
    {
        return {data_.get(), sectorCount * kSectorSize};
    }

private:
    struct FreeDeleter {
        void operator()(unsigned char* p) const;
    };

    std::size_t sectorCount_;
    std::unique_ptr<unsigned char[], FreeDeleter> data_;
};

}  // namespace quorvex
