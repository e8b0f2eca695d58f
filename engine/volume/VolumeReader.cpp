#include "VolumeReader.h"

#include <cerrno>
#include <limits>
#include <stdexcept>

namespace quorvex {

OpenStatus VolumeReader::Open(const VolumeOpener& opener)
{
    source_.reset();
    VolumeOpenResult result = opener();
    source_ = std::move(result.source);
    if (source_)
        return {};
    if (result.failure == OpenFailure::None)
        return {OpenFailure::Other, result.message.empty() ? "the volume could not be opened" : result.message};
    return {result.failure, std::move(result.message)};
}

std::uint64_t VolumeReader::TotalSectors() const
{
    return source_ ? source_->SizeBytes() / kSectorSize : 0;
}

SectorReadResult VolumeReader::ReadSectors(std::uint64_t firstSector, std::size_t count, SectorBuffer& buffer)
{
    if (count > buffer.SectorCount())
        throw std::out_of_range("VolumeReader::ReadSectors: more sectors than the buffer holds");
    if (!source_)
        return {0, EBADF};
    if (firstSector > std::numeric_limits<std::uint64_t>::max() / kSectorSize)
        return {0, EOVERFLOW};

    const ReadOutcome outcome = source_->ReadAt(firstSector * kSectorSize, buffer.FirstSectors(count));
    return {outcome.bytesRead / kSectorSize, outcome.error};
}

}  // namespace quorvex
