// The results list's model and view: a bounded tile cache, rows built one by one, and a type of a
// million found files on a virtual card shown at once, its tiles made for the rows in view.
#include "FoundFileListModel.h"
#include "FoundFileListView.h"
#include "PictureEncoders.h"
#include "RepeatingVolumeSource.h"
#include "ThumbnailTile.h"
#include "TileCache.h"
#include "TileFetcher.h"

#include <QScrollBar>
#include <QtTest>

using namespace quorvex;
using namespace quorvex::preview;
namespace fx = quorvex::fixtures;

namespace {

FoundFileGroup OfType(const char* token) { return FoundFileGroup::OfType(token); }

QImage Tile(QRgb colour)
{
    QImage tile(kTileSize, kTileSize, QImage::Format_RGB888);
    tile.fill(colour);
    return tile;
}

// A card of `count` BMPs, one every two sectors, far bigger than memory: each entry's bytes are a
// real small picture.
struct MillionCard {
    static constexpr std::uint64_t kSectorsPerPicture = 2;
    FoundFileCatalogue catalogue;
    VolumeOpener opener;

    explicit MillionCard(std::uint64_t count)
    {
        fx::Bytes picture = fx::EncodeBmp(fx::MakeScene(24, 16, 3));
        picture.resize(kSectorsPerPicture * kSectorSize, 0);
        const std::uint64_t size = count * kSectorsPerPicture * kSectorSize;
        opener = [picture, size] {
            VolumeOpenResult result;
            result.source = std::make_unique<quorvex::testing::RepeatingVolumeSource>(size, picture);
            return result;
        };
        catalogue.Reset(SelectedTypes({{"BMP", "FoundFileBMP", 1}, {"JPG", "FoundFileJPG", 1}}));
        for (std::uint64_t i = 0; i < count; ++i)
            catalogue.AppendFoundFile(0, i * kSectorsPerPicture);
    }
};

// A tile made from the picture, not the blank one shown while it is made.
bool IsPicture(const QImage& tile)
{
    return !tile.isNull() && tile.pixel(kTileSize / 2, kTileSize / 2) != qRgb(255, 255, 255);
}

// A 600 × 300 list showing every row of the card's BMP entries, tiles made on demand.
struct AllRowsShown {
    explicit AllRowsShown(const MillionCard& card, std::size_t budget = FoundFileListModel::kTileBudgetBytes)
        : model(card.catalogue, budget)
    {
        view.resize(600, 300);
        view.setModel(&model);
        view.show();
        model.ShowAllRows(OfType("BMP"), &fetcher, fetcher.Begin(card.catalogue, OfType("BMP"), card.opener, QString()));
    }
    FoundFileListModel model;
    FoundFileListView view;
    TileFetcher fetcher;
};

bool RowsInViewHavePictures(const FoundFileListView& view)
{
    const auto [first, last] = view.RowsInView();
    if (first < 0 || last < first)
        return false;  // not laid out yet
    for (int row = first; row <= last; ++row)
        if (!IsPicture(view.TileAt(row)))
            return false;
    return true;
}

}  // namespace

class FoundFileListTest : public QObject {
    Q_OBJECT

private slots:
    void theTileCacheKeepsItsBudgetDroppingTheLeastRecentlyUsed()
    {
        const std::size_t oneTile = static_cast<std::size_t>(Tile(0).sizeInBytes());
        TileCache cache(3 * oneTile);
        for (std::uint64_t row = 0; row < 3; ++row)
            cache.Insert(row, Tile(qRgb(static_cast<int>(row), 0, 0)));
        QCOMPARE(cache.Bytes(), 3 * oneTile);
        QVERIFY(cache.Find(0) != nullptr);  // row 0 is now the most recently used
        cache.Insert(3, Tile(qRgb(3, 0, 0)));
        QCOMPARE(cache.Count(), std::size_t{3});
        QVERIFY(cache.Contains(0));
        QVERIFY(!cache.Contains(1));
        QVERIFY(cache.Contains(2) && cache.Contains(3));
        // Replacing a row's tile does not count it twice.
        cache.Insert(3, Tile(qRgb(9, 0, 0)));
        QCOMPARE(cache.Bytes(), 3 * oneTile);
        QCOMPARE(qRed(cache.Find(3)->pixel(0, 0)), 9);
        // A tile bigger than the whole budget is still kept, alone: the row in view needs it.
        TileCache small(oneTile / 2);
        small.Insert(7, Tile(0));
        small.Insert(8, Tile(1));
        QCOMPARE(small.Count(), std::size_t{1});
        QVERIFY(small.Contains(8));
    }

    void aPictureSharedByManyRowsCountsOnce()
    {
        const QImage placeholder = Tile(qRgb(0, 0, 200));
        TileCache cache(2 * static_cast<std::size_t>(placeholder.sizeInBytes()));
        for (std::uint64_t row = 0; row < 500; ++row)
            cache.Insert(row, placeholder);
        QCOMPARE(cache.Count(), std::size_t{500});
        QCOMPARE(cache.Bytes(), static_cast<std::size_t>(placeholder.sizeInBytes()));
        cache.Clear();
        QCOMPARE(cache.Bytes(), std::size_t{0});
    }

