#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace quorvex {

// The bytes of one candidate file, addressed from the file's first byte. Size() is all there is
// to read: the Maximum Size of its type or the end of the volume, whichever comes first. Format
// walkers read only through this, so they can never read past the bound.
class ByteSource {
public:
    virtual ~ByteSource() = default;

    virtual std::uint64_t Size() const = 0;

    // Copies the bytes at [offset, offset + destination.size()) that lie below Size() to the
    // start of `destination`; returns how many that is (0 at or past Size()).
    virtual std::size_t ReadAt(std::uint64_t offset, std::span<unsigned char> destination) = 0;
};

// Bytes held in memory (tests, fuzz targets, and the decode of a file already read).
class MemoryByteSource final : public ByteSource {
public:
    explicit MemoryByteSource(std::span<const unsigned char> bytes) : bytes_(bytes) {}
    std::uint64_t Size() const override { return bytes_.size(); }
    std::size_t ReadAt(std::uint64_t offset, std::span<unsigned char> destination) override;

private:
    std::span<const unsigned char> bytes_;
};

enum class ByteOrder { Little, Big };

// Whole fields or nothing: each returns nullopt when the field does not lie wholly below Size().
std::optional<std::uint8_t> ReadU8(ByteSource& source, std::uint64_t offset);
std::optional<std::uint16_t> ReadU16(ByteSource& source, std::uint64_t offset, ByteOrder order);
std::optional<std::uint32_t> ReadU32(ByteSource& source, std::uint64_t offset, ByteOrder order);
bool ReadExactly(ByteSource& source, std::uint64_t offset, std::span<unsigned char> destination);

// The first `length` bytes of the source (length <= Size()), in `into` (reused between calls).
bool ReadPrefix(ByteSource& source, std::uint64_t length, std::vector<unsigned char>& into);

// Reads a source front to back through a window of its bytes, for walkers that look at every
// byte (entropy-coded data, chunk data for CRCs).
class SequentialBytes {
public:
    explicit SequentialBytes(ByteSource& source, std::size_t windowBytes = 64 * 1024);

    // The bytes from `offset` on that are in the window, after moving the window so that it
    // holds at least `atLeast` of them (fewer only at Size()). Valid until the next call.
    std::span<const unsigned char> From(std::uint64_t offset, std::size_t atLeast = 1);
    std::uint64_t Size() const { return source_.Size(); }

private:
    ByteSource& source_;
    std::vector<unsigned char> window_;
    std::uint64_t windowStart_ = 0;
    std::size_t windowLength_ = 0;
};

}  // namespace quorvex
