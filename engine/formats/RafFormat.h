#pragma once

#include "ByteSource.h"
#include "FormatWalk.h"

namespace quorvex {

// Fujifilm RAF: a fixed header that gives where the embedded JPEG preview, the CFA header and
// the raw CFA data lie.

// "FUJIFILMCCD-RAW ", a four-digit format version and a printable camera name.
bool LooksLikeRafStart(const unsigned char* sector);

// The end is the furthest of the three pieces the header places; the JPEG preview must begin
// with SOI where the header says.
FormatWalk WalkRaf(ByteSource& file);

}  // namespace quorvex
