#pragma once

#include "ByteSource.h"
#include "FormatWalk.h"

namespace quorvex {

// Windows bitmaps with any of the usual DIB headers (OS/2 12-byte core, 40-byte info, the 52-
// and 56-byte Adobe variants, 64-byte OS/2 2, 108-byte V4 and 124-byte V5).

// "BM", then a file header and DIB header whose fields agree: reserved fields zero, a known DIB
// header size, planes 1, a known bit depth and compression that go together, the pixel data
// after the headers, and the pixel array of that width, height and depth inside the file size.
// Reads the first 64 bytes of the sector.
bool LooksLikeBmpStart(const unsigned char* sector);

// The file's end is its size field. An RLE-compressed bitmap's data is walked to its end-of-
// bitmap code as its decode check; an uncompressed one has nothing more to check.
FormatWalk WalkBmp(ByteSource& file);

}  // namespace quorvex
