#pragma once

#include "ByteSource.h"
#include "FormatWalk.h"

#include <span>
#include <vector>

namespace quorvex {

// TIFF, and the camera raw files built on it: NEF (IFD0's Make says NIKON), DCR (Kodak), CR2
// (Canon's "CR" mark after the header), ARW (Sony), DNG (a DNGVersion tag), ORF (Olympus' own
// header, "IIRO", "IIRS" or "MMOR", or its Make), RW2 (Panasonic's "IIU"), PEF (Pentax, Ricoh).

// A TIFF header (or a raw maker's variant of it) and a first IFD offset past the header; when
// that IFD lies in the sector, its entry count and field types must be valid too.
bool LooksLikeTiffStart(const unsigned char* sector);

// Checks the first IFD (entry count, field types, an image's width, height and data) and walks
// every IFD reachable from it (the page chain, SubIFDs, the Exif, GPS and interoperability
// IFDs), each at most once. The end is the furthest byte any IFD, out-of-line field value (maker
// notes among them), strip, tile, raw data or embedded JPEG reaches. The token names the raw
// format, from the header, IFD0's DNGVersion or its Make; TIF otherwise.
FormatWalk WalkTiff(ByteSource& file);
// The same, with the embedded JPEG previews found (strips of JPEG pages, JPEGInterchangeFormat,
// Panasonic's JpgFromRaw, Olympus' preview in its maker note).
FormatWalk WalkTiff(ByteSource& file, std::vector<FileExtent>& previews);

// TIF, NEF, DCR: every strip and tile of every page decoded with libtiff; pages whose compression
// libtiff does not know are not checked. The other raws: their largest embedded preview JPEG
// decoded (their raw data is no picture libtiff decodes).
DecodeResult DecodeTiff(std::span<const unsigned char> file);

}  // namespace quorvex
