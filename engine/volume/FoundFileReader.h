#pragma once

#include "SectorBuffer.h"
#include "VolumeReader.h"
#include "ByteSource.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace quorvex {

// A run of the volume's bytes. Invariant: offset + length does not overflow.
struct ByteRange {
    std::uint64_t offset = 0;  // from the volume's first byte; a found file's pieces start at sectors
    std::uint64_t length = 0;

    friend bool operator==(const ByteRange&, const ByteRange&) = default;
};

// A found file's bytes read straight from the volume: its pieces laid end to end (one piece, or
// several for a file put back together from fragments). Bytes the device cannot give (failed
// sectors, or beyond the end of the volume) read as zeros; failed sectors are counted. Nothing
// outside the pieces is ever read.
class FoundFileReader final : public ByteSource {
public:
    FoundFileReader(VolumeReader& reader, std::vector<ByteRange> pieces);

    std::uint64_t Size() const override { return size_; }
    std::size_t ReadAt(std::uint64_t offset, std::span<unsigned char> destination) override;

    // Sectors whose read failed so far (each counted once per time it was read into the cache).
    std::uint64_t UnreadableSectors() const { return unreadableSectors_; }

private:
    // Copies bytes [inPiece, inPiece + length) of piece `piece` through the block cache. Blocks
    // count from the piece's first sector and end at its last, so no read leaves the piece.
    void ReadPiece(std::size_t piece, std::uint64_t inPiece, unsigned char* destination, std::size_t length);
    void LoadBlock(std::uint64_t firstSector, std::size_t sectors);

    static constexpr std::size_t kBlockSectors = 128;  // 64 KiB: decoders read in small pieces

    VolumeReader& reader_;
    std::vector<ByteRange> pieces_;
    std::uint64_t size_ = 0;
    SectorBuffer block_;
    std::optional<SectorBuffer> single_;  // for sector-by-sector re-reads, made when first needed
    std::size_t blockPiece_ = SIZE_MAX;  // which piece and which of its blocks the cache holds
    std::uint64_t blockIndex_ = 0;
    std::uint64_t unreadableSectors_ = 0;
};

}  // namespace quorvex
