#include "TsFormat.h"

#include <optional>

namespace quorvex {

namespace {

constexpr unsigned char kSync = 0x47;
constexpr std::uint64_t kAvchdUnit = 6144;  // 32 packets of 192 bytes

// Where the packets' sync bytes lie: 192-byte packets have theirs after a 4-byte header.
struct Packing {
    std::uint64_t packet;
    std::uint64_t sync;
};

bool SyncsIn(const unsigned char* sector, Packing packing)
{
    int syncs = 0;
    for (std::uint64_t at = packing.sync; at < 512; at += packing.packet, ++syncs)
        if (sector[at] != kSync)
            return false;
    return syncs >= 2;
}

std::optional<Packing> PackingOf(const unsigned char* sector)
{
    // A 192-byte stream begins with its arrival time; the top two bits (copy permission) are 0 in
    // what cameras write.
    if (SyncsIn(sector, {192, 4}) && (sector[0] & 0xC0) == 0)
        return Packing{192, 4};
    if (SyncsIn(sector, {188, 0}))
        return Packing{188, 0};
    return std::nullopt;
}

}  // namespace

bool LooksLikeTsStart(const unsigned char* sector)
{
    return PackingOf(sector).has_value();
}

FormatWalk WalkTs(ByteSource& file)
{
    unsigned char head[512] = {};
    if (file.ReadAt(0, head) < 512)
        return NotRecognised();
    const std::optional<Packing> packing = PackingOf(head);
    if (!packing)
        return NotRecognised();
    FormatWalk walk;
    walk.recognised = true;
    walk.token = "MTS";
    SequentialBytes bytes(file, 256 * 1024);
    const std::uint64_t size = file.Size();
    std::uint64_t end = 0;  // the end of the last whole packet
    for (;;) {
        const std::uint64_t sync = end + packing->sync;
        if (sync >= size) {
            // The bound comes before the next packet's sync byte: the stream may go on past it.
            walk.end = WalkEnd::OutOfBound;
            end = size;
            break;
        }
        const auto window = bytes.From(sync, 1);
        if (window.empty() || window[0] != kSync) {
            walk.end = WalkEnd::Closed;
            break;
        }
        if (end + packing->packet > size) {
            walk.end = WalkEnd::OutOfBound;  // a packet begins and the bound cuts it
            end = size;
            break;
        }
        end += packing->packet;
    }
    walk.length = end;
    if (walk.end == WalkEnd::Closed && packing->packet == 192 && end % kAvchdUnit != 0)
        walk.decoded = DecodeResult::Faulty;
    else if (walk.end == WalkEnd::Closed)
        walk.decoded = DecodeResult::Clean;
    return walk;
}

}  // namespace quorvex
