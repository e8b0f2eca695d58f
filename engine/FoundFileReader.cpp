#include "FoundFileReader.h"

#include <algorithm>
#include <cstring>

namespace quorvex {

FoundFileReader::FoundFileReader(VolumeReader& reader, std::vector<ByteRange> pieces)
    : reader_(reader), pieces_(std::move(pieces)), block_(kBlockSectors)
{
    for (const ByteRange& piece : pieces_)
        size_ += piece.length;
}

std::size_t FoundFileReader::ReadAt(std::uint64_t offset, std::span<unsigned char> destination)
{
    if (offset >= size_)
        return 0;
    const auto total = static_cast<std::size_t>(std::min<std::uint64_t>(destination.size(), size_ - offset));
    std::size_t copied = 0;
    std::uint64_t pieceStart = 0;  // the file offset of the current piece's first byte
    for (const ByteRange& piece : pieces_) {
        if (copied == total)
            break;
        const std::uint64_t at = offset + copied;
        if (at >= pieceStart + piece.length) {
            pieceStart += piece.length;
            continue;
        }
        const std::uint64_t inPiece = at - pieceStart;
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(total - copied, piece.length - inPiece));
        ReadVolume(piece.offset + inPiece, destination.data() + copied, n);
        copied += n;
        pieceStart += piece.length;
    }
    return copied;
}

void FoundFileReader::ReadVolume(std::uint64_t volumeOffset, unsigned char* destination, std::size_t length)
{
    while (length > 0) {
        const std::uint64_t sector = volumeOffset / kSectorSize;
        if (blockFirstSector_ == UINT64_MAX || sector < blockFirstSector_ ||
            sector >= blockFirstSector_ + kBlockSectors) {
            blockFirstSector_ = sector / kBlockSectors * kBlockSectors;
            SectorReadResult read = reader_.ReadSectors(blockFirstSector_, kBlockSectors, block_);
            std::size_t filled = read.sectorsRead;
            // Where the block failed, read on sector by sector so that only bad sectors are zeros.
            while (filled < kBlockSectors && read.error != 0) {
                std::memset(block_.Data() + filled * kSectorSize, 0, kSectorSize);
                ++unreadableSectors_;
                ++filled;
                SectorBuffer one(1);
                for (; filled < kBlockSectors; ++filled) {
                    read = reader_.ReadSectors(blockFirstSector_ + filled, 1, one);
                    if (read.sectorsRead != 1)
                        break;
                    std::memcpy(block_.Data() + filled * kSectorSize, one.Data(), kSectorSize);
                }
            }
            if (filled < kBlockSectors)  // the end of the volume
                std::memset(block_.Data() + filled * kSectorSize, 0, (kBlockSectors - filled) * kSectorSize);
        }
        const std::uint64_t inBlock = volumeOffset - blockFirstSector_ * kSectorSize;
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(length, block_.SizeBytes() - inBlock));
        std::memcpy(destination, block_.Data() + inBlock, n);
        destination += n;
        volumeOffset += n;
        length -= n;
    }
}

}  // namespace quorvex
