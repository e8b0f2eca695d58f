// libFuzzer target: the session file reader. Whatever the bytes, it refuses them with a reason
// or reads a session that writes back to the very same bytes and can be checked against a source.
#include "ScanSession.h"

#include <cstddef>
#include <cstdint>
#include <vector>
#include <algorithm>

using namespace quorvex;

namespace {

std::uint64_t Fnv1a(const std::uint8_t* data, std::size_t size)
{
    std::uint64_t hash = 0xCBF29CE484222325ull;
    for (std::size_t i = 0; i < size; ++i) {
        hash ^= data[i];
        hash *= 0x100000001B3ull;
    }
    return hash;
}

void Check(const std::uint8_t* data, std::size_t size)
{
    ScanSession session;
    const SessionCheck check = ParseSession({data, size}, session);
    if (!check.ok()) {
        if (check.reason.empty())
            __builtin_trap();  // every refusal says why
        return;
    }
    const std::vector<unsigned char> again = SessionBytes(session.source, session.catalogue, session.checkpoint);
    if (size > 8 && data[8] == ScanSession::kVersion) {
        if (again.size() != size || !std::equal(again.begin(), again.end(), data))
            __builtin_trap();  // a session read back is the session that was written
    } else {
        // A session of an earlier format is written in the current one, and reads back as that.
        ScanSession current;
        if (!ParseSession(again, current).ok() ||
            SessionBytes(current.source, current.catalogue, current.checkpoint) != again)
            __builtin_trap();
    }
    SessionMatches(session, session.source, session.catalogue.Selection(), session.catalogue.Mode());
    std::uint64_t counted = 0;
    for (const TypeSelection& type : session.catalogue.Selection().Entries())
        counted += session.catalogue.CountOfType(type.token);
    if (counted != session.catalogue.FoundCount())
        __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Check(data, size);
    // Mutated bytes rarely keep a right checksum: the fields behind it are fuzzed with it mended.
    if (size >= 20) {
        std::vector<std::uint8_t> mended(data, data + size);
        const std::uint64_t sum = Fnv1a(mended.data(), size - 8);
        for (std::size_t i = 0; i < 8; ++i)
            mended[size - 8 + i] = static_cast<std::uint8_t>(sum >> (8 * i));
        Check(mended.data(), size);
    }
    return 0;
}
