// The scan loop: where it reads, what it records, how it reports, stops and survives bad media.
#include "FaultyVolumeSource.h"
#include "MemoryVolumeSource.h"
#include "RecordingObservers.h"
#include "ScanEngine.h"

#include <gtest/gtest.h>

#include <future>

using namespace quorvex;
using namespace quorvex::testing;

namespace {

SelectedTypes Defaults() { return SelectedTypes::AllTypes("FoundFile", 20480); }

// An opener handing out one prepared source, keeping a pointer to it for inspection.
template <typename Source>
VolumeOpener OpenerFor(std::unique_ptr<Source>& source)
{
    auto shared = std::make_shared<std::unique_ptr<Source>>(std::move(source));
    return [shared] {
        VolumeOpenResult result;
        result.source = std::move(*shared);
        return result;
    };
}

VolumeOpener MemoryOpener(std::vector<unsigned char> bytes)
{
    auto source = std::make_unique<MemoryVolumeSource>(std::move(bytes));
    return OpenerFor(source);
}

struct ScanRun {
    FoundFileCatalogue catalogue;
    RecordingScanObserver observer;
    ScanSummary summary;

    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        catalogue.ForEachEntry([&](const FoundFileEntry& e) { names.push_back(e.name); });
        return names;
    }
    std::vector<std::uint64_t> Sectors() const
    {
        std::vector<std::uint64_t> sectors;
        catalogue.ForEachEntry([&](const FoundFileEntry& e) { sectors.push_back(e.startSector); });
        return sectors;
    }
};

void Scan(ScanRun& run, const VolumeOpener& opener, SelectedTypes selection = Defaults(),
          std::size_t blockSectors = SectorBuffer::kDefaultSectorCount)
{
    ScanEngine engine(run.catalogue, run.observer, ScanEngine::Options{blockSectors});
    run.summary = engine.Run(opener, std::move(selection));
}

}  // namespace

TEST(ScanEngine, ReadsInChunksUpToAndIncludingTheEnd)
{
    // A 16-sector volume in 8-sector chunks is read at 0, 8 and 16; the read at 16 gets nothing.
    ScanRun run;
    Scan(run, MemoryOpener(MakeVolumeBytes(16)), Defaults(), 8);
    EXPECT_EQ(run.summary.outcome, ScanOutcome::Completed);
    EXPECT_EQ(run.summary.totalSectors, 16u);
    EXPECT_EQ(run.catalogue.FoundCount(), 0u);
    EXPECT_EQ(run.observer.percents, (std::vector<int>{0, 50, 100}));
}

TEST(ScanEngine, ChunkReadOffsetsAreWhereTheyShouldBe)
{
    std::vector<std::uint64_t> offsets;
    auto faulty = std::make_unique<FaultyVolumeSource>(std::make_unique<MemoryVolumeSource>(MakeVolumeBytes(16)));
    faulty->OnRead([&](std::uint64_t offset) { offsets.push_back(offset); });
    ScanRun run;
    Scan(run, OpenerFor(faulty), Defaults(), 8);
    EXPECT_EQ(offsets, (std::vector<std::uint64_t>{0, 8 * 512, 16 * 512}));
}

TEST(ScanEngine, TwoHitsInOneChunkGetConsecutiveNumbersInSlotOrder)
{
    auto volume = MakeVolumeBytes(32);
    PutAtSector(volume, 9, SignatureOf("GIF"));
    PutAtSector(volume, 10, SignatureOf("BMP"));
    ScanRun run;
    Scan(run, MemoryOpener(volume), Defaults(), 8);
    EXPECT_EQ(run.Names(), (std::vector<std::string>{"FoundFileGIF1.GIF", "FoundFileBMP2.BMP"}));
    EXPECT_EQ(run.Sectors(), (std::vector<std::uint64_t>{9, 10}));
}

