// Copying a found file's extent: lengths, the end of the volume, unreadable sectors, stops.
#include "ExtentCopy.h"
#include "FaultyVolumeSource.h"
#include "MemoryVolumeSource.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <cerrno>

using namespace quorvex;
using namespace quorvex::testing;

namespace {

// A volume whose sector n is filled with the byte n % 251 + 1 (never 0).
std::vector<unsigned char> NumberedVolume(std::size_t sectors)
{
    auto volume = MakeVolumeBytes(sectors);
    for (std::size_t s = 0; s < sectors; ++s)
        std::fill_n(volume.begin() + static_cast<std::ptrdiff_t>(s * 512), 512, static_cast<unsigned char>(s % 251 + 1));
    return volume;
}

unsigned char SectorMark(const std::vector<unsigned char>& file, std::size_t sector) { return file[sector * 512]; }

struct Copy {
    TempFolder folder;
    std::vector<unsigned char> bytes;
    CopyResult result;

    void Run(VolumeReader& reader, std::uint64_t start, std::uint64_t count, std::size_t bufferSectors = 2048,
             const std::atomic<int>* stop = nullptr)
    {
        OutputFile out;
        ASSERT_EQ(out.Create((folder / "out.bin").string()), 0);
        SectorBuffer buffer(bufferSectors);
        result = CopyExtent(reader, buffer, start, count, out, stop);
        ASSERT_EQ(out.Close(), 0);
        bytes = ReadWholeFile(folder / "out.bin");
    }
};

}  // namespace

TEST(ExtentSectors, IsTwoSectorsPerKibibyteAndNothingForZeroOrLess)
{
    EXPECT_EQ(ExtentSectors(20480), 40960u);  // 20 MiB, as the column caption "Maximum Size (KB)" says
    EXPECT_EQ(ExtentSectors(1), 2u);
    EXPECT_EQ(ExtentSectors(0), 0u);
    EXPECT_EQ(ExtentSectors(-5), 0u);
    EXPECT_EQ(ExtentSectors(INT64_MAX), static_cast<std::uint64_t>(INT64_MAX) * 2);  // no wrap
}

TEST(CopyExtent, CopiesExactlyTheSectorsAskedForAcrossBlocks)
{
    VolumeReader reader(std::make_unique<MemoryVolumeSource>(NumberedVolume(100)));
    Copy copy;
    copy.Run(reader, 10, 37, 8);  // five blocks of 8, the last one partial
    ASSERT_EQ(copy.bytes.size(), 37u * 512);
    for (std::size_t i = 0; i < 37; ++i)
        EXPECT_EQ(SectorMark(copy.bytes, i), (10 + i) % 251 + 1) << i;
    EXPECT_EQ(copy.result.status, CopyStatus::Complete);
    EXPECT_EQ(copy.result.sectorsWritten, 37u);
}

TEST(CopyExtent, ZeroOrNoSectorsGiveAnEmptyFile)
{
    VolumeReader reader(std::make_unique<MemoryVolumeSource>(NumberedVolume(10)));
    Copy copy;
    copy.Run(reader, 3, ExtentSectors(0));
    EXPECT_TRUE(copy.bytes.empty());
    copy.Run(reader, 3, ExtentSectors(-20480));
    EXPECT_TRUE(copy.bytes.empty());
    EXPECT_EQ(copy.result.status, CopyStatus::Complete);
}

TEST(CopyExtent, RunsPastTheEndOfTheVolumeWithZerosAndKeepsItsFullLength)
{
    VolumeReader reader(std::make_unique<MemoryVolumeSource>(NumberedVolume(20)));
    Copy copy;
    copy.Run(reader, 16, 10, 8);
    ASSERT_EQ(copy.bytes.size(), 10u * 512);
    EXPECT_EQ(SectorMark(copy.bytes, 3), 19 % 251 + 1);
    for (std::size_t i = 4; i < 10; ++i)
        EXPECT_EQ(SectorMark(copy.bytes, i), 0) << i;
    EXPECT_EQ(copy.result.sectorsPastEnd, 6u);
    EXPECT_EQ(copy.result.unreadableSectors, 0u);
}

