// libFuzzer target: exact recovery's recogniser, end walker and decode check of one format
// (chosen when built), on bytes as a card holds them: the first sector as the scan sees it, then
// the walk through a bounded byte source, then the decode of what the walk closed.
#include "ExactFormats.h"
#include "FormatWalk.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#ifndef QUORVEX_FUZZ_TOKEN
#error "QUORVEX_FUZZ_TOKEN names the type whose format to fuzz"
#endif

using namespace quorvex;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const ExactFormat* format = ExactFormatOf(QUORVEX_FUZZ_TOKEN);
    std::array<unsigned char, 512> sector{};
    std::memcpy(sector.data(), data, std::min(size, sector.size()));
    const bool looksLike = format->looksLikeStart(sector.data());

    MemoryByteSource source({data, size});
    const FormatWalk walk = format->walk(source);
    if (walk.recognised && !looksLike)
        __builtin_trap();  // the walk accepts only what the scan's cheap test let through
    if (walk.length > size)
        __builtin_trap();  // never past the bound
    if (walk.recognised && walk.end == WalkEnd::Closed && format->decode != nullptr)
        format->decode({data, static_cast<std::size_t>(walk.length)});
    return 0;
}
