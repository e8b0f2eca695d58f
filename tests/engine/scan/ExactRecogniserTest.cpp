// Scans in exact recovery: what is found, each file's length and verdict, the Maximum Size as the
// bound, which types a TIFF is reported as, and which sectors are read and tested.
#include "CameraFiles.h"
#include "FaultyVolumeSource.h"
#include "MemoryVolumeSource.h"
#include "ModernFiles.h"
#include "PictureEncoders.h"
#include "RecordingObservers.h"
#include "ScanEngine.h"

#include <gtest/gtest.h>

#include <random>

using namespace quorvex;
using namespace quorvex::testing;
namespace fx = quorvex::fixtures;

namespace {

SelectedTypes Types(std::initializer_list<std::string_view> tokens, std::int64_t maxKb = 20480)
{
    std::vector<TypeSelection> entries;
    for (auto token : tokens)
        entries.push_back({std::string(token), "Found" + std::string(token), maxKb});
    return SelectedTypes(std::move(entries));
}

std::vector<unsigned char> NoiseVolume(std::size_t sectors, unsigned seed = 3)
{
    std::mt19937 random(seed);
    std::vector<unsigned char> volume(sectors * kSectorSize);
    for (auto& b : volume)
        b = static_cast<unsigned char>(random());
    // Random data never begins a file by chance here; keep it so in every sector.
    for (std::size_t s = 0; s < sectors; ++s)
        volume[s * kSectorSize] = 0x55;
    return volume;
}

struct ExactScan {
    FoundFileCatalogue catalogue;
    RecordingScanObserver observer;
    ScanSummary summary;

    struct Found {
        std::string token;
        std::uint64_t sector;
        std::uint64_t length;
        Verdict verdict;
        friend bool operator==(const Found&, const Found&) = default;
    };
    std::vector<Found> Files() const
    {
        std::vector<Found> files;
        catalogue.ForEachEntry(
            [&](const FoundFileEntry& e) { files.push_back({e.token, e.startSector, e.lengthBytes, e.verdict}); });
        return files;
    }
};

// Hands the scan a source that outlives it, so its reads can be looked at afterwards.
class SharedSource : public VolumeSource {
public:
    explicit SharedSource(std::shared_ptr<MemoryVolumeSource> inner) : inner_(std::move(inner)) {}
    std::uint64_t SizeBytes() const override { return inner_->SizeBytes(); }
    ReadOutcome ReadAt(std::uint64_t offset, std::span<unsigned char> destination) override
    {
        return inner_->ReadAt(offset, destination);
    }

private:
    std::shared_ptr<MemoryVolumeSource> inner_;
};

void Scan(ExactScan& run, std::vector<unsigned char> volume, SelectedTypes selection,
          std::size_t blockSectors = SectorBuffer::kDefaultSectorCount, std::vector<MemoryVolumeSource::Read>* reads = nullptr)
{
    auto source = std::make_shared<MemoryVolumeSource>(std::move(volume));
    VolumeOpener opener = [source] {
        VolumeOpenResult result;
        result.source = std::make_unique<SharedSource>(source);
        return result;
    };
    ScanEngine engine(run.catalogue, run.observer, ScanEngine::Options{blockSectors});
    run.summary = engine.Run(opener, std::move(selection), RecoveryMode::Exact);
    if (reads)
        *reads = source->Reads();
}

const fx::RgbImage& Scene()
{
    static const fx::RgbImage scene = fx::MakeScene(320, 240, 3);
    return scene;
}

}  // namespace

