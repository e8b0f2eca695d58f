#pragma once

#include "FoundFileCatalogue.h"
#include "OutputFile.h"
#include "SectorBuffer.h"
#include "VolumeReader.h"

#include <atomic>
#include <cstdint>

namespace quorvex {

enum class CopyStatus {
    Complete,     // every sector was written
    Stopped,      // the stop request was seen; the sectors written so far stay in the file
    WriteFailed,  // the output refused a write (full disk, I/O error); see writeError
};

struct CopyResult {
    CopyStatus status = CopyStatus::Complete;
    std::uint64_t sectorsWritten = 0;  // sectors whose bytes were written, the last one maybe in part
    std::uint64_t unreadableSectors = 0;  // device errors, written as zeros
    std::uint64_t sectorsPastEnd = 0;     // beyond the end of the volume, written as zeros
    int writeError = 0;
};

// Copies `sectorCount` sectors of the volume from `startSector` into `output`. The data is never
// examined: the copy does not stop at the end of the file or of the volume. Reads go in blocks
// of the buffer's size; where a block fails, it is read again sector by sector, and a sector
// that cannot be read is written as zeros, so the output always has its full length unless the
// copy stops or a write fails. `stopRequested` (may be null) is checked before every block.
CopyResult CopyExtent(VolumeReader& reader, SectorBuffer& buffer, std::uint64_t startSector,
                      std::uint64_t sectorCount, OutputFile& output, const std::atomic<int>* stopRequested);

// The same for a length in bytes: the sectors that hold the first `byteCount` bytes from
// `startSector` on, the last of them cut at byteCount. A found file of exact recovery is saved
// so; a described one's byte count is its extent.
CopyResult CopyFileBytes(VolumeReader& reader, SectorBuffer& buffer, std::uint64_t startSector,
                         std::uint64_t byteCount, OutputFile& output, const std::atomic<int>* stopRequested);

// A found file's bytes: its one piece (startSector, lengthBytes), or, for a reassembled file, its
// fragments one after the other (each starts at a sector). The counts of the result add up
// over the pieces.
CopyResult CopyFoundFile(VolumeReader& reader, SectorBuffer& buffer, const FoundFileEntry& entry, OutputFile& output,
                         const std::atomic<int>* stopRequested);

}  // namespace quorvex