TEST(ScanEngine, TypesAppearInFirstHitOrderWithOneRunningNumber)
{
    auto volume = MakeVolumeBytes(4096);
    PutAtSector(volume, 100, SignatureOf("BMP"));
    PutAtSector(volume, 2100, SignatureOf("GIF"));  // in the second 2048-sector block
    PutAtSector(volume, 2200, SignatureOf("BMP"));
    PutAtSector(volume, 4095, SignatureOf("JPG"));  // the very last sector
    ScanRun run;
    Scan(run, MemoryOpener(volume));
    EXPECT_EQ(run.Names(), (std::vector<std::string>{"FoundFileBMP1.BMP", "FoundFileGIF2.GIF", "FoundFileBMP3.BMP",
                                                     "FoundFileJPG4.JPG"}));
    EXPECT_EQ(run.observer.typesFound, (std::vector<std::string>{"BMP", "GIF", "JPG"}));
    ASSERT_EQ(run.observer.finished.size(), 1u);
    EXPECT_EQ(run.observer.finished[0].foundCount, 4u);
    // The counts come with each progress report (after the first block: one BMP) and once more
    // at the end, with every type in first-hit order.
    ASSERT_EQ(run.observer.countReports.size(), run.observer.percents.size() + 1);
    EXPECT_EQ(run.observer.countReports[1], (std::vector<TypeCount>{{"BMP", 1}}));
    EXPECT_EQ(run.observer.countReports.back(), (std::vector<TypeCount>{{"BMP", 2}, {"GIF", 1}, {"JPG", 1}}));
}

TEST(ScanEngine, FindsBigEndianAndLittleEndianTiffs)
{
    auto volume = MakeVolumeBytes(64);
    PutAtSector(volume, 9, std::vector<unsigned char>{'M', 'M', 0x00, 0x2A, 0, 0, 0, 8});
    PutAtSector(volume, 17, SignatureOf("TIF"));
    PutAtSector(volume, 25, std::vector<unsigned char>{'M', 'M', 0x2A, 0x00});  // not a TIFF
    ScanRun run;
    Scan(run, MemoryOpener(volume), SelectedTypes::AllTypes("FoundFile", 1), 8);
    EXPECT_EQ(run.Sectors(), (std::vector<std::uint64_t>{9, 17}));
    EXPECT_EQ(run.Names(), (std::vector<std::string>{"FoundFileTIF1.TIF", "FoundFileTIF2.TIF"}));
}

TEST(ScanEngine, UsesThePrefixOfEachTypeFromTheSelection)
{
    auto volume = MakeVolumeBytes(64);
    PutAtSector(volume, 3, SignatureOf("PNG"));
    PutAtSector(volume, 4, SignatureOf("BMP"));
    ScanRun run;
    Scan(run, MemoryOpener(volume), SelectedTypes({{"BMP", "Holiday", 10}, {"PNG", "", 10}}));
    EXPECT_EQ(run.Names(), (std::vector<std::string>{"1.PNG", "Holiday2.BMP"}));
}

TEST(ScanEngine, NothingFoundLeavesAnEmptyCatalogueAndNoTypes)
{
    ScanRun run;
    Scan(run, MemoryOpener(MakeVolumeBytes(200, 'a')));
    EXPECT_EQ(run.summary.outcome, ScanOutcome::Completed);
    EXPECT_EQ(run.catalogue.FoundCount(), 0u);
    EXPECT_TRUE(run.observer.typesFound.empty());
    ASSERT_EQ(run.observer.finished.size(), 1u);
}

TEST(ScanEngine, AStopBetweenTwoSlotsEndsBeforeTheNextSlot)
{
    // Every sector is a hit; the observer asks for a stop when the first type appears, which
    // happens right after the first entry is recorded.
    auto volume = MakeVolumeBytes(64);
    for (std::uint64_t s = 0; s < 64; ++s)
        PutAtSector(volume, s, SignatureOf("BMP"));
    FoundFileCatalogue catalogue;
    struct StopOnFirstType : RecordingScanObserver {
        ScanEngine* engine = nullptr;
        void OnTypeFound(const std::string& token) override
        {
            RecordingScanObserver::OnTypeFound(token);
            engine->RequestStop();
        }
    } observer;
    ScanEngine engine(catalogue, observer, ScanEngine::Options{8});
    observer.engine = &engine;
    const ScanSummary summary = engine.Run(MemoryOpener(volume), Defaults());
    EXPECT_EQ(summary.outcome, ScanOutcome::Stopped);
    EXPECT_EQ(catalogue.FoundCount(), 1u);  // sector 0 only: slot 1 was never tested
    EXPECT_FALSE(engine.IsRunning());
    ASSERT_EQ(observer.finished.size(), 1u);
    EXPECT_EQ(observer.finished[0].outcome, ScanOutcome::Stopped);
}

