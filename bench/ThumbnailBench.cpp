// thumbnail-bench IMAGE: scans a card image for JPEGs and builds every thumbnail tile through the
// thumbnail pass, printing "<tiles> <seconds>" for the pass alone.
#include "FileVolumeSource.h"
#include "FoundFileCatalogue.h"
#include "ScanEngine.h"
#include "ThumbnailBuilder.h"

#include <QGuiApplication>
#include <chrono>
#include <cstdio>

using namespace quorvex;

namespace {
struct Quiet : ScanObserver {
    void OnScanProgress(int) override {}
    void OnTypeFound(const std::string&) override {}
    void OnScanFinished(const ScanSummary&) override {}
};
}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: thumbnail-bench IMAGE\n");
        return 1;
    }
    FoundFileCatalogue catalogue;
    Quiet quiet;
    ScanEngine engine(catalogue, quiet);
    const VolumeOpener opener = OpenerForPath(argv[1]);
    engine.Run(opener, SelectedTypes({{"JPG", "FoundFileJPG", 20480}}));

    preview::ThumbnailBuilder builder;
    int tiles = 0;
    QObject::connect(&builder, &preview::ThumbnailBuilder::TileReady, [&](qulonglong, const QImage& tile) {
        tiles += tile.isNull() ? 0 : 1;
    });
    const auto start = std::chrono::steady_clock::now();
    builder.Start(catalogue, quorvex::preview::FoundFileGroup::OfType("JPG"), opener, QString());
    builder.Wait();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    QCoreApplication::processEvents();  // deliver the queued tiles
    std::printf("%d %.3f\n", tiles, seconds);
    return tiles == static_cast<int>(catalogue.FoundCount()) ? 0 : 2;
}
