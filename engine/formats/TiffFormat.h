#pragma once

#include "ByteSource.h"
#include "FormatWalk.h"

#include <span>

namespace quorvex {

// TIFF, and the camera raw files built on it: NEF (IFD0's Make says NIKON) and DCR (Kodak).

// "II*\0" or "MM\0*" and a first IFD offset past the header; when that IFD lies in the sector,
// its entry count and field types must be valid too.
bool LooksLikeTiffStart(const unsigned char* sector);

// Checks the first IFD (entry count, field types, an image's width, height and data) and walks
// every IFD reachable from it (the page chain, SubIFDs, the Exif, GPS and interoperability
// IFDs), each at most once. The end is the furthest byte any IFD, out-of-line field value, strip,
// tile or embedded JPEG reaches. The token is NEF or DCR when IFD0's Make names the maker.
FormatWalk WalkTiff(ByteSource& file);

// Decodes every strip and tile of every page with libtiff; pages whose compression libtiff does
// not know are not checked.
DecodeResult DecodeTiff(std::span<const unsigned char> file);

}  // namespace quorvex
