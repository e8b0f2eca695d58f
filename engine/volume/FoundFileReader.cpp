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
    for (std::size_t p = 0; p < pieces_.size() && copied < total; ++p) {
        const ByteRange& piece = pieces_[p];
        const std::uint64_t at = offset + copied;
        if (at < pieceStart + piece.length) {
            const std::uint64_t inPiece = at - pieceStart;
            const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(total - copied, piece.length - inPiece));
            ReadPiece(p, inPiece, destination.data() + copied, n);
            copied += n;
        }
        pieceStart += piece.length;
    }
    return copied;
}

void FoundFileReader::ReadPiece(std::size_t piece, std::uint64_t inPiece, unsigned char* destination,
                                std::size_t length)
{
    const ByteRange& range = pieces_[piece];
    const std::uint64_t firstSector = range.offset / kSectorSize;
    const std::uint64_t lead = range.offset % kSectorSize;  // 0 for pieces that start at a sector
    const std::uint64_t pieceSectors = (lead + range.length + kSectorSize - 1) / kSectorSize;
    while (length > 0) {
        const std::uint64_t atPiece = lead + inPiece;  // from the piece's first sector
        const std::uint64_t index = atPiece / block_.SizeBytes();
        if (piece != blockPiece_ || index != blockIndex_) {
            const std::uint64_t blockSector = index * kBlockSectors;
            LoadBlock(firstSector + blockSector,
                      static_cast<std::size_t>(std::min<std::uint64_t>(kBlockSectors, pieceSectors - blockSector)));
            blockPiece_ = piece;
            blockIndex_ = index;
        }
        const std::uint64_t inBlock = atPiece - index * block_.SizeBytes();
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(length, block_.SizeBytes() - inBlock));
        std::memcpy(destination, block_.Data() + inBlock, n);
        destination += n;
        inPiece += n;
        length -= n;
    }
}

void FoundFileReader::LoadBlock(std::uint64_t firstSector, std::size_t sectors)
{
    SectorReadResult read = reader_.ReadSectors(firstSector, sectors, block_);
    std::size_t filled = read.sectorsRead;
    // Where the block failed, read on sector by sector so that only bad sectors are zeros.
    if (filled < sectors && read.error != 0 && !single_)
        single_.emplace(1);
    while (filled < sectors && read.error != 0) {
        SectorBuffer& one = *single_;
        std::memset(block_.Data() + filled * kSectorSize, 0, kSectorSize);
        ++unreadableSectors_;
        for (++filled; filled < sectors; ++filled) {
            read = reader_.ReadSectors(firstSector + filled, 1, one);
            if (read.sectorsRead != 1)
                break;
            std::memcpy(block_.Data() + filled * kSectorSize, one.Data(), kSectorSize);
        }
    }
    // Past the end of the volume (or of the piece, within the block): zeros.
    std::memset(block_.Data() + filled * kSectorSize, 0, (kBlockSectors - filled) * kSectorSize);
}

}  // namespace quorvex
