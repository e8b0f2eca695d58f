#pragma once

#include "ByteSource.h"
#include "FormatWalk.h"

#include <string_view>

namespace quorvex {

// RIFF containers: WAVE, AVI (with its OpenDML "AVIX" extensions), WEBP, RMID, ACON, CDXA, DLS.

// "RIFF", a size of at least 4, a known form type, and a first sub-chunk with a printable
// four-character code whose size fits inside the RIFF chunk.
bool LooksLikeRiffStart(const unsigned char* sector);

// The file ends where the RIFF chunk's size says; the top-level sub-chunks are walked to there
// and must fill it exactly. An AVI continues with the "RIFF....AVIX" chunks that follow it. The
// token names the form: WEBP, AVI or WAV, and RIFF for the others.
FormatWalk WalkRiff(ByteSource& file);

// The token of a RIFF form type (the four bytes after the size).
std::string_view RiffFormToken(const unsigned char* form);

}  // namespace quorvex
