// The results page with a million found files of one type, offscreen: how long a click on the
// type takes until the tiles in view are drawn, the longest the window's event loop is blocked
// while the list is shown and scrolled, and the process's memory after scrolling through it.
//   list-bench   (prints name=value lines)
#include "FoundFileListModel.h"
#include "FoundFileListView.h"
#include "MainDialog.h"
#include "PictureEncoders.h"
#include "RepeatingVolumeSource.h"
#include "ResultsPage.h"
#include "ScanSession.h"
#include "ThumbnailTile.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTemporaryDir>
#include <cstdio>
#include <fstream>
#include <string>

using namespace quorvex;

namespace {

constexpr std::uint64_t kEntries = 1'000'000;
constexpr std::uint64_t kSectorsPerPicture = 2;

double RssMib()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stod(line.substr(6)) / 1024.0;
    return 0;
}

bool RowsInViewDrawn(const preview::FoundFileListView& view)
{
    const auto [first, last] = view.RowsInView();
    if (first < 0 || last < first)
        return false;
    for (int row = first; row <= last; ++row) {
        const QImage tile = view.TileAt(row);
        if (tile.isNull() || tile.pixel(preview::kTileSize / 2, preview::kTileSize / 2) == qRgb(255, 255, 255))
            return false;
    }
    return true;
}

// Runs the event loop until `done` or `limitMs`; keeps the longest single pass of the loop.
template <typename Done>
bool Pump(Done done, qint64& longestMs, qint64 limitMs = 20000)
{
    QElapsedTimer total;
    total.start();
    while (!done()) {
        if (total.elapsed() > limitMs)
            return false;
        QElapsedTimer pass;
        pass.start();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        longestMs = std::max(longestMs, pass.elapsed());
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir folder;

    // A card far bigger than memory with a small BMP every two sectors, and the results of a scan
    // that found each one (written as a session file, as File > Save Scan Results... would).
    fixtures::Bytes picture = fixtures::EncodeBmp(fixtures::MakeScene(24, 16, 3));
    picture.resize(kSectorsPerPicture * kSectorSize, 0);
    const std::uint64_t size = kEntries * kSectorsPerPicture * kSectorSize;
    const VolumeOpener opener = [picture, size] {
        VolumeOpenResult result;
        result.source = std::make_unique<testing::RepeatingVolumeSource>(size, picture);
        return result;
    };
    VolumeDescription card;
    card.kind = VolumeKind::Removable;
    card.name = "sdz1";
    card.path = "/dev/sdz1";
    card.sizeBytes = size;
    {
        FoundFileCatalogue catalogue;
        catalogue.Reset(SelectedTypes({{"BMP", "FoundFileBMP", 1}}));
        for (std::uint64_t i = 0; i < kEntries; ++i)
            catalogue.AppendFoundFile(0, i * kSectorsPerPicture);
        VolumeReader reader;
        reader.Open(opener);
        ScanCheckpoint end;
        end.finished = true;
        end.nextSector = size / kSectorSize;
        WriteSessionFile(folder.filePath("card.qvxscan").toStdString(), IdentifySource(reader, card.path), catalogue, end);
    }

    app::MainDialogEnvironment env;
    env.listVolumes = [card] { return std::vector<VolumeDescription>{card}; };
    env.volumeSize = [](const VolumeDescription& v) { return v.sizeBytes; };
    env.openerFor = [opener](const VolumeDescription&) { return opener; };
    env.ask = [](const QString&) { return false; };
    env.notice = [](const QString& text) { std::fprintf(stderr, "notice: %s\n", qPrintable(text)); };
    env.chooseResultsFileToOpen = [&folder] { return folder.filePath("card.qvxscan"); };
    app::MainDialog dialog(std::move(env));
    dialog.show();
    QCoreApplication::processEvents();
    const double rssBefore = RssMib();

    qint64 longest = 0;
    QElapsedTimer opening;
    opening.start();
    dialog.OnOpenScanResults();
    const qint64 openMs = opening.elapsed();
    if (dialog.Catalogue().CountOfType("BMP") != kEntries) {
        std::fprintf(stderr, "list-bench: the results did not open\n");
        return 2;
    }
    const double rssOpened = RssMib();

    // The click, until every tile in view is drawn.
    preview::FoundFileListView& view = *dialog.ResultsList();
    QElapsedTimer click;
    click.start();
    dialog.BuildThumbnails("BMP");
    longest = std::max(longest, click.elapsed());
    if (!Pump([&] { return RowsInViewDrawn(view); }, longest))
        return 3;
    const qint64 firstTilesMs = click.elapsed();

    // Scrolling through: 400 jumps over the list (reaching its end fetches more rows), each
    // waiting for its tiles; then a steady scroll, a screen at a time.
    for (int jump = 1; jump <= 400; ++jump) {
        QScrollBar* bar = view.verticalScrollBar();
        QElapsedTimer step;
        step.start();
        bar->setValue(static_cast<int>(static_cast<qint64>(bar->maximum()) * ((jump * 7919) % 400) / 400));
        longest = std::max(longest, step.elapsed());
        if (!Pump([&] { return RowsInViewDrawn(view); }, longest))
            return 4;
    }
    for (int screen = 0; screen < 200; ++screen) {
        QScrollBar* bar = view.verticalScrollBar();
        bar->setValue(bar->value() + bar->pageStep());
        if (!Pump([&] { return RowsInViewDrawn(view); }, longest))
            return 5;
    }
    const preview::FoundFileListModel& model = *dialog.Results()->ListModel();

    std::printf("open_results_ms=%lld\n", static_cast<long long>(openMs));
    std::printf("type_click_first_tiles_ms=%lld\n", static_cast<long long>(firstTilesMs));
    std::printf("gui_longest_block_ms=%lld\n", static_cast<long long>(longest));
    std::printf("gui_rss_mib_million_entries=%.1f\n", RssMib());
    std::printf("gui_rss_mib_before_results=%.1f\n", rssBefore);
    std::printf("gui_rss_mib_results_opened=%.1f\n", rssOpened);
    std::printf("tile_cache_mib=%.1f (bound %.0f, %zu tiles)\n", static_cast<double>(model.Tiles().Bytes()) / 1048576.0,
                static_cast<double>(model.Tiles().Budget()) / 1048576.0, model.Tiles().Count());
    std::printf("rows_revealed=%d of %llu\n", view.Count(), static_cast<unsigned long long>(kEntries));
    return 0;
}
