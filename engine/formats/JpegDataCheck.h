#pragma once

#include <span>

namespace quorvex {

// Whether a JPEG's coded data certainly decodes as libjpeg would decode it without a warning or
// an error: a sequential Huffman-coded picture whose headers libjpeg reads silently, every MCU's
// codes valid, each restart interval ending with whole bytes at its restart marker (the next in
// turn) and the last one at the end marker. No pixel is made: codes are read and their values
// skipped, so it runs several times faster than a decode. False says only "not certain": the
// file may still be clean (a progressive picture, an unusual header) or may be damaged; a decode
// must tell.
bool JpegDataCertainlyClean(std::span<const unsigned char> file);

}  // namespace quorvex
