// Tiles of photos in exact recovery: turned upright as their orientation says, camera raw files
// shown by their embedded preview, and the facts read on the way kept for the list.
#include "CameraFiles.h"
#include "DecodedImage.h"
#include "EntryTileMaker.h"
#include "ExifWriter.h"
#include "ImageFormat.h"
#include "MemoryVolumeSource.h"
#include "PictureEncoders.h"
#include "ThumbnailTile.h"

#include <QBuffer>
#include <QGuiApplication>
#include <gtest/gtest.h>

using namespace quorvex;
using namespace quorvex::preview;
using namespace quorvex::testing;
namespace fx = quorvex::fixtures;

namespace {

DecodedImage Decode(const fx::Bytes& bytes, const char* name)
{
    QByteArray data(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    return DecodedImage(&buffer, ImageFormatFromFileName(name));
}

// A card holding `files` from sector 8 on, and the catalogue of an exact scan of it.
struct Card {
    std::vector<unsigned char> bytes = MakeVolumeBytes(4096);
    FoundFileCatalogue catalogue;
    Card(const std::string& token, const std::vector<fx::Bytes>& files, RecoveryMode mode = RecoveryMode::Exact)
    {
        catalogue.Reset(SelectedTypes({{token, "F" + token, 4096}}), mode);
        std::uint64_t sector = 8;
        for (const fx::Bytes& file : files) {
            PutAtSector(bytes, sector, file);
            if (mode == RecoveryMode::Exact)
                catalogue.AppendFoundFile(0, sector, file.size(), Verdict::Complete);
            else
                catalogue.AppendFoundFile(0, sector);
            sector += file.size() / 512 + 8;
        }
    }
    std::optional<QImage> Tile(std::uint64_t index, PhotoFactsTable* facts)
    {
        VolumeReader reader;
        EXPECT_TRUE(reader.Open([this] {
            VolumeOpenResult result;
            result.source = std::make_unique<MemoryVolumeSource>(bytes);
            return result;
        }).ok());
        EntryTileMaker maker(std::string(catalogue.TokenAt(index)), QString(), facts);
        const std::atomic<int> stop{0};
        return maker.Make(catalogue, index, maker.NeedsVolume() ? &reader : nullptr, stop);
    }
};

bool IsWhite(const QImage& tile, int x, int y)
{
    return QColor(tile.pixel(x, y)) == QColor(Qt::white);
}

}  // namespace

TEST(DecodedImage, OrientTurnsThePictureUprightForEachOfTheEightOrientations)
{
    // A 3 × 2 picture of six colours; displayed pixel (x, y) must be the stored pixel the Exif
    // orientation names for it.
    QImage stored(3, 2, QImage::Format_RGB888);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            stored.setPixelColor(x, y, QColor(x * 100, y * 200, 50));
    QByteArray png;
    QBuffer out(&png);
    out.open(QIODevice::WriteOnly);
    stored.save(&out, "PNG");
    const fx::Bytes bytes(png.begin(), png.end());
    const int W = 3, H = 2;
    const std::function<QPoint(int, int)> storedOf[9] = {
        {},
        [](int x, int y) { return QPoint(x, y); },
        [&](int x, int y) { return QPoint(W - 1 - x, y); },
        [&](int x, int y) { return QPoint(W - 1 - x, H - 1 - y); },
        [&](int x, int y) { return QPoint(x, H - 1 - y); },
        [](int x, int y) { return QPoint(y, x); },
        [&](int x, int y) { return QPoint(y, H - 1 - x); },
        [&](int x, int y) { return QPoint(W - 1 - y, H - 1 - x); },
        [&](int x, int y) { return QPoint(W - 1 - y, x); },
    };
    for (int orientation = 1; orientation <= 8; ++orientation) {
        DecodedImage picture = Decode(bytes, "x.PNG");
        picture.Orient(orientation);
        const bool turned = orientation >= 5;
        ASSERT_EQ(picture.GetWidth(), turned ? 2u : 3u) << orientation;
        ASSERT_EQ(picture.Pixels().width(), turned ? 2 : 3) << orientation;
        for (int y = 0; y < picture.Pixels().height(); ++y)
            for (int x = 0; x < picture.Pixels().width(); ++x)
                EXPECT_EQ(picture.Pixels().pixelColor(x, y), stored.pixelColor(storedOf[orientation](x, y)))
                    << "orientation " << orientation << " at " << x << "," << y;
    }
    DecodedImage odd = Decode(bytes, "x.PNG");
    odd.Orient(9);
    EXPECT_EQ(odd.GetWidth(), 3u);
}

TEST(EntryTileMaker, APhotoTakenUprightIsTiledUprightAndItsFactsAreKept)
{
    // A wide scene: as stored, white bands above and below it; turned a quarter, beside it.
    const fx::RgbImage wide = fx::MakeScene(200, 60, 5);
    Card card("JPG", {fx::WithExif(fx::EncodeJpegJfif(wide, 90), {"2020:02:03 04:05:06", "Canon", "Canon EOS R", 6}),
                      fx::WithExif(fx::EncodeJpegJfif(wide, 90), {"2020:02:03 04:05:07", "Canon", "Canon EOS R", 1})});
    PhotoFactsTable facts;
    const QImage turned = *card.Tile(0, &facts);
    EXPECT_TRUE(IsWhite(turned, 10, 50));
    EXPECT_FALSE(IsWhite(turned, 50, 10));
    const QImage upright = *card.Tile(1, &facts);
    EXPECT_FALSE(IsWhite(upright, 10, 50));
    EXPECT_TRUE(IsWhite(upright, 50, 10));
    ASSERT_TRUE(facts.Get(0));
    EXPECT_EQ(facts.Get(0)->camera, "Canon EOS R");
    EXPECT_EQ(facts.CapturedAt(1)->Iso(), "2020-02-03T04:05:07");
    // Without a facts table (the described mode's way) nothing is read and nothing is turned.
    PhotoFactsTable unused;
    EXPECT_EQ(*card.Tile(0, nullptr), upright);
    EXPECT_FALSE(unused.Has(0));
}

TEST(EntryTileMaker, ARawFileShowsItsEmbeddedPreviewAndOneWithoutKeepsThePlaceholder)
{
    const fx::RgbImage scene = fx::MakeScene(320, 240, 6);
    Card card("NEF", {fx::EncodeRawLikeTiff(scene, "NIKON CORPORATION", "NIKON D750", 50000, false),
                      fx::Bytes(3000, 0x11)});
    PhotoFactsTable facts;
    const QImage placeholder = *card.Tile(1, &facts);
    const QImage preview = *card.Tile(0, &facts);
    EXPECT_NE(preview, placeholder);
    // The preview's picture fills the tile's middle (a 4:3 scene), not the placeholder's drawing.
    EXPECT_FALSE(IsWhite(preview, 50, 50));
    EXPECT_EQ(facts.Get(0)->camera, "NIKON D750");
    EXPECT_TRUE(facts.Has(1));  // read, and nothing found
    EXPECT_EQ(facts.Get(1)->camera, "");

    // The described mode keeps the placeholder for every raw file.
    Card described("NEF", {fx::EncodeRawLikeTiff(scene, "NIKON CORPORATION", "NIKON D750", 50000, false)},
                   RecoveryMode::Described);
    EXPECT_EQ(*described.Tile(0, &facts), EntryTileMaker::PlaceholderTile(TileKind::CameraPlaceholder, QString()));
}

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
