#include "ByteSource.h"

#include <algorithm>
#include <cstring>

namespace quorvex {

std::size_t MemoryByteSource::ReadAt(std::uint64_t offset, std::span<unsigned char> destination)
{
    if (offset >= bytes_.size() || destination.empty())
        return 0;
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(destination.size(), bytes_.size() - offset));
    std::memcpy(destination.data(), bytes_.data() + offset, n);
    return n;
}

bool ReadExactly(ByteSource& source, std::uint64_t offset, std::span<unsigned char> destination)
{
    return source.ReadAt(offset, destination) == destination.size();
}

std::optional<std::uint8_t> ReadU8(ByteSource& source, std::uint64_t offset)
{
    unsigned char b = 0;
    if (!ReadExactly(source, offset, {&b, 1}))
        return std::nullopt;
    return b;
}

std::optional<std::uint16_t> ReadU16(ByteSource& source, std::uint64_t offset, ByteOrder order)
{
    unsigned char b[2];
    if (!ReadExactly(source, offset, b))
        return std::nullopt;
    return static_cast<std::uint16_t>(order == ByteOrder::Little ? b[0] | b[1] << 8 : b[0] << 8 | b[1]);
}

std::optional<std::uint32_t> ReadU32(ByteSource& source, std::uint64_t offset, ByteOrder order)
{
    unsigned char b[4];
    if (!ReadExactly(source, offset, b))
        return std::nullopt;
    if (order == ByteOrder::Little)
        return static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
               static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
    return static_cast<std::uint32_t>(b[3]) | static_cast<std::uint32_t>(b[2]) << 8 |
           static_cast<std::uint32_t>(b[1]) << 16 | static_cast<std::uint32_t>(b[0]) << 24;
}

bool ReadPrefix(ByteSource& source, std::uint64_t length, std::vector<unsigned char>& into)
{
    if (length > source.Size())
        return false;
    into.resize(static_cast<std::size_t>(length));
    return ReadExactly(source, 0, into);
}

SequentialBytes::SequentialBytes(ByteSource& source, std::size_t windowBytes) : source_(source), window_(windowBytes)
{
}

std::span<const unsigned char> SequentialBytes::From(std::uint64_t offset, std::size_t atLeast)
{
    if (offset < windowStart_ || offset + atLeast > windowStart_ + windowLength_) {
        windowStart_ = offset;
        windowLength_ = source_.ReadAt(offset, window_);
        if (windowLength_ == 0)
            return {};
    }
    const auto at = static_cast<std::size_t>(offset - windowStart_);
    return {window_.data() + at, windowLength_ - at};
}

}  // namespace quorvex