TEST(ExactRecogniser, FindsEachFileWithItsLengthAndVerdictAndNoFalseStarts)
{
    fx::JpegOptions camera;
    camera.exif = fx::ExifFields{};
    const fx::Bytes jpeg = fx::EncodeJpeg(Scene(), camera);
    const fx::Bytes png = fx::EncodePng(Scene());
    fx::Bytes damaged = fx::EncodeJpegJfif(fx::MakeScene(400, 300, 6), 85);
    std::fill(damaged.begin() + static_cast<std::ptrdiff_t>(damaged.size() / 3),
              damaged.begin() + static_cast<std::ptrdiff_t>(damaged.size() * 2 / 3), 0);
    auto volume = NoiseVolume(600);
    PutAtSector(volume, 16, jpeg);
    PutAtSector(volume, 200, std::vector<unsigned char>{'B', 'M', 0x36, 0x10, 0, 0, 9, 9});  // no bitmap
    PutAtSector(volume, 240, png);
    PutAtSector(volume, 400, damaged);
    const fx::Bytes cut = fx::EncodeGif(fx::MakeScene(100, 80, 2));  // runs past the volume's end
    PutAtSector(volume, 590, {cut.data(), 10 * kSectorSize});
    ExactScan run;
    Scan(run, volume, SelectedTypes::AllTypes("Found", 20480));
    EXPECT_EQ(run.summary.outcome, ScanOutcome::Completed);
    EXPECT_EQ(run.Files(), (std::vector<ExactScan::Found>{
                               {"JPG", 16, jpeg.size(), Verdict::Complete},
                               {"PNG", 240, png.size(), Verdict::Complete},
                               {"JPG", 400, damaged.size(), Verdict::Damaged},
                               {"GIF", 590, 10 * kSectorSize, Verdict::Truncated},
                           }));
    EXPECT_EQ(run.catalogue.Mode(), RecoveryMode::Exact);
    EXPECT_EQ(run.catalogue.EntryAt(1).name, "FoundPNG2.PNG");  // names as in the described mode
    EXPECT_EQ(run.catalogue.CountOfVerdict(Verdict::Complete), 2u);
    EXPECT_EQ(run.observer.typesFound, (std::vector<std::string>{"JPG", "PNG", "GIF"}));
}

TEST(ExactRecogniser, TheMaximumSizeCutsAFileThatEndsLater)
{
    const fx::Bytes png = fx::EncodePng(fx::MakeScene(900, 700, 1));
    ASSERT_GT(png.size(), 8 * 1024u);
    auto volume = NoiseVolume(4096);
    PutAtSector(volume, 8, png);
    ExactScan run;
    Scan(run, volume, Types({"PNG"}, 8));
    EXPECT_EQ(run.Files(), (std::vector<ExactScan::Found>{{"PNG", 8, 8 * 1024, Verdict::Truncated}}));
    // A figure of 0 copies nothing: the file is found, with no bytes.
    ExactScan none;
    Scan(none, volume, Types({"PNG"}, 0));
    EXPECT_EQ(none.Files(), (std::vector<ExactScan::Found>{{"PNG", 8, 0, Verdict::Truncated}}));
}

TEST(ExactRecogniser, ATiffIsReportedAsItsMakersTypeOrNotAtAll)
{
    const fx::Bytes nef = fx::EncodeRawLikeTiff(Scene(), "NIKON CORPORATION", "NIKON D70", 100000, false);
    const fx::Bytes tif = fx::EncodeTiff(Scene(), true);
    auto volume = NoiseVolume(1200);
    PutAtSector(volume, 8, nef);
    PutAtSector(volume, 800, tif);
    ExactScan all;
    Scan(all, volume, SelectedTypes::AllTypes("F", 20480));
    EXPECT_EQ(all.Files(), (std::vector<ExactScan::Found>{{"NEF", 8, nef.size(), Verdict::Complete},
                                                          {"TIF", 800, tif.size(), Verdict::Complete}}));
    // With only TIF chosen, the NEF is not also reported as a TIF; with only NEF, the TIF is not.
    ExactScan onlyTif;
    Scan(onlyTif, volume, Types({"TIF"}));
    EXPECT_EQ(onlyTif.Files(), (std::vector<ExactScan::Found>{{"TIF", 800, tif.size(), Verdict::Complete}}));
    ExactScan onlyNef;
    Scan(onlyNef, volume, Types({"NEF"}));
    EXPECT_EQ(onlyNef.Files(), (std::vector<ExactScan::Found>{{"NEF", 8, nef.size(), Verdict::Complete}}));
}