TEST(ScanEngine, AFailedChunkIsSkippedAndTheRestOfTheBlockStillTested)
{
    auto volume = MakeVolumeBytes(4096);
    PutAtSector(volume, 16, SignatureOf("PNG"));  // in the chunk that fails
    PutAtSector(volume, 23, SignatureOf("PNG"));
    PutAtSector(volume, 24, SignatureOf("GIF"));  // the next chunk reads fine
    PutAtSector(volume, 3000, SignatureOf("BMP"));
    auto faulty = std::make_unique<FaultyVolumeSource>(std::make_unique<MemoryVolumeSource>(volume));
    faulty->FailSector(19);
    ScanRun run;
    Scan(run, OpenerFor(faulty));
    EXPECT_EQ(run.Sectors(), (std::vector<std::uint64_t>{24, 3000}));
    EXPECT_EQ(run.summary.unreadableSectors, 8u);
    EXPECT_EQ(run.observer.unreadable, std::vector<std::uint64_t>{8});  // told as it happens
    EXPECT_EQ(run.summary.outcome, ScanOutcome::Completed);
}

TEST(ScanEngine, AStopDuringTheChunkReReadsOfAFailedBlockEndsWithinOneChunk)
{
    // A whole block is unreadable, so every chunk read fails and no sector is ever tested: only
    // the check before each chunk can see the stop. It is asked for during the first chunk read.
    constexpr std::size_t kBlock = 256;
    auto volume = MakeVolumeBytes(4 * kBlock);
    PutAtSector(volume, 3 * kBlock, SignatureOf("PNG"));
    auto faulty = std::make_unique<FaultyVolumeSource>(std::make_unique<MemoryVolumeSource>(volume));
    faulty->FailSectors(kBlock, kBlock);
    FoundFileCatalogue catalogue;
    RecordingScanObserver observer;
    ScanEngine engine(catalogue, observer, ScanEngine::Options{kBlock});
    int readsOfTheBadBlock = 0;  // the block read itself, then one per chunk
    faulty->OnRead([&](std::uint64_t offset) {
        if (offset < kBlock * kSectorSize || offset >= 2 * kBlock * kSectorSize)
            return;
        if (++readsOfTheBadBlock == 2)
            engine.RequestStop();  // during the first chunk re-read
    });
    const ScanSummary summary = engine.Run(OpenerFor(faulty), Defaults());
    EXPECT_EQ(summary.outcome, ScanOutcome::Stopped);
    EXPECT_LE(readsOfTheBadBlock, 3);  // at most one more chunk after the one that saw the stop asked
    EXPECT_EQ(catalogue.FoundCount(), 0u);
}

TEST(ScanEngine, AShortLastReadTestsOnlyTheSectorsItRead)
{
    // The stale buffer must not produce ghost hits: sector 2 of the first block holds a JPEG
    // signature; the volume's last read returns 3 sectors, so buffer slots 3..7 hold old data.
    auto volume = MakeVolumeBytes(11);
    for (std::uint64_t s = 0; s < 8; ++s)
        PutAtSector(volume, s, SignatureOf("BMP"));
    ScanRun run;
    Scan(run, MemoryOpener(volume), Defaults(), 8);
    EXPECT_EQ(run.catalogue.FoundCount(), 8u);

    // The same with a device whose reads are cut short without an error.
    auto faulty = std::make_unique<FaultyVolumeSource>(std::make_unique<MemoryVolumeSource>(volume));
    faulty->LimitReadsTo(3 * 512);
    ScanRun shortRun;
    Scan(shortRun, OpenerFor(faulty), Defaults(), 8);
    EXPECT_EQ(shortRun.Sectors(), (std::vector<std::uint64_t>{0, 1, 2}));
}

TEST(ScanEngine, AVolumeThatCannotBeOpenedIsReportedNotScanned)
{
    ScanRun run;
    Scan(run, FailingOpener(OpenFailure::PermissionDenied, "/dev/sdz1: permission denied"));
    EXPECT_EQ(run.summary.outcome, ScanOutcome::VolumeUnavailable);
    EXPECT_EQ(run.summary.message, "/dev/sdz1: permission denied");
    ASSERT_EQ(run.observer.finished.size(), 1u);
    EXPECT_EQ(run.observer.finished[0].outcome, ScanOutcome::VolumeUnavailable);
    EXPECT_TRUE(run.observer.percents.empty());
}

