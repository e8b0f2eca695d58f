// Reading sectors from image files and block-device-like sources, read-only and 64-bit clean.
#include "FaultyVolumeSource.h"
#include "FileVolumeSource.h"
#include "MemoryVolumeSource.h"
#include "TempFolder.h"
#include "VolumeReader.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using namespace quorvex;
using namespace quorvex::testing;
namespace fs = std::filesystem;

namespace {

void WriteAt(const fs::path& file, std::uint64_t offset, const std::string& text)
{
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, text.data(), text.size(), static_cast<off_t>(offset)), static_cast<ssize_t>(text.size()));
    ::close(fd);
}

}  // namespace

TEST(FileVolumeSource, ReadsAnImageAtOffsetsBeyondTwoGibibytes)
{
    TempFolder folder;
    const fs::path image = folder / "big.img";
    // A sparse 3 GiB image with marks in sectors whose byte offsets need more than 31 bits.
    const std::uint64_t sector = 5'000'001;  // offset 2'560'000'512
    WriteAt(image, sector * 512, "MARK-A");
    WriteAt(image, 3ull * 1024 * 1024 * 1024 - 512, "LAST" + std::string(508, '.'));

    VolumeReader reader;
    ASSERT_TRUE(reader.Open(OpenerForPath(image.string())).ok());
    EXPECT_EQ(reader.TotalSectors(), 3ull * 1024 * 1024 * 2);
    SectorBuffer buffer(8);
    SectorReadResult read = reader.ReadSectors(sector, 1, buffer);
    EXPECT_EQ(read.sectorsRead, 1u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer.Data()), 6), "MARK-A");

    // The last sector reads; a read that starts at the end reads nothing and reports the end.
    read = reader.ReadSectors(reader.TotalSectors() - 1, 8, buffer);
    EXPECT_EQ(read.sectorsRead, 1u);
    EXPECT_TRUE(read.ReachedEnd(8));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(buffer.Data()), 4), "LAST");
    read = reader.ReadSectors(reader.TotalSectors(), 8, buffer);
    EXPECT_EQ(read.sectorsRead, 0u);
    EXPECT_EQ(read.error, 0);
}

TEST(FileVolumeSource, DropsAPartialSectorAtTheEnd)
{
    TempFolder folder;
    const fs::path image = folder / "odd.img";
    WriteAt(image, 0, std::string(3 * 512 + 100, 'x'));
    VolumeReader reader;
    ASSERT_TRUE(reader.Open(OpenerForPath(image.string())).ok());
    EXPECT_EQ(reader.TotalSectors(), 3u);
    SectorBuffer buffer(8);
    const SectorReadResult read = reader.ReadSectors(0, 8, buffer);
    EXPECT_EQ(read.sectorsRead, 3u);  // the 100 bytes after them are no sector
    EXPECT_TRUE(read.ReachedEnd(8));
}

TEST(FileVolumeSource, OpenFailuresSayWhy)
{
    TempFolder folder;
    VolumeOpenResult result = FileVolumeSource::Open((folder / "missing.img").string());
    EXPECT_FALSE(result.ok());
    EXPECT_EQ(result.failure, OpenFailure::NotFound);
    EXPECT_NE(result.message.find("missing.img"), std::string::npos);

    fs::create_directory(folder / "dir");
    result = FileVolumeSource::Open((folder / "dir").string());
    EXPECT_EQ(result.failure, OpenFailure::NotAVolume);

    WriteAt(folder / "empty.img", 0, "");
    result = FileVolumeSource::Open((folder / "empty.img").string());
    EXPECT_EQ(result.failure, OpenFailure::EmptyVolume);
}

TEST(FileVolumeSource, NeverOpensTheVolumeForWriting)
{
    TempFolder folder;
    const fs::path image = folder / "ro.img";
    WriteAt(image, 0, std::string(4096, 'r'));
    ASSERT_EQ(::chmod(image.c_str(), 0444), 0);
    VolumeOpenResult result = FileVolumeSource::Open(image.string());
    ASSERT_TRUE(result.ok());
    // Every descriptor this process holds on the image is read-only.
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        if (fs::read_symlink(entry.path(), error) != image)
            continue;
        const int fd = std::stoi(entry.path().filename().string());
        EXPECT_EQ(::fcntl(fd, F_GETFL) & O_ACCMODE, O_RDONLY);
    }
}

TEST(VolumeReader, AReaderWithoutAVolumeFailsWithoutReading)
{
    VolumeReader reader;
    SectorBuffer buffer(8);
    EXPECT_FALSE(reader.IsOpen());
    EXPECT_EQ(reader.TotalSectors(), 0u);
    const SectorReadResult read = reader.ReadSectors(0, 8, buffer);
    EXPECT_EQ(read.sectorsRead, 0u);
    EXPECT_NE(read.error, 0);

    const OpenStatus failed = reader.Open(FailingOpener(OpenFailure::PermissionDenied, "no"));
    EXPECT_FALSE(reader.IsOpen());
    EXPECT_EQ(failed.failure, OpenFailure::PermissionDenied);
    EXPECT_NE(reader.ReadSectors(0, 1, buffer).error, 0);
}

TEST(VolumeReader, ReadsAtSectorNumbersAboveTwoToThe32)
{
    // A 3 TiB virtual volume: sector 2^32 + 5 is at byte (2^32 + 5) × 512.
    auto source = std::make_unique<VirtualVolumeSource>(3ull << 40);
    const std::uint64_t sector = (1ull << 32) + 5;
    source->PlantSector(sector, {'F', 'A', 'R'});
    VolumeReader reader(std::move(source));
    EXPECT_EQ(reader.TotalSectors(), (3ull << 40) / 512);
    SectorBuffer buffer(8);
    const SectorReadResult read = reader.ReadSectors(sector, 1, buffer);
    ASSERT_EQ(read.sectorsRead, 1u);
    EXPECT_EQ(buffer.Data()[0], 'F');
    EXPECT_EQ(buffer.Data()[2], 'R');
    // Sector numbers whose byte offset does not fit in 64 bits fail instead of wrapping.
    EXPECT_EQ(reader.ReadSectors(UINT64_MAX / 256, 1, buffer).error, EOVERFLOW);
}

TEST(VolumeReader, AFailedSectorEndsTheReadWithTheSectorsBeforeIt)
{
    auto faulty = std::make_unique<FaultyVolumeSource>(std::make_unique<MemoryVolumeSource>(MakeVolumeBytes(16, 7)));
    faulty->FailSector(5);
    VolumeReader reader(std::move(faulty));
    SectorBuffer buffer(8);
    const SectorReadResult read = reader.ReadSectors(0, 8, buffer);
    EXPECT_EQ(read.sectorsRead, 5u);
    EXPECT_EQ(read.error, EIO);
    EXPECT_FALSE(read.ReachedEnd(8));
    EXPECT_THROW(reader.ReadSectors(0, 9, buffer), std::out_of_range);
}
