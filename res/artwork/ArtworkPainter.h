#pragma once

#include <QImage>
#include <QString>
#include <functional>
#include <vector>

namespace quorvex::artwork {

// One picture of the program's artwork: its file name in the resource folder and how to draw it.
struct ArtworkPiece {
    QString fileName;
    std::function<QImage()> draw;
};

// Every piece, drawn with QPainter from shapes and text only.
std::vector<ArtworkPiece> AllArtwork();

}  // namespace quorvex::artwork
