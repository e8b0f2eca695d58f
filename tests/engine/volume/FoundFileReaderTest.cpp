// Reading a found file from the volume: its pieces laid end to end, reads that never leave the
// pieces, and zeros where the device gives nothing.
#include "FaultyVolumeSource.h"
#include "FoundFileReader.h"
#include "MemoryVolumeSource.h"

#include <gtest/gtest.h>

using namespace quorvex;
using namespace quorvex::testing;

namespace {

// Sector n holds the byte n % 251 + 1 everywhere.
std::vector<unsigned char> NumberedVolume(std::size_t sectors)
{
    std::vector<unsigned char> volume(sectors * kSectorSize);
    for (std::size_t s = 0; s < sectors; ++s)
        std::fill_n(volume.begin() + static_cast<std::ptrdiff_t>(s * kSectorSize), kSectorSize,
                    static_cast<unsigned char>(s % 251 + 1));
    return volume;
}

std::vector<unsigned char> ReadAll(FoundFileReader& file)
{
    std::vector<unsigned char> bytes(file.Size());
    EXPECT_EQ(file.ReadAt(0, bytes), bytes.size());
    return bytes;
}

}  // namespace

TEST(FoundFileReader, LaysThePiecesEndToEndAndNeverReadsOutsideThem)
{
    auto* memory = new MemoryVolumeSource(NumberedVolume(1000));
    VolumeReader reader{std::unique_ptr<VolumeSource>(memory)};
    // Three pieces: 300 sectors from 100, 2.5 sectors from 700, 1 byte from 40.
    FoundFileReader file(reader, {{100 * kSectorSize, 300 * kSectorSize}, {700 * kSectorSize, 1280}, {40 * kSectorSize, 1}});
    ASSERT_EQ(file.Size(), 300 * kSectorSize + 1280 + 1);
    const auto bytes = ReadAll(file);
    EXPECT_EQ(bytes[0], 101);
    EXPECT_EQ(bytes[300 * kSectorSize - 1], 399 % 251 + 1);  // the last byte of sector 399
    EXPECT_EQ(bytes[300 * kSectorSize], 700 % 251 + 1);
    EXPECT_EQ(bytes[300 * kSectorSize + 1279], 702 % 251 + 1);
    EXPECT_EQ(bytes.back(), 41);
    for (const auto& read : memory->Reads()) {
        const std::uint64_t first = read.offset / kSectorSize, end = (read.offset + read.length) / kSectorSize;
        const bool inside = (first >= 100 && end <= 400) || (first >= 700 && end <= 703) || (first == 40 && end == 41);
        EXPECT_TRUE(inside) << "read of sectors " << first << ".." << end;
    }
    // A read that starts in one piece and ends in the next; and reads at or past the end.
    std::vector<unsigned char> across(4);
    EXPECT_EQ(file.ReadAt(300 * kSectorSize - 2, across), 4u);
    EXPECT_EQ(across, (std::vector<unsigned char>{149, 149, 199, 199}));
    EXPECT_EQ(file.ReadAt(file.Size(), across), 0u);
    EXPECT_EQ(file.ReadAt(file.Size() - 1, across), 1u);
}

TEST(FoundFileReader, UnreadableSectorsAndThePastTheEndReadAsZeros)
{
    auto faulty = std::make_unique<FaultyVolumeSource>(std::make_unique<MemoryVolumeSource>(NumberedVolume(300)));
    faulty->FailSector(150);
    faulty->FailSector(151);
    VolumeReader reader{std::move(faulty)};
    FoundFileReader file(reader, {{100 * kSectorSize, 300 * kSectorSize}});  // runs 100 sectors past the end
    const auto bytes = ReadAll(file);
    EXPECT_EQ(bytes[49 * kSectorSize], 149 % 251 + 1);
    EXPECT_EQ(bytes[50 * kSectorSize], 0);
    EXPECT_EQ(bytes[51 * kSectorSize + 511], 0);
    EXPECT_EQ(bytes[52 * kSectorSize], 152 % 251 + 1);  // only the bad sectors are zeros
    EXPECT_EQ(bytes[199 * kSectorSize], 299 % 251 + 1);
    EXPECT_EQ(bytes[200 * kSectorSize], 0);  // past the end of the volume
    EXPECT_EQ(file.UnreadableSectors(), 2u);
}
