#include "VolumeByteCache.h"

#include <algorithm>
#include <cstring>

namespace quorvex {

namespace {
constexpr std::size_t kBlockSectors = VolumeByteCache::kBlockBytes / kSectorSize;
}

VolumeByteCache::VolumeByteCache(VolumeReader& reader, std::size_t maxBlocks)
    : reader_(reader), size_(reader.TotalSectors() * kSectorSize), maxBlocks_(std::max<std::size_t>(maxBlocks, 2)),
      buffer_(kBlockSectors)
{
}

const std::vector<unsigned char>& VolumeByteCache::Block(std::uint64_t index)
{
    if (index == lastIndex_)
        return *last_;
    if (const auto found = blocks_.find(index); found != blocks_.end()) {
        recent_.splice(recent_.begin(), recent_, found->second.place);
        lastIndex_ = index;
        last_ = &found->second.bytes;
        return *last_;
    }
    if (blocks_.size() >= maxBlocks_) {
        spare_ = std::move(blocks_.at(recent_.back()).bytes);
        blocks_.erase(recent_.back());
        recent_.pop_back();
    }
    const std::uint64_t firstSector = index * kBlockSectors;
    const auto sectors = static_cast<std::size_t>(std::min<std::uint64_t>(kBlockSectors, reader_.TotalSectors() - firstSector));
    // The block read before (if one was given up) is reused: no fresh memory for each block.
    std::vector<unsigned char> bytes = std::move(spare_);
    if (bytes.size() != sectors * kSectorSize)
        bytes.resize(sectors * kSectorSize);
    const SectorReadResult read = reader_.ReadSectors(firstSector, sectors, buffer_);
    std::memcpy(bytes.data(), buffer_.Data(), read.sectorsRead * kSectorSize);
    std::memset(bytes.data() + read.sectorsRead * kSectorSize, 0, (sectors - read.sectorsRead) * kSectorSize);
    if (read.sectorsRead < sectors) {
        // A failed block is read again sector by sector; what still fails stays zero.
        if (!single_)
            single_.emplace(1);
        for (std::size_t s = read.sectorsRead; s < sectors; ++s)
            if (reader_.ReadSectors(firstSector + s, 1, *single_).sectorsRead == 1)
                std::memcpy(bytes.data() + s * kSectorSize, single_->Data(), kSectorSize);
    }
    recent_.push_front(index);
    auto& held = blocks_[index];
    held.bytes = std::move(bytes);
    held.place = recent_.begin();
    lastIndex_ = index;
    last_ = &held.bytes;
    return *last_;
}

std::span<const unsigned char> VolumeByteCache::BytesFrom(std::uint64_t offset)
{
    if (offset >= size_)
        return {};
    const std::vector<unsigned char>& block = Block(offset / kBlockBytes);
    const std::size_t into = offset % kBlockBytes;
    return std::span<const unsigned char>(block).subspan(into);
}

std::size_t VolumeByteCache::ReadAt(std::uint64_t offset, std::span<unsigned char> destination)
{
    std::size_t done = 0;
    while (done < destination.size()) {
        const auto bytes = BytesFrom(offset + done);
        if (bytes.empty())
            break;
        const std::size_t n = std::min(bytes.size(), destination.size() - done);
        std::memcpy(destination.data() + done, bytes.data(), n);
        done += n;
    }
    return done;
}

PiecesByteSource::PiecesByteSource(VolumeByteCache& volume, std::vector<ByteRange> closed, std::uint64_t openStart,
                                   std::uint64_t size)
    : volume_(volume), closed_(std::move(closed)), openStart_(openStart)
{
    for (const ByteRange& piece : closed_)
        closedBytes_ += piece.length;
    const std::uint64_t openBytes = openStart < volume.Size() ? volume.Size() - openStart : 0;
    size_ = std::min(size, closedBytes_ + openBytes);
}

std::uint64_t PiecesByteSource::VolumeOffsetOf(std::uint64_t offset) const
{
    for (const ByteRange& piece : closed_) {
        if (offset < piece.length)
            return piece.offset + offset;
        offset -= piece.length;
    }
    return openStart_ + offset;
}

std::size_t PiecesByteSource::ReadAt(std::uint64_t offset, std::span<unsigned char> destination)
{
    std::size_t done = 0;
    while (done < destination.size() && offset + done < size_) {
        const std::uint64_t at = offset + done;
        // How many bytes of the file from `at` lie together on the volume.
        std::uint64_t together = size_ - at;
        std::uint64_t pieceStart = 0;
        for (const ByteRange& piece : closed_) {
            if (at < pieceStart + piece.length) {
                together = pieceStart + piece.length - at;
                break;
            }
            pieceStart += piece.length;
        }
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(together, destination.size() - done));
        const std::size_t got = volume_.ReadAt(VolumeOffsetOf(at), destination.subspan(done, want));
        done += got;
        if (got < want)
            break;
    }
    return done;
}

std::vector<ByteRange> PiecesByteSource::PiecesFor(std::uint64_t length) const
{
    std::vector<ByteRange> pieces;
    for (const ByteRange& piece : closed_) {
        if (length == 0)
            break;
        pieces.push_back({piece.offset, std::min(piece.length, length)});
        length -= pieces.back().length;
    }
    if (length > 0)
        pieces.push_back({openStart_, length});
    return pieces;
}

}  // namespace quorvex
