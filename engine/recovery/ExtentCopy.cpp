#include "ExtentCopy.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace quorvex {

namespace {

bool StopSeen(const std::atomic<int>* stopRequested)
{
    return stopRequested != nullptr && stopRequested->load(std::memory_order_relaxed) != 0;
}

// Fills sectors [from, count) of the buffer after a block read that ended early: reads them one
// by one where the device failed, and writes zeros for what cannot be read or lies past the end.
void FillRestOfBlock(VolumeReader& reader, SectorBuffer& buffer, std::uint64_t blockStart, std::size_t from,
                     std::size_t count, bool endReached, CopyResult& result)
{
    SectorBuffer single(1);
    for (std::size_t k = from; k < count; ++k) {
        unsigned char* target = buffer.Data() + k * kSectorSize;
        if (!endReached) {
            const SectorReadResult read = reader.ReadSectors(blockStart + k, 1, single);
            if (read.sectorsRead == 1) {
                std::memcpy(target, single.Data(), kSectorSize);
                continue;
            }
            if (read.error != 0) {
                ++result.unreadableSectors;
                std::memset(target, 0, kSectorSize);
                continue;
            }
            endReached = true;
        }
        ++result.sectorsPastEnd;
        std::memset(target, 0, kSectorSize);
    }
}

}  // namespace

CopyResult CopyExtent(VolumeReader& reader, SectorBuffer& buffer, std::uint64_t startSector,
                      std::uint64_t sectorCount, OutputFile& output, const std::atomic<int>* stopRequested)
{
    const std::uint64_t byteCount = sectorCount > UINT64_MAX / kSectorSize ? UINT64_MAX / kSectorSize * kSectorSize
                                                                            : sectorCount * kSectorSize;
    return CopyFileBytes(reader, buffer, startSector, byteCount, output, stopRequested);
}

CopyResult CopyFileBytes(VolumeReader& reader, SectorBuffer& buffer, std::uint64_t startSector,
                         std::uint64_t byteCount, OutputFile& output, const std::atomic<int>* stopRequested)
{
    const std::uint64_t sectorCount = byteCount / kSectorSize + (byteCount % kSectorSize != 0);
    CopyResult result;
    while (result.sectorsWritten < sectorCount) {
        if (StopSeen(stopRequested)) {
            result.status = CopyStatus::Stopped;
            return result;
        }
        const std::uint64_t blockStart = startSector + result.sectorsWritten;
        const auto count = static_cast<std::size_t>(
            std::min<std::uint64_t>(sectorCount - result.sectorsWritten, buffer.SectorCount()));

        // Sector numbers past 2^64 do not exist: treat them as lying past the end of the volume.
        const bool wraps = blockStart < startSector ||
                           count > std::numeric_limits<std::uint64_t>::max() - blockStart;
        const SectorReadResult read = wraps ? SectorReadResult{} : reader.ReadSectors(blockStart, count, buffer);
        if (read.sectorsRead < count)
            FillRestOfBlock(reader, buffer, blockStart, read.sectorsRead, count, read.error == 0 || wraps, result);

        const std::uint64_t bytesBefore = result.sectorsWritten * kSectorSize;
        const auto bytes = static_cast<std::size_t>(std::min<std::uint64_t>(count * kSectorSize, byteCount - bytesBefore));
        if (const int error = output.Write(buffer.Data(), bytes); error != 0) {
            result.status = CopyStatus::WriteFailed;
            result.writeError = error;
            return result;
        }
        result.sectorsWritten += count;
    }
    return result;
}

CopyResult CopyFoundFile(VolumeReader& reader, SectorBuffer& buffer, const FoundFileEntry& entry, OutputFile& output,
                         const std::atomic<int>* stopRequested)
{
    if (entry.fragments.empty())
        return CopyFileBytes(reader, buffer, entry.startSector, entry.lengthBytes, output, stopRequested);
    CopyResult total;
    for (const ByteRange& piece : entry.fragments) {
        const CopyResult part =
            CopyFileBytes(reader, buffer, piece.offset / kSectorSize, piece.length, output, stopRequested);
        total.sectorsWritten += part.sectorsWritten;
        total.unreadableSectors += part.unreadableSectors;
        total.sectorsPastEnd += part.sectorsPastEnd;
        if (part.status != CopyStatus::Complete) {
            total.status = part.status;
            total.writeError = part.writeError;
            return total;
        }
    }
    return total;
}

}  // namespace quorvex
