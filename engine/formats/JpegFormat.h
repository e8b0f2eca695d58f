#pragma once

#include "ByteSource.h"
#include "FormatWalk.h"

#include <span>

namespace quorvex {

// JPEG: camera and phone files (Exif), JFIF, editor and bare ones.

// Whether the first bytes of a sector (512 of them) begin a JPEG: SOI, then a marker a JPEG may
// begin with (APPn, DQT, DHT, SOFn, DRI, COM, DAC) and a segment length that fits that marker.
bool LooksLikeJpegStart(const unsigned char* sector);

// Walks the segments and the entropy-coded data to the EOI that ends the picture. Segments are
// skipped by their lengths, so an Exif thumbnail's own EOI inside APP1 never ends the file; the
// pictures a multi-picture file (MPF) appends after the first picture's EOI stay with it.
// A marker that cannot occur in a JPEG (a second SOI, a reserved code) breaks the structure.
FormatWalk WalkJpeg(ByteSource& file);

// Whether the picture's data is whole: clean when libjpeg would decode it without meeting corrupt
// data (a bad Huffman code, a premature end, data left over before a marker). Its codes are read
// without a decode where that settles it; libjpeg decodes the rest.
DecodeResult DecodeJpeg(std::span<const unsigned char> file);

// The same, always by a libjpeg decode (at 1/8 scale: every coefficient is still read).
DecodeResult DecodeJpegWithLibjpeg(std::span<const unsigned char> file);

}  // namespace quorvex
