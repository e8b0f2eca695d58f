#pragma once

#include "FoundFileReader.h"
#include "SectorBuffer.h"
#include "VolumeReader.h"
#include "ByteSource.h"

#include <cstdint>
#include <list>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

namespace quorvex {

// The whole volume as bytes, read in 16 KiB blocks that are kept (up to a bound, the least
// recently used given up first), so that searching an area again and again reads it once, and
// testing a place reads little more than that place.
// Sectors the device cannot give read as zeros. Only what is asked for is read.
class VolumeByteCache final : public ByteSource {
public:
    static constexpr std::size_t kBlockBytes = 16 * 1024;

    explicit VolumeByteCache(VolumeReader& reader, std::size_t maxBlocks = 384);

    std::uint64_t Size() const override { return size_; }
    std::size_t ReadAt(std::uint64_t offset, std::span<unsigned char> destination) override;

    // The bytes of the block that holds `offset` from `offset` on (empty at or past Size()).
    // Valid until the next read.
    std::span<const unsigned char> BytesFrom(std::uint64_t offset);

private:
    const std::vector<unsigned char>& Block(std::uint64_t index);

    VolumeReader& reader_;
    std::uint64_t size_;
    std::size_t maxBlocks_;
    SectorBuffer buffer_;
    std::optional<SectorBuffer> single_;
    std::list<std::uint64_t> recent_;  // block indices, most recently used first
    struct Held {
        std::vector<unsigned char> bytes;
        std::list<std::uint64_t>::iterator place;
    };
    std::unordered_map<std::uint64_t, Held> blocks_;
    std::vector<unsigned char> spare_;  // the bytes of the last block given up
    std::uint64_t lastIndex_ = UINT64_MAX;
    const std::vector<unsigned char>* last_ = nullptr;
};

// A file laid over a volume: its pieces end to end, the last of them open (it runs on to
// `size` bytes of the file, or the volume's end). What joiners read a candidate through.
class PiecesByteSource final : public ByteSource {
public:
    PiecesByteSource(VolumeByteCache& volume, std::vector<ByteRange> closed, std::uint64_t openStart,
                     std::uint64_t size);

    std::uint64_t Size() const override { return size_; }
    std::size_t ReadAt(std::uint64_t offset, std::span<unsigned char> destination) override;

    // The volume offset of the file's byte `offset` (offset < Size()).
    std::uint64_t VolumeOffsetOf(std::uint64_t offset) const;
    // The file offset where the open piece starts.
    std::uint64_t OpenPieceFileStart() const { return closedBytes_; }
    std::uint64_t OpenPieceStart() const { return openStart_; }
    // The pieces of a file of `length` bytes laid as this source lays it.
    std::vector<ByteRange> PiecesFor(std::uint64_t length) const;

private:
    VolumeByteCache& volume_;
    std::vector<ByteRange> closed_;
    std::uint64_t closedBytes_ = 0;
    std::uint64_t openStart_;
    std::uint64_t size_;
};

}  // namespace quorvex
