#include "CrwFormat.h"

#include <algorithm>
#include <cstring>

namespace quorvex {

namespace {

constexpr std::uint64_t kHeapStart = 26;
constexpr std::uint16_t kMaxEntries = 1024;

// Whether the directory at `directory` (from the heap's start) with `count` entries describes
// data that lies in the heap before the directory.
bool DirectoryHoldsTogether(ByteSource& file, std::uint64_t directory, std::uint16_t count)
{
    std::uint64_t storedInHeap = 0;
    for (std::uint16_t i = 0; i < count; ++i) {
        const std::uint64_t entry = kHeapStart + directory + 2 + 10ull * i;
        const auto tag = ReadU16(file, entry, ByteOrder::Little);
        const auto length = ReadU32(file, entry + 2, ByteOrder::Little);
        const auto offset = ReadU32(file, entry + 6, ByteOrder::Little);
        if (!tag || !length || !offset)
            return false;
        const unsigned location = *tag & 0xC000;
        if (location == 0x0000) {  // data in the heap
            if (static_cast<std::uint64_t>(*offset) + *length > directory)
                return false;
            ++storedInHeap;
        } else if (location != 0x4000) {  // 0x4000: the data is the entry's own 8 bytes
            return false;
        }
    }
    return storedInHeap > 0;
}

}  // namespace

bool LooksLikeCrwStart(const unsigned char* sector)
{
    static constexpr unsigned char kHeader[] = {'I', 'I', 0x1A, 0, 0, 0, 'H', 'E', 'A', 'P', 'C', 'C', 'D', 'R'};
    return std::memcmp(sector, kHeader, sizeof kHeader) == 0 && sector[16] == 1 && sector[17] == 0;
}

FormatWalk WalkCrw(ByteSource& file)
{
    unsigned char head[kHeapStart];
    if (!ReadExactly(file, 0, head) || !LooksLikeCrwStart(head))
        return NotRecognised();
    FormatWalk walk;
    walk.recognised = true;
    walk.token = "CRW";
    SequentialBytes bytes(file);
    const std::uint64_t size = file.Size();
    // The four bytes before the end E give the directory's offset D, and D < E < Size, so the
    // last of them (the offset's top byte) is at most Size >> 24: zero for any heap under 16 MiB.
    // Only where that byte fits is a directory looked for.
    const auto topMost = static_cast<unsigned char>(std::min<std::uint64_t>(size >> 24, 255));
    std::uint64_t top = kHeapStart + 16 - 1;  // where the offset's top byte would be: E - 1
    while (top < size) {
        const auto window = bytes.From(top - 3, 4);
        if (window.size() < 4)
            break;
        const unsigned char* base = window.data();
        std::size_t i = 3;
        if (topMost == 0) {
            const void* zero = std::memchr(base + 3, 0, window.size() - 3);
            i = zero ? static_cast<std::size_t>(static_cast<const unsigned char*>(zero) - base) : window.size();
        } else {
            while (i < window.size() && base[i] > topMost)
                ++i;
        }
        if (i == window.size()) {
            top += window.size() - 3;
            continue;
        }
        const std::uint64_t end = top - 3 + i + 1;
        top = end;
        const std::uint64_t directory = static_cast<std::uint64_t>(base[i - 3]) | base[i - 2] << 8 |
                                        static_cast<std::uint64_t>(base[i - 1]) << 16 |
                                        static_cast<std::uint64_t>(base[i]) << 24;
        const std::uint64_t directoryAt = kHeapStart + directory;
        if (directoryAt + 16 > end || (end - directoryAt - 6) % 10 != 0)
            continue;
        const std::uint64_t count = (end - directoryAt - 6) / 10;
        if (count == 0 || count > kMaxEntries)
            continue;
        const auto stored = ReadU16(file, directoryAt, ByteOrder::Little);
        if (!stored || *stored != count || !DirectoryHoldsTogether(file, directory, *stored))
            continue;
        walk.end = WalkEnd::Closed;
        walk.length = end;
        return walk;
    }
    walk.end = WalkEnd::OutOfBound;
    walk.length = file.Size();
    return walk;
}

}  // namespace quorvex
