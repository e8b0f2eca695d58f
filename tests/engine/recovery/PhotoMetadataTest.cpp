// What found photos say of themselves: capture dates, cameras, orientation and size from each
// format we read metadata of (files made by our own encoders, Exif written by Exiv2 where it
// writes that format), the previews of raw files, and files whose metadata is damaged.
#include "CameraFiles.h"
#include "ExifWriter.h"
#include "FaultyVolumeSource.h"
#include "MemoryVolumeSource.h"
#include "PhotoMetadata.h"
#include "PictureEncoders.h"

#include <gtest/gtest.h>

using namespace quorvex;
using namespace quorvex::testing;
namespace fx = quorvex::fixtures;

namespace {

const fx::ExifTags kTags{"2023:07:14 09:05:33", "Canon", "Canon EOS 5D Mark IV", 6};

std::string Captured(const PhotoFacts& facts)
{
    return facts.captured ? facts.captured->Iso() : "none";
}

}  // namespace

TEST(CaptureTime, ReadsExifDatesAndRefusesBlankOrImpossibleOnes)
{
    const auto time = CaptureTime::Parse("2024:06:01 14:32:05");
    ASSERT_TRUE(time);
    EXPECT_EQ(time->Iso(), "2024-06-01T14:32:05");
    EXPECT_EQ(time->Shown(), "2024-06-01 14:32:05");
    EXPECT_EQ(time->FileStem(), "2024-06-01_14-32-05");
    EXPECT_TRUE(CaptureTime::Parse("2024-06-01T14:32:05"));
    for (const char* bad : {"0000:00:00 00:00:00", "    :  :     :  :  ", "2024:02:30 10:00:00", "2024:13:01 10:00:00",
                            "2024:06:01 24:00:00", "2024:06:01 14:32", "2024:06-01 14:32:05", "1850:01:01 00:00:00"})
        EXPECT_FALSE(CaptureTime::Parse(bad)) << bad;
    EXPECT_LT(*CaptureTime::Parse("2023:12:31 23:59:59"), *CaptureTime::Parse("2024:01:01 00:00:00"));
}

TEST(PhotoMetadata, ReadsDateCameraOrientationAndSizeFromEveryFormatThatCarriesThem)
{
    // JPEG, PNG and TIFF with Exif written by the library.
    const fx::RgbImage scene = fx::MakeScene(160, 120, 2);
    for (const auto& [what, file] : std::vector<std::pair<std::string, fx::Bytes>>{
             {"JPEG", fx::WithExif(fx::EncodeJpegJfif(scene, 85), kTags)},
             {"PNG", fx::WithExif(fx::EncodePng(scene), kTags)},
             {"TIFF", fx::WithExif(fx::EncodeTiff(scene, false), kTags)},
             {"big-endian TIFF", fx::WithExif(fx::EncodeTiff(scene, true), kTags)}}) {
        const PhotoFacts facts = ReadPhotoMetadata(file).facts;
        EXPECT_EQ(Captured(facts), "2023-07-14T09:05:33") << what;
        EXPECT_EQ(facts.camera, "Canon EOS 5D Mark IV") << what;  // the model already names the maker
        EXPECT_EQ(facts.orientation, 6) << what;
        EXPECT_EQ(facts.width, 160u) << what;
        EXPECT_EQ(facts.height, 120u) << what;
    }
    // A make the model does not repeat is put before it.
    const PhotoFacts apart =
        ReadPhotoMetadata(fx::WithExif(fx::EncodeJpegJfif(scene, 85), {"2020:01:02 03:04:05", "FUJIFILM", "X-T2", 0})).facts;
    EXPECT_EQ(apart.camera, "FUJIFILM X-T2");
    EXPECT_EQ(apart.orientation, 1);
}

TEST(PhotoMetadata, RawFilesGiveTheirCameraDateAndEmbeddedPreview)
{
    const fx::RgbImage scene = fx::MakeScene(320, 240, 4);
    // Nikon-style TIFF raw: our own layout writes the make, model and capture time.
    const PhotoMetadata nef =
        ReadPhotoMetadata(fx::EncodeRawLikeTiff(scene, "NIKON CORPORATION", "NIKON D750", 200000, false), 100);
    EXPECT_EQ(nef.facts.camera, "NIKON D750");
    EXPECT_NE(Captured(nef.facts), "none");
    ASSERT_GT(nef.preview.size(), 4u);
    EXPECT_EQ(nef.preview[0], 0xFF);
    EXPECT_EQ(nef.preview[1], 0xD8);

    // Fujifilm RAF around a JPEG preview with Exif; Canon CRW with Exif written by the library.
    const PhotoMetadata raf = ReadPhotoMetadata(fx::EncodeRafAround(fx::WithExif(fx::EncodeJpegJfif(scene, 80), {"2019:05:06 07:08:09", "FUJIFILM", "X-T2", 0}), 50000), 100);
    EXPECT_EQ(Captured(raf.facts), "2019-05-06T07:08:09");
    EXPECT_EQ(raf.facts.camera, "FUJIFILM X-T2");
    EXPECT_FALSE(raf.preview.empty());

    // Canon CRW as our encoder lays it out: the camera and the time in their CIFF records.
    const PhotoMetadata crw = ReadPhotoMetadata(fx::EncodeCrw(scene, 40000), 100);
    EXPECT_EQ(Captured(crw.facts), "2003-05-02T10:06:40");
    EXPECT_EQ(crw.facts.camera, "Canon EOS 10D");
    EXPECT_FALSE(crw.preview.empty());

    // Minolta MRW: the make from its TIFF block, no date.
    const PhotoFacts mrw = ReadPhotoMetadata(fx::EncodeMrw(640, 480)).facts;
    EXPECT_FALSE(mrw.camera.empty());
    // With no preview as wide as asked for, the widest there is.
    EXPECT_FALSE(ReadPhotoMetadata(fx::EncodeRawLikeTiff(scene, "NIKON", "D1", 1000, false), 5000).preview.empty());
    EXPECT_TRUE(ReadPhotoMetadata(fx::EncodeRawLikeTiff(scene, "NIKON", "D1", 1000, false), 0).preview.empty());
}

