#pragma once

namespace quorvex {

// A signature test: looks at no more than the first 16 bytes of one sector and answers whether a
// file of its type begins there. It has no state and never reads into the next sector.
using SignatureDetector = bool (*)(const unsigned char* sector);

bool IsJpegJfifStart(const unsigned char* sector);
bool IsBitmapStart(const unsigned char* sector);
bool IsTiffStart(const unsigned char* sector);
bool IsPngStart(const unsigned char* sector);
bool IsGifStart(const unsigned char* sector);
bool IsRiffStart(const unsigned char* sector);
bool IsFujiRawStart(const unsigned char* sector);
bool IsMinoltaRawStart(const unsigned char* sector);
bool IsCanonRawStart(const unsigned char* sector);

}  // namespace quorvex
