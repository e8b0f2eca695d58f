#pragma once

#include "SectorBuffer.h"
#include "VolumeSource.h"

#include <cstdint>
#include <memory>

namespace quorvex {

// What a sector read really brought back. Only the first sectorsRead sectors of the buffer hold
// data of this read; anything after them is stale and must not be looked at.
struct SectorReadResult {
    std::size_t sectorsRead = 0;
    int error = 0;  // errno of the failure that ended the read early, 0 when none

    // Fewer sectors than asked and no error: the read ran into the end of the volume.
    bool ReachedEnd(std::size_t asked) const { return sectorsRead < asked && error == 0; }
};

// Read-only access to the sectors of one volume for one worker run. The reader owns its source;
// a reader without a source fails every read without touching any device.
class VolumeReader {
public:
    VolumeReader() = default;
    explicit VolumeReader(std::unique_ptr<VolumeSource> source) : source_(std::move(source)) {}

    // Replaces what the reader held by the volume the opener gives; says why when there is none.
    OpenStatus Open(const VolumeOpener& opener);
    void Close() { source_.reset(); }
    bool IsOpen() const { return source_ != nullptr; }

    // The volume's size in whole sectors; a partial sector at the end is not counted.
    std::uint64_t TotalSectors() const;

    // Reads `count` sectors (count <= buffer.SectorCount()) starting at `firstSector` into the
    // start of `buffer`. A partial sector at the end of the volume is not a sector read.
    SectorReadResult ReadSectors(std::uint64_t firstSector, std::size_t count, SectorBuffer& buffer);

private:
    std::unique_ptr<VolumeSource> source_;
};

}  // namespace quorvex
