// The image service: format names, decoding of the five formats with trailing data, failures that
// become the empty image, scaled JPEG decoding, reading straight from a volume, and tiles.
#include "DecodedImage.h"
#include "ExtentDevice.h"
#include "FaultyVolumeSource.h"
#include "ImageFormat.h"
#include "MemoryVolumeSource.h"
#include "PictureEncoders.h"
#include "TempFolder.h"
#include "ThumbnailTile.h"

#include <QBuffer>
#include <QGuiApplication>
#include <gtest/gtest.h>

#include <fstream>

using namespace quorvex;
using namespace quorvex::preview;
namespace fx = quorvex::fixtures;

namespace {

QString WriteFile(const quorvex::testing::TempFolder& folder, const std::string& name, const fx::Bytes& bytes)
{
    const auto path = folder / name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
    return QString::fromStdString(path.string());
}

// The picture followed by `trailing` bytes of other sector data, as a saved extent holds it.
fx::Bytes WithTrailingData(fx::Bytes picture, std::size_t trailing)
{
    for (std::size_t i = 0; i < trailing; ++i)
        picture.push_back(static_cast<unsigned char>((i * 131 + 7) & 0xFF));
    return picture;
}

DecodedImage DecodeBytes(const fx::Bytes& bytes, std::uint32_t format, QSize drawSize = QSize())
{
    QByteArray data(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    return DecodedImage(&buffer, format, drawSize);
}

}  // namespace

TEST(ImageFormatFromFileName, ReadsTheTrailingLettersWithoutRegardToCase)
{
    EXPECT_EQ(ImageFormatFromFileName("temp.JPG"), 3u);
    EXPECT_EQ(ImageFormatFromFileName("x.jpeg"), 3u);
    EXPECT_EQ(ImageFormatFromFileName("X.JPEG"), 3u);
    EXPECT_EQ(ImageFormatFromFileName("temp.TIF"), 6u);
    EXPECT_EQ(ImageFormatFromFileName("a.tiff"), 6u);
    EXPECT_EQ(ImageFormatFromFileName("temp.CRW"), 0u);
    EXPECT_EQ(ImageFormatFromFileName("temp.RIFF"), 0u);
    EXPECT_EQ(ImageFormatFromFileName("camera.bmp"), 1u);
    EXPECT_EQ(ImageFormatFromFileName("nodotpng"), 4u);  // no dot is needed
    EXPECT_EQ(ImageFormatFromFileName("temp.GIF"), 2u);
    EXPECT_EQ(ImageFormatFromFileName("pic.ppm"), 14u);
    EXPECT_EQ(ImageFormatFromFileName("pg"), 0u);
}

TEST(DecodedImage, EveryFormatDecodesToItsOwnSizeDespiteMegabytesAfterIt)
{
    quorvex::testing::TempFolder folder;
    const fx::RgbImage scene = fx::MakeScene(160, 120, 3);
    const struct {
        std::string name;
        fx::Bytes bytes;
    } files[] = {
        {"temp.JPG", fx::EncodeJpegJfif(scene, 90)}, {"temp.PNG", fx::EncodePng(scene)},
        {"temp.TIF", fx::EncodeTiff(scene, false)},  {"big.TIF", fx::EncodeTiff(scene, true)},
        {"temp.BMP", fx::EncodeBmp(scene)},          {"temp.GIF", fx::EncodeGif(scene)},
    };
    for (const auto& file : files) {
        const QString path = WriteFile(folder, file.name, WithTrailingData(file.bytes, 3 << 20));
        const DecodedImage image(path, ImageFormatFromFileName(file.name.c_str()));
        EXPECT_EQ(image.GetWidth(), 160u) << file.name;
        EXPECT_EQ(image.GetHeight(), 120u) << file.name;
        // The sun is drawn near the top; the centre of the sky is blue-ish, the hills green.
        const QColor hill = image.Pixels().pixelColor(80, 110);
        EXPECT_GT(hill.green(), hill.blue()) << file.name;
    }
}

TEST(DecodedImage, ZerosGarbageAndTheWrongFormatGiveTheEmptyImageWhichDrawsNothing)
{
    QImage target(100, 100, QImage::Format_RGB888);
    target.fill(Qt::white);
    const QImage before = target;
    for (std::uint32_t format : {1u, 2u, 3u, 4u, 6u}) {
        const DecodedImage zeros = DecodeBytes(fx::Bytes(1 << 20, 0), format);
        EXPECT_TRUE(zeros.IsEmpty()) << format;
        zeros.Stretch(target, 0, 0, 100, 100);
        EXPECT_EQ(target, before);
    }
    const DecodedImage png = DecodeBytes(fx::EncodePng(fx::MakeScene(20, 20, 1)), format::kJpeg);
    EXPECT_TRUE(png.IsEmpty());
    EXPECT_TRUE(DecodedImage(QString("/nonexistent/temp.JPG"), format::kJpeg).IsEmpty());
    EXPECT_TRUE(DecodeBytes(fx::EncodePng(fx::MakeScene(20, 20, 1)), format::kUnknown).IsEmpty());
    EXPECT_TRUE(DecodeBytes(fx::EncodePng(fx::MakeScene(20, 20, 1)), format::kPcx).IsEmpty());
}

TEST(DecodedImage, TruncatedFilesNeverCrashAndNeverLieAboutTheirSize)
{
    const fx::RgbImage scene = fx::MakeScene(120, 90, 2);
    const std::pair<fx::Bytes, std::uint32_t> files[] = {
        {fx::EncodeJpegJfif(scene, 85), format::kJpeg}, {fx::EncodePng(scene), format::kPng},
        {fx::EncodeTiff(scene, false), format::kTiff},  {fx::EncodeBmp(scene), format::kBmp},
        {fx::EncodeGif(scene), format::kGif},
    };
    for (const auto& [bytes, format] : files)
        for (std::size_t keep : {std::size_t{0}, std::size_t{10}, bytes.size() / 3, bytes.size() - 1}) {
            const DecodedImage image = DecodeBytes(fx::Bytes(bytes.begin(), bytes.begin() + static_cast<long>(keep)), format);
            if (!image.IsEmpty()) {
                EXPECT_EQ(image.GetWidth(), 120u) << format << " " << keep;
                EXPECT_EQ(image.GetHeight(), 90u);
            }
        }
}

TEST(DecodedImage, AForgedSizeIsRefusedNotAllocated)
{
    fx::Bytes bmp = fx::EncodeBmp(fx::MakeScene(4, 4, 1));
    // Claim 60000 × 60000 pixels (10 GB) in the header.
    for (int offset : {18, 22}) {
        bmp[static_cast<std::size_t>(offset)] = 0x60;
        bmp[static_cast<std::size_t>(offset) + 1] = 0xEA;
        bmp[static_cast<std::size_t>(offset) + 2] = 0;
        bmp[static_cast<std::size_t>(offset) + 3] = 0;
    }
    EXPECT_TRUE(DecodeBytes(bmp, format::kBmp).IsEmpty());
    fx::Bytes png = fx::EncodePng(fx::MakeScene(4, 4, 1));
    png[16] = 0x00, png[17] = 0x01, png[18] = 0x00, png[19] = 0x00;  // width 65536
    png[20] = 0x00, png[21] = 0x01, png[22] = 0x00, png[23] = 0x00;  // height 65536
    EXPECT_TRUE(DecodeBytes(png, format::kPng).IsEmpty());
}

TEST(DecodedImage, AValidPictureLargerThanTheAllocationLimitComesBackEmpty)
{
    // A real, complete PNG of 9000 × 8000 pixels: 288 MB as 32-bit pixels, above the limit,
    // though the file is small. The same picture at 90 × 80 decodes.
    static_assert(9000ll * 8000 * 4 > DecodedImage::kAllocationLimitMib * 1024ll * 1024);
    const DecodedImage small = DecodeBytes(fx::EncodeFlatPng(90, 80), format::kPng);
    EXPECT_EQ(small.GetWidth(), 90u);
    EXPECT_EQ(small.GetHeight(), 80u);
    const DecodedImage large = DecodeBytes(fx::EncodeFlatPng(9000, 8000), format::kPng);
    EXPECT_TRUE(large.IsEmpty());
    EXPECT_TRUE(large.Pixels().isNull());
}

TEST(DecodedImage, ALargeJpegIsDecodedScaledForATile)
{
    const fx::Bytes jpeg = fx::EncodeJpegJfif(fx::MakeScene(1600, 1200, 5), 80);
    const DecodedImage full = DecodeBytes(jpeg, format::kJpeg);
    EXPECT_EQ(full.Pixels().width(), 1600);
    const DecodedImage scaled = DecodeBytes(jpeg, format::kJpeg, QSize(kTileSize, kTileSize));
    EXPECT_EQ(scaled.GetWidth(), 1600u);  // the picture's own size
    EXPECT_EQ(scaled.GetHeight(), 1200u);
    EXPECT_EQ(scaled.Pixels().width(), 200);  // decoded at 1/8
    EXPECT_EQ(scaled.Pixels().height(), 150);
    // 1/8 is the codec's smallest scale, even where 1/16 would still cover the tile.
    const fx::Bytes square = fx::EncodeJpegJfif(fx::MakeScene(1700, 1700, 2), 60);
    const DecodedImage eighth = DecodeBytes(square, format::kJpeg, QSize(kTileSize, kTileSize));
    EXPECT_EQ(eighth.Pixels().width(), 213);
    EXPECT_EQ(eighth.Pixels().height(), 213);
}

TEST(DecodedImage, PixelLayoutVariantsDecodeToTheirSize)
{
    // Palettised, grey, 16-bit and alpha PNGs; 8-bit and 32-bit BMPs; a GIF87a header.
    QImage colour(33, 21, QImage::Format_RGB32);
    colour.fill(QColor(200, 40, 90));
    const std::pair<QImage, const char*> variants[] = {
        {colour.convertToFormat(QImage::Format_Indexed8), "png"}, {colour.convertToFormat(QImage::Format_Grayscale8), "png"},
        {colour.convertToFormat(QImage::Format_RGBA64), "png"},    {colour.convertToFormat(QImage::Format_ARGB32), "png"},
        {colour.convertToFormat(QImage::Format_Indexed8), "bmp"}, {colour.convertToFormat(QImage::Format_ARGB32), "bmp"},
        {colour.convertToFormat(QImage::Format_Grayscale8), "tiff"},
    };
    for (const auto& [image, writer] : variants) {
        QByteArray data;
        QBuffer buffer(&data);
        buffer.open(QIODevice::WriteOnly);
        ASSERT_TRUE(image.save(&buffer, writer)) << writer << " " << image.format();
        fx::Bytes bytes(data.begin(), data.end());
        const DecodedImage decoded = DecodeBytes(WithTrailingData(bytes, 4096), ImageFormatFromFileName(writer));
        EXPECT_EQ(decoded.GetWidth(), 33u) << writer << " " << image.format();
        EXPECT_EQ(decoded.GetHeight(), 21u) << writer << " " << image.format();
    }
    fx::Bytes gif87 = fx::EncodeGif(fx::MakeScene(12, 9, 2));
    gif87[4] = '7';
    EXPECT_EQ(DecodeBytes(gif87, format::kGif).GetWidth(), 12u);
}

TEST(DecodedImage, StretchPicksWholePixels)
{
    QImage two(2, 1, QImage::Format_RGB888);
    two.setPixel(0, 0, qRgb(255, 0, 0));
    two.setPixel(1, 0, qRgb(0, 0, 255));
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    two.save(&buffer, "png");
    buffer.close();
    buffer.open(QIODevice::ReadOnly);
    const DecodedImage image(&buffer, format::kPng);
    QImage target(10, 4, QImage::Format_RGB888);
    target.fill(Qt::white);
    image.Stretch(target, 1, 1, 8, 2);
    EXPECT_EQ(target.pixel(0, 0), qRgb(255, 255, 255));
    EXPECT_EQ(target.pixel(1, 1), qRgb(255, 0, 0));
    EXPECT_EQ(target.pixel(4, 2), qRgb(255, 0, 0));
    EXPECT_EQ(target.pixel(5, 2), qRgb(0, 0, 255));  // no blend at the seam
    EXPECT_EQ(target.pixel(9, 1), qRgb(255, 255, 255));
}

TEST(ExtentDevice, DecodesStraightFromTheVolumeWithinTheExtentOnly)
{
    const fx::Bytes jpeg = fx::EncodeJpegJfif(fx::MakeScene(64, 48, 4), 90);
    auto volume = quorvex::testing::MakeVolumeBytes(400, 0x5A);
    quorvex::testing::PutAtSector(volume, 40, jpeg);
    auto faulty = std::make_unique<quorvex::testing::FaultyVolumeSource>(std::make_unique<quorvex::testing::MemoryVolumeSource>(volume));
    faulty->FailSector(300);
    VolumeReader reader(std::move(faulty));
    ExtentDevice device(reader, 40, 100);
    ASSERT_TRUE(device.open(QIODevice::ReadOnly));
    EXPECT_EQ(device.size(), 100 * 512);
    const DecodedImage image(&device, format::kJpeg);
    EXPECT_EQ(image.GetWidth(), 64u);

    // Past the extent there is nothing; an unreadable sector reads as zeros.
    ASSERT_TRUE(device.seek(100 * 512 - 4));
    EXPECT_EQ(device.read(100).size(), 4);
    ExtentDevice bad(reader, 296, 8);
    bad.open(QIODevice::ReadOnly);
    const QByteArray bytes = bad.readAll();
    ASSERT_EQ(bytes.size(), 8 * 512);
    EXPECT_EQ(bytes[0], 0x5A);
    EXPECT_EQ(bytes[4 * 512], 0);
}

TEST(ThumbnailTile, FittedRectanglesKeepTheProportions)
{
    EXPECT_EQ(FittedTileRect(500, 1000), QRect(25, 0, 50, 100));
    EXPECT_EQ(FittedTileRect(1000, 500), QRect(0, 25, 100, 50));
    EXPECT_EQ(FittedTileRect(640, 480), QRect(0, 12, 100, 75));
    EXPECT_EQ(FittedTileRect(300, 300), QRect(0, 0, 100, 100));
    EXPECT_TRUE(FittedTileRect(0, 0).isEmpty());
}

TEST(ThumbnailTile, TilesAreWhiteWithTheFittedPictureAndAGreyFrame)
{
    const DecodedImage picture = DecodeBytes(fx::EncodePng(fx::MakeScene(200, 100, 1)), format::kPng);
    const QImage tile = MakeTile(picture);
    EXPECT_EQ(tile.size(), QSize(100, 100));
    EXPECT_EQ(tile.pixel(0, 0), qRgb(0xC0, 0xC0, 0xC0));
    EXPECT_EQ(tile.pixel(99, 50), qRgb(0xC0, 0xC0, 0xC0));
    EXPECT_EQ(tile.pixel(50, 10), qRgb(255, 255, 255));  // above the 100 × 50 picture
    EXPECT_NE(tile.pixel(50, 50), qRgb(255, 255, 255));
    const QImage blank = MakeTile(DecodedImage());
    EXPECT_EQ(blank.pixel(50, 50), qRgb(255, 255, 255));
    EXPECT_EQ(blank.pixel(0, 50), qRgb(0xC0, 0xC0, 0xC0));
}

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
