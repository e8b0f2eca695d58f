// make-artwork: draws the program's artwork into a folder (run by the build).
//   make-artwork OUTPUT_FOLDER
#include "ArtworkPainter.h"

#include <QDir>
#include <QGuiApplication>
#include <cstdio>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-artwork OUTPUT_FOLDER\n");
        return 1;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    QDir().mkpath(out.path());
    for (const auto& piece : quorvex::artwork::AllArtwork()) {
        if (!piece.draw().save(out.filePath(piece.fileName))) {
            std::fprintf(stderr, "make-artwork: cannot write %s\n", qPrintable(out.filePath(piece.fileName)));
            return 2;
        }
    }
    return 0;
}
