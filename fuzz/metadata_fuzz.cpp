// Photo metadata read from a found file's bytes: whatever they hold, the facts stay within their
// ranges, the camera is short printable text, and a preview is never bigger than the file.
#include "PhotoMetadata.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::uint32_t previewWidth = size > 0 ? (data[0] % 3) * 160u : 0u;
    const quorvex::PhotoMetadata metadata = quorvex::ReadPhotoMetadata({data, size}, previewWidth);
    const quorvex::PhotoFacts& facts = metadata.facts;
    if (facts.orientation < 1 || facts.orientation > 8 || facts.camera.size() > 129 || metadata.preview.size() > size ||
        (facts.width == 0) != (facts.height == 0))
        __builtin_trap();
    for (const char c : facts.camera)
        if (c < 0x20 || c > 0x7E)
            __builtin_trap();
    if (facts.captured && (facts.captured->month < 1 || facts.captured->month > 12 || facts.captured->day < 1))
        __builtin_trap();
    return 0;
}