TEST(PhotoMetadata, DamagedOrForeignBytesGiveWhatCanBeReadAndNeverMore)
{
    const fx::Bytes jpeg = fx::WithExif(fx::EncodeJpegJfif(fx::MakeScene(200, 100, 1), 85), kTags);
    // Cut inside the picture data: the metadata before it still reads.
    EXPECT_EQ(Captured(ReadPhotoMetadata(std::span(jpeg).first(jpeg.size() / 2)).facts), "2023-07-14T09:05:33");
    // Cut inside the Exif block, overwritten with zeros, or with noise: no crash, no false date.
    for (std::size_t cut = 4; cut < 400; cut += 13)
        ReadPhotoMetadata(std::span(jpeg).first(cut));
    fx::Bytes zeroed = jpeg;
    std::fill(zeroed.begin() + 30, zeroed.begin() + 200, 0);
    EXPECT_EQ(Captured(ReadPhotoMetadata(zeroed).facts), "none");
    fx::Bytes noisy = jpeg;
    for (std::size_t i = 24; i < 300; ++i)
        noisy[i] = static_cast<unsigned char>(i * 37 + 11);
    ReadPhotoMetadata(noisy, 100);
    fx::Bytes random(5000);
    for (std::size_t i = 0; i < random.size(); ++i)
        random[i] = static_cast<unsigned char>(i * 2654435761u >> 13);
    EXPECT_EQ(ReadPhotoMetadata(random).facts, PhotoFacts{});
    EXPECT_EQ(ReadPhotoMetadata({}).facts, PhotoFacts{});
}

TEST(PhotoMetadata, AFoundFileIsReadOnlyAsFarAsItsMetadataNeeds)
{
    // A 600 KB JPEG at sector 8: its metadata is in its first 256 KiB, and nothing else is read.
    fx::Bytes jpeg = fx::WithExif(fx::EncodeJpegJfif(fx::MakeScene(2400, 1800, 3), 100), kTags);
    ASSERT_GT(jpeg.size(), 300000u);
    auto volume = MakeVolumeBytes(8 + jpeg.size() / 512 + 64);
    PutAtSector(volume, 8, jpeg);
    FoundFileCatalogue catalogue;
    catalogue.Reset(SelectedTypes({{"JPG", "F", 64}}), RecoveryMode::Exact);
    catalogue.AppendFoundFile(0, 8, jpeg.size(), Verdict::Complete);
    std::uint64_t furthest = 0;
    auto faulty = std::make_unique<FaultyVolumeSource>(std::make_unique<MemoryVolumeSource>(volume));
    faulty->OnRead([&](std::uint64_t offset) { furthest = std::max(furthest, offset); });
    auto shared = std::make_shared<std::unique_ptr<FaultyVolumeSource>>(std::move(faulty));
    VolumeReader reader;
    ASSERT_TRUE(reader.Open([shared] {
        VolumeOpenResult result;
        result.source = std::move(*shared);
        return result;
    }).ok());
    const PhotoMetadata metadata = ReadFoundFileMetadata(reader, catalogue, 0);
    EXPECT_EQ(Captured(metadata.facts), "2023-07-14T09:05:33");
    EXPECT_LT(furthest, 8 * 512 + 64 * 1024);  // its picture data starts within the first 64 KiB

    // Segments before the picture data that reach past 64 KiB (a long comment): read on to them.
    fx::Bytes padded = fx::WithExif(fx::EncodeJpegJfif(fx::MakeScene(300, 200, 5), 90), kTags);
    for (int i = 0; i < 2; ++i) {  // before the Exif
        fx::Bytes comment = {0xFF, 0xFE, 0xFD, 0xE8};  // COM of 65000 bytes
        comment.resize(2 + 65000, 'c');
        padded.insert(padded.begin() + 2, comment.begin(), comment.end());
    }
    padded.insert(padded.begin() + 2, {0xFF, 0xFF});  // fill bytes before the first marker
    auto second = MakeVolumeBytes(8 + padded.size() / 512 + 64);
    PutAtSector(second, 8, padded);
    FoundFileCatalogue other;
    other.Reset(SelectedTypes({{"JPG", "F", 64}}), RecoveryMode::Exact);
    other.AppendFoundFile(0, 8, padded.size(), Verdict::Complete);
    VolumeReader secondReader;
    ASSERT_TRUE(secondReader.Open([second] {
        VolumeOpenResult result;
        result.source = std::make_unique<MemoryVolumeSource>(second);
        return result;
    }).ok());
    EXPECT_EQ(Captured(ReadFoundFileMetadata(secondReader, other, 0).facts), "2023-07-14T09:05:33");

    EXPECT_EQ(MetadataBytesOf("BMP", 5000), 0u);
    EXPECT_EQ(MetadataBytesOf("NEF", 5000), 5000u);
}
