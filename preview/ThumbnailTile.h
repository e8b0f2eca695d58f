#pragma once

#include "DecodedImage.h"
#include "FoundFileVerdict.h"

#include <QImage>
#include <QRect>

namespace quorvex::preview {

inline constexpr int kTileSize = 100;

// Where a picture of width × height goes in a 100 × 100 tile, keeping its proportions: a taller
// than wide picture gets the full height and a centred width, any other the full width and a
// centred height. An empty picture gets an empty rectangle.
QRect FittedTileRect(std::uint32_t width, std::uint32_t height);

// A white 100 × 100 tile with the picture in its fitted rectangle and a grey (0xC0C0C0) frame on
// the tile's edge over it. An empty picture leaves a blank framed tile.
QImage MakeTile(const DecodedImage& picture);

// Exact recovery marks each tile with its file's verdict in the bottom-right corner: a green
// tick for complete, an amber "!" for damaged, a red cut (three dots) for truncated. None draws
// nothing.
void DrawVerdictMark(QImage& tile, Verdict verdict);

}  // namespace quorvex::preview