TEST(CopyExtent, UnreadableSectorsAreWrittenAsZerosAndCounted)
{
    auto faulty = std::make_unique<FaultyVolumeSource>(std::make_unique<MemoryVolumeSource>(NumberedVolume(64)));
    faulty->FailSector(12);
    faulty->FailSector(13);
    faulty->FailSector(30);
    VolumeReader reader(std::move(faulty));
    Copy copy;
    copy.Run(reader, 8, 32, 16);
    ASSERT_EQ(copy.bytes.size(), 32u * 512);
    EXPECT_EQ(SectorMark(copy.bytes, 3), 11 % 251 + 1);  // the sector before the bad one
    EXPECT_EQ(SectorMark(copy.bytes, 4), 0);             // not a repeat of sector 11
    EXPECT_EQ(SectorMark(copy.bytes, 5), 0);
    EXPECT_EQ(SectorMark(copy.bytes, 6), 14 % 251 + 1);  // reading goes on after it
    EXPECT_EQ(SectorMark(copy.bytes, 22), 0);
    EXPECT_EQ(SectorMark(copy.bytes, 31), 39 % 251 + 1);
    EXPECT_EQ(copy.result.unreadableSectors, 3u);
    EXPECT_EQ(copy.result.status, CopyStatus::Complete);
}

TEST(CopyExtent, TwoFilesFourSectorsApartOverlapInTheFirstCopy)
{
    auto volume = NumberedVolume(64);
    PutAtSector(volume, 8, SignatureOf("BMP"));
    PutAtSector(volume, 12, SignatureOf("GIF"));
    VolumeReader reader(std::make_unique<MemoryVolumeSource>(volume));
    Copy copy;
    copy.Run(reader, 8, 8);
    EXPECT_EQ(copy.bytes[4 * 512], 'G');
}

TEST(CopyExtent, ReadsSectorsBeyondTwoTebibytes)
{
    auto virtualVolume = std::make_unique<VirtualVolumeSource>(3ull << 40);
    const std::uint64_t start = (1ull << 32) + 100;
    virtualVolume->PlantSector(start + 1, {'F', 'A', 'R'});
    VolumeReader reader(std::move(virtualVolume));
    Copy copy;
    copy.Run(reader, start, 4);
    ASSERT_EQ(copy.bytes.size(), 4u * 512);
    EXPECT_EQ(copy.bytes[512], 'F');
    EXPECT_EQ(copy.bytes[0], 0);
}

TEST(CopyExtent, AStopKeepsWhatWasWrittenSoFar)
{
    std::atomic<int> stop{0};
    auto faulty = std::make_unique<FaultyVolumeSource>(std::make_unique<MemoryVolumeSource>(NumberedVolume(64)));
    int reads = 0;
    faulty->OnRead([&](std::uint64_t) {
        if (++reads == 3)
            stop.store(1);
    });
    VolumeReader reader(std::move(faulty));
    Copy copy;
    copy.Run(reader, 0, 64, 8, &stop);
    EXPECT_EQ(copy.result.status, CopyStatus::Stopped);
    EXPECT_EQ(copy.bytes.size(), 3u * 8 * 512);  // the third block was read before the stop was seen
    EXPECT_EQ(copy.result.sectorsWritten, 24u);
}

TEST(CopyExtent, AFullDiskEndsTheCopyWithTheWriteError)
{
    // /dev/full refuses every write with ENOSPC.
    VolumeReader reader(std::make_unique<MemoryVolumeSource>(NumberedVolume(16)));
    OutputFile out;
    ASSERT_EQ(out.Create("/dev/full"), 0);
    SectorBuffer buffer(8);
    const CopyResult result = CopyExtent(reader, buffer, 0, 16, out, nullptr);
    EXPECT_EQ(result.status, CopyStatus::WriteFailed);
    EXPECT_EQ(result.writeError, ENOSPC);
    EXPECT_EQ(result.sectorsWritten, 0u);
}
