#pragma once

#include "ByteSource.h"
#include "FormatWalk.h"

#include <span>

namespace quorvex {

// PNG (and APNG).

// The signature, then an IHDR chunk of 13 bytes whose fields are valid and whose CRC is right.
bool LooksLikePngStart(const unsigned char* sector);

// Walks the chunks to IEND and checks every chunk's CRC: a wrong one makes the walk's decode
// result Faulty. A chunk whose length or type is not a chunk's breaks the structure.
FormatWalk WalkPng(ByteSource& file);

// Inflates the image data (the IDAT chunks) of a PNG whose chunks were walked: Clean when the
// zlib stream ends exactly at the picture's size and every row starts with a valid filter type.
DecodeResult DecodePng(std::span<const unsigned char> file);

}  // namespace quorvex
