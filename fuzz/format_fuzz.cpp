// libFuzzer target: exact recovery's recogniser, end walker and decode check of one format
// (chosen when built), on bytes as a card holds them: the first sector as the scan sees it, then
// the walk through a bounded byte source, then the decode of what the walk closed. For JPEG, also
// that the quick check of the coded data never calls clean what libjpeg does not.
#include "ExactFormats.h"
#include "FormatWalk.h"
#include "JpegDataCheck.h"
#include "JpegFormat.h"

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
    // What the quick check of a JPEG's data calls clean, libjpeg decodes without a warning.
    if (format->Reports("JPG") && JpegDataCertainlyClean({data, size}) &&
        DecodeJpegWithLibjpeg({data, size}) != DecodeResult::Clean)
        __builtin_trap();
    return 0;
}