    void rowsBuiltOneByOneGetBackATileTheCacheDropped()
    {
        MillionCard card(40);
        const std::size_t oneTile = static_cast<std::size_t>(Tile(0).sizeInBytes());
        FoundFileListModel model(card.catalogue, 4 * oneTile);
        FoundFileListView view;
        view.resize(300, 150);
        view.setModel(&model);
        view.show();
        model.BeginBuiltRows(OfType("BMP"));
        for (std::uint64_t position = 0; position < 10; ++position)
            model.AddBuiltTile(position, Tile(qRgb(10, 20, static_cast<int>(position))));
        QCOMPARE(view.Count(), 10);
        QCOMPARE(view.NameAt(9), QString("FoundFileBMP10.BMP"));
        QVERIFY(model.Tiles().Bytes() <= 4 * oneTile);
        QVERIFY(!model.TileAt(0));  // dropped: the first rows were the least recently used

        TileFetcher fetcher;
        model.FetchMissingTiles(&fetcher, fetcher.Begin(card.catalogue, OfType("BMP"), card.opener, QString()));
        view.scrollToTop();
        QTRY_VERIFY_WITH_TIMEOUT(model.TileAt(0) && IsPicture(*model.TileAt(0)), 10000);
    }

    void aMillionFilesOfOneTypeShowTheirFirstTilesWithinTheTileBudget()
    {
        MillionCard card(1'000'000);
        const std::size_t budget = 2u << 20;  // 2 MiB: about fifty tiles
        AllRowsShown shown(card, budget);
        QVERIFY(QTest::qWaitForWindowExposed(&shown.view));
        FoundFileListModel& model = shown.model;
        FoundFileListView& view = shown.view;
        QCOMPARE(model.EntryCount(), std::uint64_t{1'000'000});
        QCOMPARE(view.Count(), FoundFileListModel::kBatchRows);  // revealed in batches, not all at once
        QCOMPARE(view.NameAt(0), QString("FoundFileBMP1.BMP"));
        QTRY_VERIFY_WITH_TIMEOUT(RowsInViewHavePictures(view), 10000);
        QCOMPARE(view.RowsInView().first, 0);

        // Scrolling far: the rows that come into view get their tiles; memory stays bounded.
        for (int step = 1; step <= 12; ++step) {
            QScrollBar* bar = view.verticalScrollBar();
            bar->setValue(bar->maximum() * step / 12);
            QTRY_VERIFY_WITH_TIMEOUT(RowsInViewHavePictures(view), 10000);
            QVERIFY2(model.Tiles().Bytes() <= budget, qPrintable(QString::number(model.Tiles().Bytes())));
        }
        QVERIFY(view.Count() > FoundFileListModel::kBatchRows);  // the end of the list fetched more rows
        // ... and the view knows of them: its end now lies beyond the first batch.
        // (The rows are laid out in batches: the scroll range grows as they are.)
        auto atNewEnd = [&] {
            view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum());
            return view.RowsInView().second >= FoundFileListModel::kBatchRows;
        };
        QTRY_VERIFY_WITH_TIMEOUT(atNewEnd(), 10000);
        QTRY_VERIFY_WITH_TIMEOUT(RowsInViewHavePictures(view), 10000);
        const int last = view.RowsInView().second;
        QCOMPARE(view.NameAt(last), QString("FoundFileBMP%1.BMP").arg(last + 1));
    }

    void anOrderedListShowsItsRowsAndTheirTilesInThatOrder()
    {
        MillionCard card(3000);
        AllRowsShown shown(card);
        QVERIFY(QTest::qWaitForWindowExposed(&shown.view));
        FoundFileListModel& model = shown.model;
        FoundFileListView& view = shown.view;
        std::vector<std::uint64_t> backwards(3000);
        for (std::size_t i = 0; i < backwards.size(); ++i)
            backwards[i] = backwards.size() - 1 - i;
        model.SetOrder(backwards);
        QVERIFY(model.Ordered());
        QCOMPARE(view.NameAt(0), QString("FoundFileBMP3000.BMP"));
        QCOMPARE(model.PositionAt(2999), std::uint64_t{0});
        QTRY_VERIFY_WITH_TIMEOUT(RowsInViewHavePictures(view), 10000);  // tiles find their rows
        model.SetOrder({});
        QVERIFY(!model.Ordered());
        QCOMPARE(view.NameAt(0), QString("FoundFileBMP1.BMP"));
        QTRY_VERIFY_WITH_TIMEOUT(RowsInViewHavePictures(view), 10000);
    }
};

QTEST_MAIN(FoundFileListTest)
#include "FoundFileListTest.moc"