TEST(ExactRecogniser, TheSectorsOfAFileThatDecodedWholeAreNotTestedAgain)
{
    // A JPEG whose comment segment holds, at a sector start, the bytes of a whole PNG (as a
    // preview inside a photo would): once the JPEG has decoded whole, its sectors are its own.
    fx::RgbImage grainy = fx::MakeScene(800, 600, 4);
    std::mt19937 grain(5);
    for (auto& p : grainy.pixels)
        p = static_cast<unsigned char>(std::clamp(p + static_cast<int>(grain() % 41) - 20, 0, 255));
    const fx::Bytes photo = fx::EncodeJpegJfif(grainy, 95);
    const fx::Bytes png = fx::EncodePng(fx::MakeScene(16, 16, 1));
    fx::Bytes jpeg{0xFF, 0xD8, 0xFF, 0xFE};
    const std::size_t comment = kSectorSize - 6 + png.size() + 2;
    jpeg.push_back(static_cast<unsigned char>(comment >> 8));
    jpeg.push_back(static_cast<unsigned char>(comment & 0xFF));
    jpeg.resize(kSectorSize, 'c');
    jpeg.insert(jpeg.end(), png.begin(), png.end());
    jpeg.insert(jpeg.end(), photo.begin() + 2, photo.end());
    ASSERT_GT(jpeg.size(), 300 * kSectorSize);
    ASSERT_LT(jpeg.size(), 2800 * kSectorSize);
    auto volume = NoiseVolume(3000);
    PutAtSector(volume, 8, jpeg);
    PutAtSector(volume, 2900, png);
    ExactScan run;
    std::vector<MemoryVolumeSource::Read> reads;
    Scan(run, volume, Types({"JPG", "PNG"}), 64, &reads);
    EXPECT_EQ(run.Files(), (std::vector<ExactScan::Found>{{"JPG", 8, jpeg.size(), Verdict::Complete},
                                                          {"PNG", 2900, png.size(), Verdict::Complete}}));
    // Blocks of the scan that lie wholly inside the JPEG are not even read.
    auto blockRead = [&](std::uint64_t sector) {
        return std::any_of(reads.begin(), reads.end(), [&](const auto& r) {
            return r.offset == sector * kSectorSize && r.length == 64 * kSectorSize;
        });
    };
    EXPECT_TRUE(blockRead(0));
    EXPECT_FALSE(blockRead(64));
    EXPECT_FALSE(blockRead(192));
    EXPECT_TRUE(blockRead(2880));
}

TEST(ExactRecogniser, TheSectorsOfFilesNoDecoderCheckedAreStillTested)
{
    // A bitmap's size field says it runs on, but a PNG was written over its second half: the
    // bitmap's pixels cannot be checked, so its sectors are tested and the PNG is found.
    const fx::Bytes bmp = fx::EncodeBmp(fx::MakeScene(200, 200, 4));
    const fx::Bytes png = fx::EncodePng(fx::MakeScene(16, 16, 1));
    auto volume = NoiseVolume(1000);
    PutAtSector(volume, 8, bmp);
    PutAtSector(volume, 100, png);
    ExactScan run;
    Scan(run, volume, Types({"BMP", "PNG"}));
    EXPECT_EQ(run.Files(), (std::vector<ExactScan::Found>{{"BMP", 8, bmp.size(), Verdict::Complete},
                                                          {"PNG", 100, png.size(), Verdict::Complete}}));

    // A damaged file's sectors are tested too: a JPEG overwritten from its middle on by a PNG.
    const fx::Bytes jpeg = fx::EncodeJpegJfif(fx::MakeScene(400, 300, 2), 90);
    auto second = NoiseVolume(400);
    const std::uint64_t middle = 8 + jpeg.size() / kSectorSize / 2;
    PutAtSector(second, 8, jpeg);
    PutAtSector(second, middle, png);
    ExactScan overwritten;
    Scan(overwritten, second, Types({"JPG", "PNG"}));
    ASSERT_EQ(overwritten.Files().size(), 2u);
    EXPECT_EQ(overwritten.Files()[0].verdict, Verdict::Damaged);
    EXPECT_EQ(overwritten.Files()[1], (ExactScan::Found{"PNG", middle, png.size(), Verdict::Complete}));
}