TEST(ScanEngine, RunningOutOfMemoryStopsTheScanWithAMessage)
{
    auto volume = MakeVolumeBytes(64);
    for (std::uint64_t s = 0; s < 64; ++s)
        PutAtSector(volume, s, SignatureOf("GIF"));
    FoundFileCatalogue catalogue;
    catalogue.SetEntryLimit(10);
    RecordingScanObserver observer;
    ScanEngine engine(catalogue, observer);
    const ScanSummary summary = engine.Run(MemoryOpener(volume), Defaults());
    EXPECT_EQ(summary.outcome, ScanOutcome::OutOfMemory);
    EXPECT_EQ(catalogue.FoundCount(), 10u);
    EXPECT_NE(summary.message.find("memory"), std::string::npos);
}

TEST(ScanEngine, ProgressRisesSteadilyOnAVolumeAboveTenGibibytes)
{
    // 25 million sectors (12.8 GB): more than 2^31 / 100, where sector × 100 overflows 32 bits.
    const std::uint64_t sectors = 25'000'000;
    auto virtualVolume = std::make_unique<VirtualVolumeSource>(sectors * 512);
    virtualVolume->PlantSector(sectors - 1, SignatureOf("TIF"));       // byte offset above 2^32
    virtualVolume->PlantSector(4'294'967'296 / 512 + 7, SignatureOf("PNG"));
    ScanRun run;
    Scan(run, OpenerFor(virtualVolume));
    std::vector<int> expected;
    for (int p = 0; p < 100; ++p)
        expected.push_back(p);
    EXPECT_EQ(run.observer.percents, expected);
    EXPECT_EQ(run.Sectors(), (std::vector<std::uint64_t>{4'294'967'296 / 512 + 7, sectors - 1}));
}

TEST(ScanEngine, StartRunsOnItsOwnThreadAndStopEndsIt)
{
    // A large virtual volume keeps the scan busy until the stop comes.
    auto virtualVolume = std::make_unique<VirtualVolumeSource>(400'000'000ull * 512);
    virtualVolume->PlantSector(8, SignatureOf("GIF"));
    FoundFileCatalogue catalogue;
    RecordingScanObserver observer;
    std::promise<void> progressed;
    bool signalled = false;
    observer.onProgress = [&](int percent) {
        if (percent >= 1 && !signalled) {
            signalled = true;
            progressed.set_value();
        }
    };
    ScanEngine engine(catalogue, observer);
    engine.Start(OpenerFor(virtualVolume), Defaults());
    EXPECT_TRUE(engine.IsRunning());
    progressed.get_future().wait();
    engine.RequestStop();
    EXPECT_FALSE(engine.IsRunning());  // marked as not running at the moment of the request
    engine.Wait();
    ASSERT_EQ(observer.finished.size(), 1u);
    EXPECT_EQ(observer.finished[0].outcome, ScanOutcome::Stopped);
    EXPECT_EQ(catalogue.FoundCount(), 1u);
    EXPECT_LT(observer.percents.back(), 100);
}

TEST(ScanEngine, DestroyingTheEngineStopsARunningScan)
{
    // 8 GiB of zeros: a few seconds of scanning that the destructor must cut short, not wait out.
    auto virtualVolume = std::make_unique<VirtualVolumeSource>(16'000'000ull * 512);
    FoundFileCatalogue catalogue;
    RecordingScanObserver observer;
    std::promise<void> progressed;
    bool signalled = false;
    observer.onProgress = [&](int percent) {
        if (percent >= 1 && !signalled) {
            signalled = true;
            progressed.set_value();
        }
    };
    {
        ScanEngine engine(catalogue, observer);
        engine.Start(OpenerFor(virtualVolume), Defaults());
        progressed.get_future().wait();
    }
    ASSERT_EQ(observer.finished.size(), 1u);
    EXPECT_EQ(observer.finished[0].outcome, ScanOutcome::Stopped);
}

TEST(ScanEngine, ASecondStartWaitsForTheFirstScanAndStartsAfresh)
{
    auto volume = MakeVolumeBytes(64);
    PutAtSector(volume, 5, SignatureOf("BMP"));
    FoundFileCatalogue catalogue;
    RecordingScanObserver observer;
    ScanEngine engine(catalogue, observer);
    engine.Start(MemoryOpener(volume), Defaults());
    engine.Start(MemoryOpener(volume), Defaults());
    engine.Wait();
    EXPECT_EQ(catalogue.FoundCount(), 1u);
    EXPECT_EQ(catalogue.EntryAt(0).name, "FoundFileBMP1.BMP");
    EXPECT_EQ(observer.finished.size(), 2u);
}
