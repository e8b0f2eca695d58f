#include "ExtentDevice.h"

#include <algorithm>
#include <cstring>

namespace quorvex::preview {

namespace {
constexpr std::size_t kBlockSectors = 128;  // 64 KiB: decoders read in small pieces
}

ExtentDevice::ExtentDevice(VolumeReader& reader, std::uint64_t startSector, std::uint64_t sectorCount)
    : reader_(reader), startSector_(startSector), sectorCount_(sectorCount),
      block_(std::make_unique<SectorBuffer>(kBlockSectors))
{
}

qint64 ExtentDevice::readData(char* data, qint64 maxSize)
{
    const std::uint64_t total = sectorCount_ * kSectorSize;
    std::uint64_t position = static_cast<std::uint64_t>(pos());
    if (position >= total)
        return 0;
    qint64 copied = 0;
    while (copied < maxSize && position < total) {
        const std::uint64_t sector = position / kSectorSize;
        if (blockFirstSector_ == UINT64_MAX || sector < blockFirstSector_ || sector >= blockFirstSector_ + blockSectors_) {
            blockFirstSector_ = sector / kBlockSectors * kBlockSectors;
            blockSectors_ = static_cast<std::size_t>(std::min<std::uint64_t>(kBlockSectors, sectorCount_ - blockFirstSector_));
            const SectorReadResult read = reader_.ReadSectors(startSector_ + blockFirstSector_, blockSectors_, *block_);
            if (read.sectorsRead < blockSectors_)
                std::memset(block_->Data() + read.sectorsRead * kSectorSize, 0,
                            (blockSectors_ - read.sectorsRead) * kSectorSize);
        }
        const std::uint64_t offsetInBlock = position - blockFirstSector_ * kSectorSize;
        const std::uint64_t available = blockSectors_ * kSectorSize - offsetInBlock;
        const auto n = static_cast<qint64>(std::min<std::uint64_t>(available, static_cast<std::uint64_t>(maxSize - copied)));
        std::memcpy(data + copied, block_->Data() + offsetInBlock, static_cast<std::size_t>(n));
        copied += n;
        position += static_cast<std::uint64_t>(n);
    }
    return copied;
}

}  // namespace quorvex::preview
