// Imaging a failing card: the rescue map (ours and ddrescue's), the passes over bad areas, a
// stopped run resumed from its map, and a card that goes away.
#include "DiskImager.h"
#include "FaultyVolumeSource.h"
#include "MemoryVolumeSource.h"
#include "RescueMap.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>

using namespace quorvex;
using namespace quorvex::testing;

namespace {

using Block = RescueMap::Block;

// Sector n holds n % 251 + 1 in every byte.
std::vector<unsigned char> NumberedVolume(std::size_t sectors)
{
    std::vector<unsigned char> volume(sectors * kSectorSize);
    for (std::size_t s = 0; s < sectors; ++s)
        std::fill_n(volume.begin() + static_cast<std::ptrdiff_t>(s * kSectorSize), kSectorSize,
                    static_cast<unsigned char>(s % 251 + 1));
    return volume;
}

struct Recorder : ImagingObserver {
    std::vector<ImagingProgress> progress;
    void OnImagingProgress(const ImagingProgress& p) override { progress.push_back(p); }
};

// An opener for a faulty copy of `volume`, prepared by `prepare`; the reads it sees are kept.
struct Card {
    std::vector<unsigned char> volume;
    std::function<void(FaultyVolumeSource&)> prepare;
    std::vector<std::uint64_t> reads;

