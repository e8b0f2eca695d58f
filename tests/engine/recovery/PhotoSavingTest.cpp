// Saving photos as people look for them: copies of one photo found and left out, and files named
// and dated by when they were taken.
#include "DuplicateFinder.h"
#include "ExifWriter.h"
#include "FaultyVolumeSource.h"
#include "FoundFileSaver.h"
#include "MemoryVolumeSource.h"
#include "PictureEncoders.h"
#include "RecordingObservers.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace quorvex;
using namespace quorvex::testing;
namespace fs = std::filesystem;
namespace fx = quorvex::fixtures;

namespace {

// A card of photos, each at its sector, and the catalogue an exact scan of it gives (all JPG).
struct PhotoCard {
    std::vector<unsigned char> bytes = MakeVolumeBytes(2048);
    FoundFileCatalogue catalogue;
    std::set<std::uint64_t> badSectors;

    explicit PhotoCard(RecoveryMode mode = RecoveryMode::Exact)
    {
        catalogue.Reset(SelectedTypes({{"JPG", "FoundFileJPG", 64}}), mode);
    }
    void Put(std::uint64_t sector, const fx::Bytes& file)
    {
        PutAtSector(bytes, sector, file);
        if (catalogue.Mode() == RecoveryMode::Exact)
            catalogue.AppendFoundFile(0, sector, file.size(), Verdict::Complete);
        else
            catalogue.AppendFoundFile(0, sector);
    }
    VolumeOpener Opener() const
    {
        return [bytes = bytes, bad = badSectors] {
            auto faulty = std::make_unique<FaultyVolumeSource>(std::make_unique<MemoryVolumeSource>(bytes));
            for (const std::uint64_t sector : bad)
                faulty->FailSector(sector);
            VolumeOpenResult result;
            result.source = std::move(faulty);
            return result;
        };
    }
    DuplicateMap Duplicates(const std::atomic<int>* stop = nullptr) const
    {
        VolumeReader reader;
        EXPECT_TRUE(reader.Open(Opener()).ok());
        return FindDuplicates(reader, catalogue, stop);
    }
};

fx::Bytes Photo(int seed, const char* taken = "2023:07:14 09:05:33")
{
    return fx::WithExif(fx::EncodeJpegJfif(fx::MakeScene(64, 48, seed), 85), {taken, "Canon", "Canon EOS R6", 1});
}

}  // namespace

TEST(DuplicateFinder, CopiesOfTheSameBytesPointToTheFirstFoundAndNothingElseDoes)
{
    PhotoCard card;
    const fx::Bytes a = Photo(1);
    fx::Bytes nearlyA = a;  // the same length, one byte apart
    nearlyA[nearlyA.size() / 2] ^= 0x01;
    card.Put(8, a);                 // 0
    card.Put(200, Photo(2));        // 1
    card.Put(400, a);               // 2: a copy of 0
    card.Put(600, nearlyA);         // 3: not a copy
    card.Put(800, a);               // 4: another copy of 0
    card.Put(1000, a);              // 5: a copy, but one of its sectors cannot be read
    card.badSectors.insert(1001);
    const DuplicateMap found = card.Duplicates();
    EXPECT_EQ(found.Count(), 2u);
    EXPECT_EQ(found.OriginalOf(2), 0u);
    EXPECT_EQ(found.OriginalOf(4), 0u);
    for (const std::uint64_t unique : {0u, 1u, 3u, 5u})
        EXPECT_FALSE(found.OriginalOf(unique)) << unique;

    // A stop ends the search; the described mode's lengths are no file's own, so it finds none.
    const std::atomic<int> stop{1};
    EXPECT_EQ(card.Duplicates(&stop).Count(), 0u);
    PhotoCard described(RecoveryMode::Described);
    described.Put(8, a);
    described.Put(400, a);
    EXPECT_EQ(described.Duplicates().Count(), 0u);
}

TEST(FoundFileSaver, SkippingDuplicatesWritesEachPhotoOnceAndCountsTheCopiesLeftOut)
{
    PhotoCard card;
    const fx::Bytes a = Photo(1);
    card.Put(8, a);
    card.Put(200, Photo(2));
    card.Put(400, a);
    const DuplicateMap duplicates = card.Duplicates();
    RecordingSaveObserver observer;
    FoundFileSaver saver(card.catalogue, observer);
    saver.SetSkipDuplicates(&duplicates);

    TempFolder all;
    SaveReport report = saver.SaveAll(card.Opener(), all.Path().string());
    EXPECT_EQ(report.saved, 2u);
    EXPECT_EQ(report.skippedDuplicates, 1u);
    EXPECT_EQ(NamesIn(all.Path() / "recoverd/JPG"),
              (std::vector<std::string>{"FoundFileJPG1.JPG", "FoundFileJPG2.JPG"}));
    EXPECT_EQ(SpaceNeeded(card.catalogue, &duplicates), SpaceFor(a.size()) + SpaceFor(card.catalogue.LengthAt(1)));

    // A copy chosen without its original is saved; of two chosen, the first one chosen is.
    TempFolder copyOnly;
    report = saver.SaveSelected(card.Opener(), copyOnly.Path().string(), {"FoundFileJPG3.JPG"});
    EXPECT_EQ(report.saved, 1u);
    EXPECT_EQ(report.skippedDuplicates, 0u);
    TempFolder both;
    const std::vector<std::string> chosen{"FoundFileJPG3.JPG", "FoundFileJPG1.JPG"};
    report = saver.SaveSelected(card.Opener(), both.Path().string(), chosen);
    EXPECT_EQ(report.skippedDuplicates, 1u);
    EXPECT_EQ(NamesIn(both.Path() / "recoverd/JPG"), std::vector<std::string>{"FoundFileJPG3.JPG"});
    EXPECT_EQ(SpaceNeeded(card.catalogue, chosen, &duplicates), SpaceFor(a.size()));
    EXPECT_EQ(SpaceNeeded(card.catalogue, chosen), 2 * SpaceFor(a.size()));

    // Without the map every chosen file is written.
    saver.SetSkipDuplicates(nullptr);
    TempFolder every;
    EXPECT_EQ(saver.SaveAll(card.Opener(), every.Path().string()).saved, 3u);
}

