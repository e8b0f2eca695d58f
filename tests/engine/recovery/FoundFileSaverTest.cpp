// Saving found files: folder layout, overwriting, stops, failures that are counted and reported.
#include "FaultyVolumeSource.h"
#include "FoundFileSaver.h"
#include "MemoryVolumeSource.h"
#include "RecordingObservers.h"
#include "SmallFileSystem.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

using namespace quorvex;
using namespace quorvex::testing;
namespace fs = std::filesystem;

namespace {

// A 256-sector volume holding a BMP at sector 8, a GIF at 40 and a BMP at 72; sector n is
// otherwise filled with n % 251 + 1.
std::vector<unsigned char> CardBytes()
{
    auto volume = MakeVolumeBytes(256);
    for (std::size_t s = 0; s < 256; ++s)
        std::fill_n(volume.begin() + static_cast<std::ptrdiff_t>(s * 512), 512, static_cast<unsigned char>(s % 251 + 1));
    PutAtSector(volume, 8, SignatureOf("BMP"));
    PutAtSector(volume, 40, SignatureOf("GIF"));
    PutAtSector(volume, 72, SignatureOf("BMP"));
    return volume;
}

VolumeOpener CardOpener(std::function<void(FaultyVolumeSource&)> prepare = {})
{
    return [prepare] {
        auto faulty = std::make_unique<FaultyVolumeSource>(std::make_unique<MemoryVolumeSource>(CardBytes()));
        if (prepare)
            prepare(*faulty);
        VolumeOpenResult result;
        result.source = std::move(faulty);
        return result;
    };
}

// The catalogue a scan of CardBytes() gives: BMP 1 KiB (2 sectors), GIF 4 KiB (8 sectors).
FoundFileCatalogue CardCatalogue(std::int64_t bmpKb = 1, std::int64_t gifKb = 4)
{
    FoundFileCatalogue catalogue;
    catalogue.Reset(SelectedTypes({{"BMP", "FoundFileBMP", bmpKb}, {"GIF", "FoundFileGIF", gifKb}}));
    catalogue.AppendFoundFile(0, 8);
    catalogue.AppendFoundFile(1, 40);
    catalogue.AppendFoundFile(0, 72);
    return catalogue;
}

std::vector<std::string> FilesUnder(const fs::path& root)
{
    std::vector<std::string> files;
    if (!fs::exists(root))
        return files;
    for (const auto& entry : fs::recursive_directory_iterator(root))
        files.push_back(fs::relative(entry.path(), root).string() + (entry.is_directory() ? "/" : ""));
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

TEST(FoundFileSaver, SaveAllWritesEveryEntryUnderRecoverdAndItsToken)
{
    TempFolder dest;
    const auto catalogue = CardCatalogue();
    RecordingSaveObserver observer;
    FoundFileSaver saver(catalogue, observer);
    const SaveReport report = saver.SaveAll(CardOpener(), dest.Path().string());  // no trailing separator

    EXPECT_EQ(report.outcome, SaveOutcome::Completed);
    EXPECT_EQ(report.saved, 3u);
    EXPECT_EQ(report.failed, 0u);
    EXPECT_EQ(FilesUnder(dest.Path()),
              (std::vector<std::string>{"recoverd/", "recoverd/BMP/", "recoverd/BMP/FoundFileBMP1.BMP",
                                        "recoverd/BMP/FoundFileBMP3.BMP", "recoverd/GIF/",
                                        "recoverd/GIF/FoundFileGIF2.GIF"}));
    const auto bmp = ReadWholeFile(dest / "recoverd/BMP/FoundFileBMP1.BMP");
    ASSERT_EQ(bmp.size(), 2u * 512);  // 1 KiB
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(bmp[512], 9 % 251 + 1);
    EXPECT_EQ(ReadWholeFile(dest / "recoverd/GIF/FoundFileGIF2.GIF").size(), 8u * 512);
    EXPECT_EQ(observer.started.front(), (dest / "recoverd/BMP/FoundFileBMP1.BMP").string());
    EXPECT_EQ(observer.percents, (std::vector<int>{0, 33, 66}));
}

TEST(FoundFileSaver, ADestinationWithATrailingSeparatorOrAtTheRootGetsNoDoubleSeparator)
{
    TempFolder dest;
    const auto catalogue = CardCatalogue();
    RecordingSaveObserver observer;
    FoundFileSaver(catalogue, observer).SaveAll(CardOpener(), dest.Path().string() + "/");
    EXPECT_EQ(observer.started.front(), dest.Path().string() + "/recoverd/BMP/FoundFileBMP1.BMP");

    EXPECT_EQ(WithTrailingSeparator("/"), "/");
    EXPECT_EQ(WithTrailingSeparator("/media/card"), "/media/card/");
    EXPECT_EQ(WithTrailingSeparator("/media/card/"), "/media/card/");
}

TEST(FoundFileSaver, SaveSelectedWritesOnlyTheNamedEntries)
{
    TempFolder dest;
    const auto catalogue = CardCatalogue();
    RecordingSaveObserver observer;
    FoundFileSaver saver(catalogue, observer);
    const SaveReport report =
        saver.SaveSelected(CardOpener(), dest.Path().string(), {"FoundFileBMP3.BMP", "NoSuchName.BMP"});
    EXPECT_EQ(report.saved, 1u);
    EXPECT_EQ(FilesUnder(dest.Path()),
              (std::vector<std::string>{"recoverd/", "recoverd/BMP/", "recoverd/BMP/FoundFileBMP3.BMP"}));
    EXPECT_EQ(ReadWholeFile(dest / "recoverd/BMP/FoundFileBMP3.BMP")[512], 73 % 251 + 1);
}

TEST(FoundFileSaver, NoSelectionWritesNothingAndCreatesNoFolder)
{
    TempFolder dest;
    const auto catalogue = CardCatalogue();
    RecordingSaveObserver observer;
    const SaveReport report = FoundFileSaver(catalogue, observer).SaveSelected(CardOpener(), dest.Path().string(), {});
    EXPECT_EQ(report.outcome, SaveOutcome::Completed);
    EXPECT_EQ(report.saved, 0u);
    EXPECT_TRUE(FilesUnder(dest.Path()).empty());
}

TEST(FoundFileSaver, SavingAgainOverwritesWhatTheFirstSaveWrote)
{
    TempFolder dest;
    fs::create_directories(dest / "recoverd/GIF");
    std::ofstream(dest / "recoverd/GIF/FoundFileGIF2.GIF") << std::string(100000, 'x');
    const auto catalogue = CardCatalogue();
    RecordingSaveObserver observer;
    FoundFileSaver(catalogue, observer).SaveAll(CardOpener(), dest.Path().string());
    const auto gif = ReadWholeFile(dest / "recoverd/GIF/FoundFileGIF2.GIF");
    ASSERT_EQ(gif.size(), 8u * 512);
    EXPECT_EQ(gif[0], 'G');
}

TEST(FoundFileSaver, AFigureOfZeroGivesEmptyFilesWithTheRightNames)
{
    TempFolder dest;
    const auto catalogue = CardCatalogue(0, 0);
    RecordingSaveObserver observer;
    const SaveReport report = FoundFileSaver(catalogue, observer).SaveAll(CardOpener(), dest.Path().string());
    EXPECT_EQ(report.saved, 3u);
    EXPECT_TRUE(fs::exists(dest / "recoverd/GIF/FoundFileGIF2.GIF"));
    EXPECT_EQ(fs::file_size(dest / "recoverd/GIF/FoundFileGIF2.GIF"), 0u);
}

TEST(FoundFileSaver, AnOutputThatCannotBeCreatedIsCountedAndTheSaveGoesOn)
{
    // A regular file stands where the BMP folder must be created: both BMP files fail (even for
    // root), the GIF is still saved, and the report says which files failed.
    TempFolder dest;
    fs::create_directories(dest / "recoverd");
    std::ofstream(dest / "recoverd/BMP") << "in the way";
    const auto catalogue = CardCatalogue();
    RecordingSaveObserver observer;
    const SaveReport report = FoundFileSaver(catalogue, observer).SaveAll(CardOpener(), dest.Path().string());
    EXPECT_EQ(report.outcome, SaveOutcome::Completed);
    EXPECT_EQ(report.saved, 1u);
    EXPECT_EQ(report.failed, 2u);
    ASSERT_EQ(report.failures.size(), 2u);
    EXPECT_EQ(report.failures[0].path, (dest / "recoverd/BMP/FoundFileBMP1.BMP").string());
    EXPECT_FALSE(report.failures[0].reason.empty());
    EXPECT_EQ(observer.failed.size(), 2u);
    EXPECT_EQ(ReadWholeFile(dest / "recoverd/GIF/FoundFileGIF2.GIF").size(), 8u * 512);
}

TEST(FoundFileSaver, TheListOfFailedFilesStopsAtItsCapWhileTheCountGoesOn)
{
    // 150 BMP files that all fail (a file stands where their folder must be): every one is
    // counted and told to the observer, but the report lists only the first kMaxListedFailures.
    TempFolder dest;
    fs::create_directories(dest / "recoverd");
    std::ofstream(dest / "recoverd/BMP") << "in the way";
    FoundFileCatalogue catalogue;
    catalogue.Reset(SelectedTypes({{"BMP", "FoundFileBMP", 1}}));
    for (std::uint64_t i = 0; i < 150; ++i)
        catalogue.AppendFoundFile(0, 8);
    RecordingSaveObserver observer;
    const SaveReport report = FoundFileSaver(catalogue, observer).SaveAll(CardOpener(), dest.Path().string());
    EXPECT_EQ(report.failed, 150u);
    EXPECT_EQ(observer.failed.size(), 150u);
    ASSERT_EQ(report.failures.size(), SaveReport::kMaxListedFailures);
    EXPECT_EQ(report.failures.back().path,
              (dest / ("recoverd/BMP/FoundFileBMP" + std::to_string(SaveReport::kMaxListedFailures) + ".BMP")).string());
}

TEST(FoundFileSaver, AVolumeThatCannotBeOpenedWritesNothingAndSaysWhy)
{
    TempFolder dest;
    const auto catalogue = CardCatalogue();
    RecordingSaveObserver observer;
    const VolumeOpener gone = FailingOpener(OpenFailure::NotFound, "/dev/sdx1: no such file or device");
    const SaveReport report = FoundFileSaver(catalogue, observer).SaveAll(gone, dest.Path().string());
    EXPECT_EQ(report.outcome, SaveOutcome::VolumeUnavailable);
    EXPECT_EQ(report.message, "/dev/sdx1: no such file or device");
    EXPECT_TRUE(FilesUnder(dest.Path()).empty());
}

TEST(FoundFileSaver, UnreadableSectorsInsideAFileAreCounted)
{
    TempFolder dest;
    const auto catalogue = CardCatalogue();
    RecordingSaveObserver observer;
    const SaveReport report = FoundFileSaver(catalogue, observer)
                                  .SaveAll(CardOpener([](FaultyVolumeSource& f) { f.FailSector(43); }),
                                           dest.Path().string());
    EXPECT_EQ(report.saved, 3u);
    EXPECT_EQ(report.unreadableSectors, 1u);
    const auto gif = ReadWholeFile(dest / "recoverd/GIF/FoundFileGIF2.GIF");
    ASSERT_EQ(gif.size(), 8u * 512);
    EXPECT_EQ(gif[3 * 512], 0);
}

TEST(FoundFileSaver, AStopInTheMiddleOfAFileKeepsThePartialFileAndWritesNoMore)
{
    // The GIF's extent is 2 MiB, two blocks of the 1 MiB buffer; the stop comes while its first
    // block is read, so that block is written and the second is not.
    TempFolder dest;
    const auto catalogue = CardCatalogue(1, 2048);
    RecordingSaveObserver observer;
    FoundFileSaver saver(catalogue, observer);
    int reads = 0;
    const SaveReport report =
        saver.SaveAll(CardOpener([&](FaultyVolumeSource& f) {
                          f.OnRead([&](std::uint64_t offset) {
                              // The GIF starts at sector 40; stop while its extent is being read.
                              if (offset / 512 >= 40 && ++reads == 1)
                                  saver.RequestStop();
                          });
                      }),
                      dest.Path().string());
    EXPECT_EQ(report.outcome, SaveOutcome::Stopped);
    EXPECT_EQ(report.saved, 1u);
    EXPECT_EQ(report.partialFile, (dest / "recoverd/GIF/FoundFileGIF2.GIF").string());
    EXPECT_TRUE(fs::exists(dest / "recoverd/GIF/FoundFileGIF2.GIF"));
    EXPECT_EQ(fs::file_size(dest / "recoverd/GIF/FoundFileGIF2.GIF"), 2048u * 512);
    EXPECT_FALSE(fs::exists(dest / "recoverd/BMP/FoundFileBMP3.BMP"));
}

TEST(FoundFileSaver, AStopFromAnotherThreadEndsASaveRunningOnItsOwnThread)
{
    // A long save (64 MiB per file, read from a virtual volume) on a worker thread, stopped from
    // this thread as the progress dialog's Stop Saving does; the worker is joined before the
    // catalogue and the saver go away.
    TempFolder dest;
    FoundFileCatalogue catalogue;
    catalogue.Reset(SelectedTypes({{"JPG", "FoundFileJPG", 65536}}));
    for (std::uint64_t i = 0; i < 8; ++i)
        catalogue.AppendFoundFile(0, i * 8);
    RecordingSaveObserver observer;
    std::atomic<int> filesStarted{0};
    observer.onFileStarted = [&](const std::string&) { filesStarted.fetch_add(1); };
    FoundFileSaver saver(catalogue, observer);
    VolumeOpener opener = [] {
        VolumeOpenResult result;
        result.source = std::make_unique<VirtualVolumeSource>(1ull << 40);
        return result;
    };
    SaveReport report;
    std::thread worker([&] { report = saver.SaveAll(opener, dest.Path().string()); });
    while (filesStarted.load() == 0)
        std::this_thread::yield();
    saver.RequestStop();
    worker.join();
    EXPECT_EQ(report.outcome, SaveOutcome::Stopped);
    EXPECT_LT(report.saved, 8u);
    EXPECT_FALSE(report.partialFile.empty());
}

TEST(CreateFolderPath, CreatesEveryFolderAlongThePath)
{
    TempFolder root;
    EXPECT_TRUE(CreateFolderPath((root / "a/b/c").string()));
    EXPECT_TRUE(fs::is_directory(root / "a/b/c"));
    EXPECT_TRUE(CreateFolderPath((root / "a/b/c").string()));  // existing folders are passed over
    std::ofstream(root / "file") << "x";
    EXPECT_FALSE(CreateFolderPath((root / "file/sub").string()));
}

TEST(FoundFileSaver, AFullDiskEndsTheSaveRemovesThePartialFileAndSaysWhatWasNotSaved)
{
    // 200 KiB of room; five files of 64 KiB: three fit, the fourth fills the disk half way.
    SmallFileSystem small(200);
    if (!small.Mounted())
        GTEST_SKIP() << "mounting a tmpfs is not allowed here";
    auto volume = MakeVolumeBytes(1024, 0x33);
    FoundFileCatalogue catalogue;
    catalogue.Reset(SelectedTypes({{"BMP", "FoundFileBMP", 64}}));
    for (std::uint64_t i = 0; i < 5; ++i)
        catalogue.AppendFoundFile(0, 8 + 128 * i);
    RecordingSaveObserver observer;
    FoundFileSaver saver(catalogue, observer);
    const SaveReport report = saver.SaveAll(CardOpener(), small.Path().string());
    EXPECT_EQ(report.outcome, SaveOutcome::DiskFull);
    EXPECT_EQ(report.saved, 3u);
    EXPECT_EQ(report.failed, 0u);
    EXPECT_EQ(report.notSaved, 2u);
    EXPECT_EQ(report.bytesStillNeeded, 2u * 64 * 1024);
    EXPECT_EQ(report.unsavedNames, (std::vector<std::string>{"FoundFileBMP4.BMP", "FoundFileBMP5.BMP"}));
    // No empty or partial file is left named like a found picture.
    EXPECT_EQ(FilesUnder(small.Path()), (std::vector<std::string>{"recoverd/", "recoverd/BMP/",
                                                                    "recoverd/BMP/FoundFileBMP1.BMP",
                                                                    "recoverd/BMP/FoundFileBMP2.BMP",
                                                                    "recoverd/BMP/FoundFileBMP3.BMP"}));
    EXPECT_EQ(observer.started.size(), 4u);  // the fifth was not even tried
}

TEST(FoundFileSaver, ABudgetSavesAsManyFilesAsFitInOrder)
{
    TempFolder dest;
    FoundFileCatalogue catalogue;
    catalogue.Reset(SelectedTypes({{"BMP", "FoundFileBMP", 1}, {"GIF", "FoundFileGIF", 4}}));
    catalogue.AppendFoundFile(0, 8);   // 1 KiB: 4 KiB of space
    catalogue.AppendFoundFile(1, 40);  // 4 KiB
    catalogue.AppendFoundFile(0, 72);  // 1 KiB
    RecordingSaveObserver observer;
    FoundFileSaver saver(catalogue, observer);
    EXPECT_EQ(SpaceNeeded(catalogue), 12u * 1024);
    EXPECT_EQ(SpaceNeeded(catalogue, {"FoundFileGIF2.GIF", "nothing"}), 4u * 1024);
    saver.SetSpaceBudget(8 * 1024);
    const SaveReport report = saver.SaveAll(CardOpener(), dest.Path().string());
    EXPECT_EQ(report.outcome, SaveOutcome::Completed);
    EXPECT_EQ(report.saved, 2u);
    EXPECT_EQ(report.notSaved, 1u);
    EXPECT_EQ(report.bytesStillNeeded, 4u * 1024);
    EXPECT_EQ(report.unsavedNames, std::vector<std::string>{"FoundFileBMP3.BMP"});
    EXPECT_FALSE(fs::exists(dest / "recoverd/BMP/FoundFileBMP3.BMP"));
}

TEST(FoundFileSaver, KeptCardNamesGoIntoTheCardsFoldersWithTheirTimesSafelyAndOnce)
{
    // Four exact finds on the card: two the card names the same, one whose name climbs, one unnamed.
    FoundFileCatalogue catalogue;
    catalogue.Reset(SelectedTypes::AllTypes("FoundFile", 20480), RecoveryMode::Exact);
    const std::size_t bmp = *catalogue.Selection().IndexOf("BMP"), gif = *catalogue.Selection().IndexOf("GIF");
    catalogue.AppendFoundFile(bmp, 8, 1024, Verdict::Complete);
    catalogue.AppendFoundFile(gif, 40, 4096, Verdict::Complete);
    catalogue.AppendFoundFile(bmp, 72, 1024, Verdict::Complete);
    catalogue.AppendFoundFile(bmp, 100, 512, Verdict::Complete);
    ASSERT_TRUE(catalogue.SetCardName(0, CardName{"DCIM/100CANON", "IMG_0001.BMP", false, 1718000000}));
    ASSERT_TRUE(catalogue.SetCardName(1, CardName{"../../..", "evil.gif", true, 0}));
    ASSERT_TRUE(catalogue.SetCardName(2, CardName{"DCIM/100CANON", "img_0001.bmp", true, 1718003600}));

    TempFolder dest;
    RecordingSaveObserver observer;
    FoundFileSaver saver(catalogue, observer);
    saver.SetKeepCardNames(true);
    const SaveReport report = saver.SaveAll(CardOpener(), dest.Path().string());
    EXPECT_EQ(report.saved, 4u);
    EXPECT_EQ(FilesUnder(dest.Path()),
              (std::vector<std::string>{"recoverd/", "recoverd/BMP/", "recoverd/BMP/FoundFileBMP4.BMP", "recoverd/DCIM/",
                                        "recoverd/DCIM/100CANON/", "recoverd/DCIM/100CANON/IMG_0001.BMP",
                                        "recoverd/DCIM/100CANON/img_0001_2.bmp", "recoverd/evil.gif"}));
    EXPECT_EQ(fs::last_write_time(dest / "recoverd/DCIM/100CANON/IMG_0001.BMP").time_since_epoch(),
              (fs::file_time_type::clock::from_sys(std::chrono::sys_seconds(std::chrono::seconds(1718000000)))).time_since_epoch());
    EXPECT_EQ(ReadWholeFile(dest / "recoverd/DCIM/100CANON/img_0001_2.bmp")[0], 'B');

    // Without the choice every file keeps its found name, named by the card or not.
    TempFolder plain;
    FoundFileSaver found(catalogue, observer);
    found.SaveAll(CardOpener(), plain.Path().string());
    EXPECT_TRUE(fs::exists(plain / "recoverd/BMP/FoundFileBMP1.BMP"));
    EXPECT_FALSE(fs::exists(plain / "recoverd/DCIM"));
}