    VolumeOpener Opener()
    {
        return [this] {
            auto faulty = std::make_unique<FaultyVolumeSource>(std::make_unique<MemoryVolumeSource>(volume));
            faulty->OnRead([this](std::uint64_t offset) { reads.push_back(offset); });
            if (prepare)
                prepare(*faulty);
            VolumeOpenResult result;
            result.source = std::move(faulty);
            return result;
        };
    }
};

DiskImager::Options Small()
{
    DiskImager::Options options;
    options.copyBytes = 64 * kSectorSize;
    options.firstSkipBytes = 16 * kSectorSize;
    options.mapInterval = std::chrono::milliseconds(0);
    return options;
}

std::string ReadText(const std::filesystem::path& path)
{
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

// ---- the map

TEST(RescueMap, MarkingSplitsAndMergesBlocks)
{
    RescueMap map(1000);
    map.Mark(100, 50, '+');
    map.Mark(150, 50, '+');
    map.Mark(300, 10, '-');
    EXPECT_EQ(map.Blocks(), (std::vector<Block>{{0, 100, '?'}, {100, 100, '+'}, {200, 100, '?'}, {300, 10, '-'},
                                                {310, 690, '?'}}));
    map.Mark(0, 1000, '+');
    EXPECT_EQ(map.Blocks(), (std::vector<Block>{{0, 1000, '+'}}));
    map.Mark(990, 100, '/');  // cut at the end of the device
    EXPECT_EQ(map.Blocks(), (std::vector<Block>{{0, 990, '+'}, {990, 10, '/'}}));
    EXPECT_EQ(map.BytesWith('+'), 990u);
    EXPECT_EQ(map.NextWith('/', 995), (Block{995, 5, '/'}));
    EXPECT_EQ(map.NextWith('?'), std::nullopt);
}

TEST(RescueMap, ReadsWhatDdrescueWritesAndWritesWhatItReads)
{
    // As GNU ddrescue writes a map after an interrupted first pass.
    const std::string ddrescue =
        "# Mapfile. Created by GNU ddrescue version 1.27\n"
        "# Command line: ddrescue /dev/sdb card.img card.map\n"
        "# Start time:   2026-11-30 10:01:02\n"
        "# Current time: 2026-11-30 10:03:12\n"
        "# Copying non-tried blocks... Pass 1 (forwards)\n"
        "# current_pos  current_status  current_pass\n"
        "0x00120000     ?               1\n"
        "#      pos        size  status\n"
        "0x00000000  0x00100000  +\n"
        "0x00100000  0x00010000  *\n"
        "0x00110000  0x00000200  -\n"
        "0x00110200  0x00000E00  /\n"
        "0x00111000  0x0006F000  ?\n";
    std::string reason;
    const auto map = RescueMap::Parse(ddrescue, 0x00180000, &reason);
    ASSERT_TRUE(map) << reason;
    EXPECT_EQ(map->Blocks(), (std::vector<Block>{{0, 0x100000, '+'},
                                                 {0x100000, 0x10000, '*'},
                                                 {0x110000, 0x200, '-'},
                                                 {0x110200, 0xE00, '/'},
                                                 {0x111000, 0x6F000, '?'}}));
    EXPECT_EQ(map->CurrentProgress().position, 0x120000u);
    EXPECT_EQ(map->CurrentProgress().phase, '?');
    // Our text reads back to the same map; a map that stops early leaves the rest not tried.
    const auto again = RescueMap::Parse(map->Format(), 0x00180000, &reason);
    ASSERT_TRUE(again) << reason;
    EXPECT_EQ(again->Blocks(), map->Blocks());
    const auto shorter = RescueMap::Parse("0x0 + \n0x0 0x400 +\n", 0x1000, &reason);
    ASSERT_TRUE(shorter) << reason;
    EXPECT_EQ(shorter->Blocks(), (std::vector<Block>{{0, 0x400, '+'}, {0x400, 0xC00, '?'}}));
    // An old ddrescue's status line has no pass.
    EXPECT_TRUE(RescueMap::Parse("0x200 *\n0 512 +\n512 512 *\n", 1024, &reason)) << reason;
}

TEST(RescueMap, RefusesMapsThatAreNotMapsOrBelongToAnotherDevice)
{
    std::string reason;
    EXPECT_FALSE(RescueMap::Parse("", 4096, &reason));
    EXPECT_NE(reason.find("status line"), std::string::npos);
    EXPECT_FALSE(RescueMap::Parse("PNG image data, 640 x 480\n", 4096, &reason));
    EXPECT_FALSE(RescueMap::Parse("0 ?\n0 1024 +\n2048 1024 +\n", 4096, &reason));  // a gap
    EXPECT_NE(reason.find("line 3"), std::string::npos);
    EXPECT_FALSE(RescueMap::Parse("0 ?\n0 1024 +\n512 1024 +\n", 4096, &reason));  // an overlap
    EXPECT_FALSE(RescueMap::Parse("0 ?\n0 8192 +\n", 4096, &reason));  // a larger device
    EXPECT_NE(reason.find("another"), std::string::npos);
    EXPECT_FALSE(RescueMap::Parse("0 ?\n0 4096 x\n", 4096, &reason));  // an unknown status
    EXPECT_FALSE(RescueMap::Parse("0 ?\n0 0 +\n", 4096, &reason));     // an empty block
    EXPECT_FALSE(RescueMap::Parse("0 ?\n0 -4 +\n", 4096, &reason));
    EXPECT_FALSE(RescueMap::Parse("0 ??\n0 4096 +\n", 4096, &reason));  // a status of two letters
    EXPECT_NE(reason.find("status line"), std::string::npos);
}

// ---- imaging

TEST(DiskImager, BadAreasBecomeZerosAndTheMapListsExactlyThem)
{
    TempFolder folder;
    Card card{NumberedVolume(1000),
              [](FaultyVolumeSource& f) {
                  f.FailSectors(100, 3);
                  f.FailSector(500);
                  f.FailSectors(998, 2);
              },
              {}};
    Recorder progress;
    DiskImager imager(Small());
    const ImagingReport report =
        imager.Run(card.Opener(), (folder / "card.img").string(), (folder / "card.map").string(), progress);
    EXPECT_EQ(report.outcome, ImagingOutcome::SomeUnreadable);
    EXPECT_EQ(report.unreadableBytes, 6 * kSectorSize);
    EXPECT_EQ(report.rescuedBytes, 994 * kSectorSize);
    const auto image = ReadWholeFile(folder / "card.img");
    ASSERT_EQ(image.size(), card.volume.size());
    for (std::size_t s = 0; s < 1000; ++s) {
        const bool bad = (s >= 100 && s < 103) || s == 500 || s >= 998;
        EXPECT_EQ(image[s * kSectorSize + 7], bad ? 0 : card.volume[s * kSectorSize]) << "sector " << s;
    }
    std::string reason;
    const auto map = RescueMap::Parse(ReadText(folder / "card.map"), card.volume.size(), &reason);
    ASSERT_TRUE(map) << reason;
    std::vector<Block> bad;
    for (const Block& block : map->Blocks())
        if (block.status != '+')
            bad.push_back(block);
    EXPECT_EQ(bad, (std::vector<Block>{{100 * kSectorSize, 3 * kSectorSize, '-'},
                                       {500 * kSectorSize, kSectorSize, '-'},
                                       {998 * kSectorSize, 2 * kSectorSize, '-'}}));
    EXPECT_EQ(map->CurrentProgress().phase, '+');
    ASSERT_FALSE(progress.progress.empty());
    EXPECT_EQ(progress.progress.back().unreadableBytes, 6 * kSectorSize);
    EXPECT_EQ(progress.progress.back().pendingBytes, 0u);
}

TEST(DiskImager, LargeReadsGoOverTheGoodAreasFirstAndSectorReadsComeLast)
{
    // One bad sector, 300, in the block [256, 320): the first pass copies up to it, skips ahead
    // 16 sectors and goes on; the second pass reads the skipped [320, 336); only then are the
    // failed block's sectors read one by one, from both ends of [300, 320).
    TempFolder folder;
    Card card{NumberedVolume(1024), [](FaultyVolumeSource& f) { f.FailSector(300); }, {}};
    Recorder progress;
    DiskImager imager(Small());
    const ImagingReport report = imager.Run(card.Opener(), (folder / "card.img").string(), "", progress);
    EXPECT_EQ(report.unreadableBytes, kSectorSize);
    auto firstAt = [&](std::uint64_t sector) {
        return std::find(card.reads.begin(), card.reads.end(), sector * kSectorSize) - card.reads.begin();
    };
    const auto lastLargeRead = firstAt(960), skippedArea = firstAt(320), firstTrim = firstAt(319);
    ASSERT_LT(firstTrim, static_cast<std::ptrdiff_t>(card.reads.size()));
    EXPECT_LT(firstAt(336), lastLargeRead);  // the first pass skipped [320, 336)
    EXPECT_LT(lastLargeRead, skippedArea);
    EXPECT_LT(skippedArea, firstTrim);
    EXPECT_EQ(std::count(card.reads.begin(), card.reads.end(), 310 * kSectorSize), 1);  // each sector once
}

TEST(DiskImager, AStoppedRunResumesFromItsMapAndEndsWithTheSameImage)
{
    TempFolder folder;
    const auto imagePath = (folder / "card.img").string(), mapPath = (folder / "card.map").string();
    DiskImager imager(Small());
    Card first{NumberedVolume(2000), nullptr, {}};
    first.prepare = [&](FaultyVolumeSource& f) {
        f.FailSectors(700, 5);
        f.OnRead([&](std::uint64_t offset) {
            first.reads.push_back(offset);
            if (offset >= 1200 * kSectorSize)
                imager.RequestStop();
        });
    };
    Recorder progress;
    const ImagingReport stopped = imager.Run(first.Opener(), imagePath, mapPath, progress);
    EXPECT_EQ(stopped.outcome, ImagingOutcome::Stopped);
    EXPECT_FALSE(stopped.resumed);
    const std::string half = ReadText(mapPath);
    EXPECT_NE(half.find("?"), std::string::npos);

    Card second{NumberedVolume(2000), [](FaultyVolumeSource& f) { f.FailSectors(700, 5); }, {}};
    const ImagingReport resumed = imager.Run(second.Opener(), imagePath, mapPath, progress);
    EXPECT_TRUE(resumed.resumed);
    EXPECT_EQ(resumed.outcome, ImagingOutcome::SomeUnreadable);
    EXPECT_EQ(resumed.unreadableBytes, 5 * kSectorSize);
    // The second run never read what the first had already copied.
    std::string reason;
    const auto halfMap = RescueMap::Parse(half, second.volume.size(), &reason);
    ASSERT_TRUE(halfMap) << reason;
    for (std::uint64_t offset : second.reads) {
        for (const Block& block : halfMap->Blocks()) {
            if (block.status == '+') {
                EXPECT_FALSE(offset >= block.position && offset < block.position + block.size) << offset;
            }
        }
    }
    auto expected = second.volume;
    std::fill_n(expected.begin() + 700 * kSectorSize, 5 * kSectorSize, 0);
    EXPECT_TRUE(ReadWholeFile(imagePath) == expected);
}

TEST(DiskImager, GoesOnFromAMapDdrescueWrote)
{
    TempFolder folder;
    const auto imagePath = folder / "card.img";
    const auto mapPath = folder / "card.map";
    // ddrescue copied the first 64 KiB and stopped: the image holds them, the map says so.
    auto volume = NumberedVolume(512);
    {
        std::ofstream image(imagePath, std::ios::binary);
        image.write(reinterpret_cast<const char*>(volume.data()), 65536);
        std::ofstream(mapPath) << "# Mapfile. Created by GNU ddrescue version 1.27\n"
                                  "# current_pos  current_status  current_pass\n"
                                  "0x00010000     ?               1\n"
                                  "#      pos        size  status\n"
                                  "0x00000000  0x00010000  +\n"
                                  "0x00010000  0x00030000  ?\n";
    }
    Card card{volume, nullptr, {}};
    Recorder progress;
    const ImagingReport report = DiskImager(Small()).Run(card.Opener(), imagePath.string(), mapPath.string(), progress);
    EXPECT_EQ(report.outcome, ImagingOutcome::Complete);
    EXPECT_TRUE(report.resumed);
    EXPECT_GE(*std::min_element(card.reads.begin(), card.reads.end()), 65536u);
    EXPECT_TRUE(ReadWholeFile(imagePath) == volume);
}

TEST(DiskImager, ACardThatGoesAwayEndsTheRunWithItsMapSaved)
{
    TempFolder folder;
    const auto imagePath = (folder / "card.img").string(), mapPath = (folder / "card.map").string();
    Card gone{NumberedVolume(1000), [](FaultyVolumeSource& f) { f.GoneAfterReads(5); }, {}};
    Recorder progress;
    DiskImager imager(Small());
    const ImagingReport report = imager.Run(gone.Opener(), imagePath, mapPath, progress);
    EXPECT_EQ(report.outcome, ImagingOutcome::SourceUnavailable);
    EXPECT_EQ(report.rescuedBytes, 5 * 64 * kSectorSize);
    EXPECT_EQ(report.unreadableBytes, 0u);  // nothing is called bad because the card went away
    // Put back in, the card is imaged from where it went away.
    Card back{NumberedVolume(1000), nullptr, {}};
    EXPECT_EQ(imager.Run(back.Opener(), imagePath, mapPath, progress).outcome, ImagingOutcome::Complete);
    EXPECT_EQ(*std::min_element(back.reads.begin(), back.reads.end()), 5 * 64 * kSectorSize);
    EXPECT_TRUE(ReadWholeFile(imagePath) == back.volume);
}

TEST(DiskImager, RefusesToOverwriteAnImageItKnowsNothingOfOrAMapOfAnotherCard)
{
    TempFolder folder;
    const auto imagePath = (folder / "card.img").string(), mapPath = (folder / "card.map").string();
    std::ofstream(imagePath) << "photos of last summer";
    Card card{NumberedVolume(64), nullptr, {}};
    Recorder progress;
    DiskImager imager(Small());
    ImagingReport report = imager.Run(card.Opener(), imagePath, "", progress);
    EXPECT_EQ(report.outcome, ImagingOutcome::DestinationRefused);
    EXPECT_NE(report.message.find("exists already"), std::string::npos);
    EXPECT_EQ(ReadText(imagePath), "photos of last summer");
    EXPECT_TRUE(card.reads.empty());
    // Named with a map that is not there: still nothing says what the image holds.
    report = imager.Run(card.Opener(), imagePath, (folder / "other.map").string(), progress);
    EXPECT_EQ(report.outcome, ImagingOutcome::DestinationRefused);
    EXPECT_FALSE(std::filesystem::exists(folder / "other.map"));
    // A folder that is not there is refused before the card is read.
    report = imager.Run(card.Opener(), (folder / "missing" / "card.img").string(), "", progress);
    EXPECT_EQ(report.outcome, ImagingOutcome::DestinationRefused);
    EXPECT_NE(report.message.find("no such folder"), std::string::npos);
    EXPECT_TRUE(card.reads.empty());

    std::ofstream(mapPath) << "0 +\n0x0 0x100000 +\n";  // a map of a 1 MiB device
    report = imager.Run(card.Opener(), imagePath, mapPath, progress);
    EXPECT_EQ(report.outcome, ImagingOutcome::MapRefused);
    EXPECT_NE(report.message.find("another"), std::string::npos);
    EXPECT_EQ(ReadText(imagePath), "photos of last summer");

    std::filesystem::remove(imagePath);
    std::ofstream(mapPath) << "0 ?\n0x0 0x4000 +\n0x4000 0x4000 ?\n";  // its image is gone
    report = imager.Run(card.Opener(), imagePath, mapPath, progress);
    EXPECT_EQ(report.outcome, ImagingOutcome::MapRefused);
    EXPECT_FALSE(std::filesystem::exists(imagePath));
}

TEST(DiskImager, AMapThatCanNoLongerBeWrittenEndsTheRunAndSaysSo)
{
    TempFolder folder;
    const auto imagePath = (folder / "card.img").string(), mapPath = (folder / "card.map").string();
    // After the run has begun, something takes the map's name (a folder with a file in it), so
    // the new map cannot replace the old one.
    Card card{NumberedVolume(256), nullptr, {}};
    bool taken = false;
    card.prepare = [&](FaultyVolumeSource& source) {
        source.OnRead([&](std::uint64_t) {
            if (taken)
                return;
            taken = true;
            std::filesystem::remove(mapPath);
            std::filesystem::create_directory(mapPath);
            std::ofstream(mapPath + "/inside") << "x";
        });
    };
    Recorder progress;
    DiskImager imager(Small());
    const ImagingReport report = imager.Run(card.Opener(), imagePath, mapPath, progress);
    EXPECT_TRUE(taken);
    EXPECT_EQ(report.outcome, ImagingOutcome::ImageUnwritable);
    EXPECT_NE(report.message.find("map"), std::string::npos) << report.message;
    EXPECT_FALSE(std::filesystem::exists(mapPath + ".new"));  // no half-made map is left
}

TEST(DiskImager, ACardGoneOrAMapLostWhileBadAreasAreRetriedEndsTheRun)
{
    // Each later pass over the bad area (trimming '*', scraping '/') meets the card going away,
    // then the map's name taken; the run ends there and says why, and never calls itself done.
    struct PhaseWatcher : ImagingObserver {
        std::function<void(char)> onPhase;
        char last = 0;
        void OnImagingProgress(const ImagingProgress& p) override
        {
            if (p.phase != last)
                onPhase(last = p.phase);
        }
    };
    for (const char phase : {'*', '/'}) {
        for (const bool loseTheMap : {false, true}) {
            TempFolder folder;
            const auto imagePath = (folder / "card.img").string(), mapPath = (folder / "card.map").string();
            FaultyVolumeSource* live = nullptr;
            Card card{NumberedVolume(400), [&](FaultyVolumeSource& f) {
                          f.FailSectors(100, 40);
                          live = &f;
                      },
                      {}};
            bool met = false;
            std::size_t readsWhenGone = 0;
            PhaseWatcher watcher;
            watcher.onPhase = [&](char now) {
                if (now != phase || met)
                    return;
                met = true;
                if (loseTheMap) {
                    std::filesystem::remove(mapPath);
                    std::filesystem::create_directory(mapPath);
                    std::ofstream(mapPath + "/inside") << "x";
                } else {
                    live->GoneAfterReads(0);
                    readsWhenGone = card.reads.size();
                }
            };
            DiskImager::Options options = Small();
            options.progressInterval = std::chrono::milliseconds(0);  // every step reported
            DiskImager imager(options);
            const ImagingReport report = imager.Run(card.Opener(), imagePath, mapPath, watcher);
            EXPECT_TRUE(met) << phase;
            EXPECT_EQ(report.outcome, loseTheMap ? ImagingOutcome::ImageUnwritable : ImagingOutcome::SourceUnavailable)
                << phase << loseTheMap;
            if (!loseTheMap) {  // one read finds the card gone, and no later pass tries again
                EXPECT_EQ(card.reads.size() - readsWhenGone, 1u) << phase;
                // The map goes on from the pass that was cut short: it never says "finished".
                std::string reason;
                const auto map = RescueMap::Parse(ReadText(mapPath), 400 * kSectorSize, &reason);
                ASSERT_TRUE(map) << reason;
                EXPECT_NE(map->CurrentProgress().phase, '+');
            }
        }
    }
}
