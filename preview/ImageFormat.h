#pragma once

#include <cstdint>
#include <string_view>

namespace quorvex::preview {

// Image format identifiers as the image service takes them; 0 is no known format.
namespace format {
inline constexpr std::uint32_t kUnknown = 0, kBmp = 1, kGif = 2, kJpeg = 3, kPng = 4, kIco = 5, kTiff = 6, kTga = 7,
                               kPcx = 8, kWmf = 10, kJp2 = 11, kJpc = 12, kPgx = 13, kPnm = 14, kRas = 15,
                               kWebp = 16, kHeif = 17;
}

// The format of a file by the last three (for "jpeg" and "tiff", four) characters of its name,
// compared without regard to case; no dot is needed before them.
std::uint32_t ImageFormatFromFileName(std::string_view name);

}  // namespace quorvex::preview