TEST(FoundFileSaver, ABudgetThatRunsOutReportsTheRestButNotTheirCopies)
{
    PhotoCard card;
    const fx::Bytes a = Photo(1);
    const fx::Bytes b = Photo(2);
    card.Put(8, a);
    card.Put(200, b);
    card.Put(400, b);  // a copy of the one that did not fit
    const DuplicateMap duplicates = card.Duplicates();
    RecordingSaveObserver observer;
    FoundFileSaver saver(card.catalogue, observer);
    saver.SetSkipDuplicates(&duplicates);
    saver.SetSpaceBudget(SpaceFor(a.size()));
    TempFolder dest;
    const SaveReport report = saver.SaveAll(card.Opener(), dest.Path().string());
    EXPECT_EQ(report.saved, 1u);
    EXPECT_EQ(report.notSaved, 1u);
    EXPECT_EQ(report.bytesStillNeeded, SpaceFor(b.size()));
    EXPECT_EQ(report.unsavedNames, std::vector<std::string>{"FoundFileJPG2.JPG"});
}

TEST(FoundFileSaver, NamingByCaptureDateGivesEachPhotoItsTimeAndNumbersTheSameSecond)
{
    PhotoCard card;
    card.Put(8, Photo(1, "2023:07:14 09:05:33"));
    card.Put(200, Photo(2, "2023:07:14 09:05:33"));  // a burst: the same second
    card.Put(400, fx::EncodeJpegJfif(fx::MakeScene(64, 48, 3), 85));  // no Exif
    card.Put(600, Photo(4, "2021:01:02 03:04:05"));
    card.Put(800, Photo(5, "2023:07:14 09:05:33"));
    RecordingSaveObserver observer;
    FoundFileSaver saver(card.catalogue, observer);
    saver.SetNameByCaptureDate(true);
    TempFolder dest;
    const SaveReport report = saver.SaveAll(card.Opener(), dest.Path().string());
    EXPECT_EQ(report.saved, 5u);
    const fs::path folder = dest.Path() / "recoverd/JPG";
    EXPECT_EQ(NamesIn(folder),
              (std::vector<std::string>{"2021-01-02_03-04-05.JPG", "2023-07-14_09-05-33.JPG", "2023-07-14_09-05-33_2.JPG",
                                        "2023-07-14_09-05-33_3.JPG", "FoundFileJPG3.JPG"}));
    // The second file of the burst is the second found, and it holds that file's bytes.
    EXPECT_EQ(ReadWholeFile(folder / "2023-07-14_09-05-33_2.JPG"), Photo(2, "2023:07:14 09:05:33"));

    struct stat info {};
    ASSERT_EQ(::stat((folder / "2021-01-02_03-04-05.JPG").c_str(), &info), 0);
    EXPECT_EQ(info.st_mtim.tv_sec, CaptureTime::Parse("2021:01:02 03:04:05")->LocalEpochSeconds());
    ASSERT_EQ(::stat((folder / "FoundFileJPG3.JPG").c_str(), &info), 0);
    EXPECT_GT(info.st_mtim.tv_sec, CaptureTime::Parse("2024:01:01 00:00:00")->LocalEpochSeconds());  // now

    // The described mode keeps its found names.
    PhotoCard described(RecoveryMode::Described);
    described.Put(8, Photo(1));
    FoundFileSaver describedSaver(described.catalogue, observer);
    describedSaver.SetNameByCaptureDate(true);
    TempFolder other;
    describedSaver.SaveAll(described.Opener(), other.Path().string());
    EXPECT_EQ(NamesIn(other.Path() / "recoverd/JPG"), std::vector<std::string>{"FoundFileJPG1.JPG"});
}

TEST(FoundFileSaver, AStopWhileSavingByDateEndsTheSaveAndTheTimesReaderWithIt)
{
    PhotoCard card;
    for (int n = 0; n < 30; ++n) {
        char taken[32];
        std::snprintf(taken, sizeof taken, "2022:03:04 05:06:%02d", n);
        card.Put(8 + static_cast<std::uint64_t>(n) * 40, Photo(n, taken));
    }
    RecordingSaveObserver observer;
    FoundFileSaver saver(card.catalogue, observer);
    observer.onFileStarted = [&](const std::string&) {
        if (observer.started.size() == 3)
            saver.RequestStop();
    };
    saver.SetNameByCaptureDate(true);
    TempFolder dest;
    const SaveReport report = saver.SaveAll(card.Opener(), dest.Path().string());
    EXPECT_EQ(report.outcome, SaveOutcome::Stopped);
    EXPECT_EQ(observer.started.size(), 3u);
    EXPECT_EQ(NamesIn(dest.Path() / "recoverd/JPG"),
              (std::vector<std::string>{"2022-03-04_05-06-00.JPG", "2022-03-04_05-06-01.JPG", "2022-03-04_05-06-02.JPG"}));
}
