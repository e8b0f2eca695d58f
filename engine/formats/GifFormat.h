#pragma once

#include "ByteSource.h"
#include "FormatWalk.h"

#include <span>

namespace quorvex {

// GIF87a and GIF89a, still and animated.

// "GIF87a" or "GIF89a", a logical screen of non-zero size, and a first block (extension, image
// or trailer) where the header and the global colour table say it is.
bool LooksLikeGifStart(const unsigned char* sector);

// Walks the blocks (extensions and images, each with its data sub-blocks) to the trailer.
// Anything else where a block must begin breaks the structure.
FormatWalk WalkGif(ByteSource& file);

// Decodes every frame's LZW data with giflib, a row at a time; Faulty when a frame's data does
// not decode to its size.
DecodeResult DecodeGif(std::span<const unsigned char> file);

}  // namespace quorvex
