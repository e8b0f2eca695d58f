#pragma once

#include <QImage>
#include <QSize>

class QIODevice;

namespace quorvex::preview {

// The first picture of a video (MP4, MOV, 3GP, AVCHD, AVI), decoded with FFmpeg's libraries from
// a seekable byte source and scaled to fit `fit`; the null image when the container or the codec
// cannot be read. Reads only what finding and decoding that picture needs.
QImage FirstVideoFrame(QIODevice* source, QSize fit);

// Draws a film strip's sprocket holes down both sides of a tile, so that a video's tile is told
// from a photo's at a glance.
void DrawFilmMark(QImage& tile);

}  // namespace quorvex::preview
