#pragma once

#include "ByteSource.h"
#include "FormatWalk.h"

namespace quorvex {

// PNG (and APNG).

// The signature, then an IHDR chunk of 13 bytes whose fields are valid and whose CRC is right.
bool LooksLikePngStart(const unsigned char* sector);

// Walks the chunks to IEND. Every chunk's CRC is checked, and the image data (the IDAT chunks)
// is inflated as it goes: the walk's decode result is Clean when every CRC is right, the zlib
// stream ends exactly at the picture's size and every row starts with a valid filter type.
// A chunk whose length or type is not a chunk's breaks the structure.
FormatWalk WalkPng(ByteSource& file);

}  // namespace quorvex