TEST(ExactRecogniser, UnreadableSectorsInsideAFileReadAsZerosAndDamageIt)
{
    const fx::Bytes jpeg = fx::EncodeJpegJfif(fx::MakeScene(400, 300, 2), 90);
    auto volume = NoiseVolume(400);
    PutAtSector(volume, 8, jpeg);
    auto faulty = std::make_shared<std::unique_ptr<FaultyVolumeSource>>(
        std::make_unique<FaultyVolumeSource>(std::make_unique<MemoryVolumeSource>(volume)));
    (*faulty)->FailSector(8 + jpeg.size() / kSectorSize / 2);
    FoundFileCatalogue catalogue;
    RecordingScanObserver observer;
    ScanEngine engine(catalogue, observer);
    engine.Run([faulty] {
        VolumeOpenResult result;
        result.source = std::move(*faulty);
        return result;
    }, Types({"JPG"}), RecoveryMode::Exact);
    ASSERT_EQ(catalogue.FoundCount(), 1u);
    EXPECT_EQ(catalogue.EntryAt(0).verdict, Verdict::Damaged);
    EXPECT_EQ(catalogue.EntryAt(0).lengthBytes, jpeg.size());
}

TEST(ExactRecogniser, TheDescribedModeStaysAsItWas)
{
    // The same card in both modes: the described scan finds the false bitmap and gives every
    // file its extent; exact recovery does neither.
    auto volume = NoiseVolume(300);
    PutAtSector(volume, 8, fx::EncodePng(Scene()));
    PutAtSector(volume, 200, std::vector<unsigned char>{'B', 'M', 1, 2, 3});
    FoundFileCatalogue catalogue;
    RecordingScanObserver observer;
    ScanEngine engine(catalogue, observer);
    engine.Run(
        [&] {
            VolumeOpenResult result;
            result.source = std::make_unique<MemoryVolumeSource>(volume);
            return result;
        },
        Types({"BMP", "PNG"}, 4));
    ASSERT_EQ(catalogue.FoundCount(), 2u);
    EXPECT_EQ(catalogue.Mode(), RecoveryMode::Described);
    EXPECT_EQ(catalogue.EntryAt(0).lengthBytes, 4096u);
    EXPECT_EQ(catalogue.EntryAt(1).token, "BMP");
    EXPECT_EQ(catalogue.EntryAt(1).verdict, Verdict::None);
}

TEST(ExactRecogniser, TodaysFilesAreFoundUnderTheirOwnTypesAndWhatIsInsideThemIsNotFoundAgain)
{
    // A phone's and a camera's files in exact recovery with every type ticked, the photos' figure
    // 64 KiB: a movie whose first frame (a JPEG) begins a sector, an AVCHD clip (every third
    // sector of it looks like a clip's start), raws larger than the photos' figure.
    fx::MovieOptions options;
    options.brand = "qt  ";
    options.frames = {Scene(), fx::MakeScene(320, 240, 8)};
    options.alignData = true;
    const fx::Bytes movie = fx::EncodeMovie(options);
    const fx::Bytes heic = fx::EncodeHeic(Scene(), 50);
    const fx::Bytes clip = fx::EncodeTransportStream(true, 96);
    const fx::Bytes raw = fx::EncodeCameraRaw(fx::CameraRaw::Arw, Scene(), 150000);
    const fx::Bytes cr3 = fx::EncodeCr3(Scene(), 120000);
    auto volume = NoiseVolume(2400);
    const std::pair<std::uint64_t, const fx::Bytes*> planted[] = {
        {16, &movie}, {300, &heic}, {400, &clip}, {800, &raw}, {1400, &cr3}};
    for (const auto& [sector, bytes] : planted)
        PutAtSector(volume, sector, *bytes);
    ExactScan run;
    Scan(run, volume, SelectedTypes::AllTypes("Found", 64, RecoveryMode::Exact));
    EXPECT_EQ(run.Files(), (std::vector<ExactScan::Found>{{"MOV", 16, movie.size(), Verdict::Complete},
                                                          {"HEIC", 300, heic.size(), Verdict::Complete},
                                                          {"MTS", 400, clip.size(), Verdict::Complete},
                                                          {"ARW", 800, raw.size(), Verdict::Complete},
                                                          {"CR3", 1400, cr3.size(), Verdict::Complete}}));
    // With the photos' figure for every type (the user's own), the raws are cut at it.
    ExactScan cut;
    Scan(cut, volume, SelectedTypes::AllTypes("Found", 64, RecoveryMode::Exact, true));
    EXPECT_EQ(cut.Files()[3].token, "ARW");
    EXPECT_EQ(cut.Files()[3].length, 64u * 1024);
    EXPECT_EQ(cut.Files()[3].verdict, Verdict::Truncated);
}
