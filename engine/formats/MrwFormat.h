#pragma once

#include "ByteSource.h"
#include "FormatWalk.h"

namespace quorvex {

// Minolta MRW: "\0MRM", the length of the header blocks (PRD, TTW, WBG, RIF, PAD), then the raw
// data, whose size the PRD block gives.

// "\0MRM" and a first block with a known name.
bool LooksLikeMrwStart(const unsigned char* sector);

// Walks the header blocks, which must fill the header exactly, and ends after the raw data:
// sensor height × width × bits per pixel (PRD).
FormatWalk WalkMrw(ByteSource& file);

}  // namespace quorvex
