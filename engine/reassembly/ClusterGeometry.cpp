#include "ClusterGeometry.h"

#include <array>
#include <bit>
#include <cstring>
#include <optional>

namespace quorvex {

namespace {

using Sector = std::array<unsigned char, 512>;

std::uint32_t Le16(const unsigned char* p)
{
    return static_cast<std::uint32_t>(p[0] | p[1] << 8);
}

std::uint32_t Le32(const unsigned char* p)
{
    return Le16(p) | Le16(p + 2) << 16;
}

std::uint64_t Le64(const unsigned char* p)
{
    return Le32(p) | static_cast<std::uint64_t>(Le32(p + 4)) << 32;
}

bool ReadSector(ByteSource& volume, std::uint64_t offset, Sector& sector)
{
    return ReadExactly(volume, offset, sector);
}

bool IsPowerOfTwo(std::uint64_t n)
{
    return n != 0 && std::has_single_bit(n);
}

// A FAT boot sector: its BIOS parameter block, which also says which FAT it is (by the count of
// clusters, as the FAT itself is chosen).
std::optional<ClusterGeometry> FatGeometry(const Sector& s, std::uint64_t partitionStart)
{
    if (s[0] != 0xEB && s[0] != 0xE9)
        return std::nullopt;
    const std::uint32_t bytesPerSector = Le16(&s[11]);
    const std::uint32_t sectorsPerCluster = s[13];
    const std::uint32_t reserved = Le16(&s[14]);
    const std::uint32_t fats = s[16];
    const std::uint32_t rootEntries = Le16(&s[17]);
    const std::uint32_t total16 = Le16(&s[19]);
    const std::uint32_t fatSize16 = Le16(&s[22]);
    const std::uint32_t total32 = Le32(&s[32]);
    const std::uint32_t fatSize32 = Le32(&s[36]);
    if (bytesPerSector < 512 || bytesPerSector > 4096 || !IsPowerOfTwo(bytesPerSector) ||
        !IsPowerOfTwo(sectorsPerCluster) || sectorsPerCluster > 128 || reserved == 0 || fats == 0 || fats > 4)
        return std::nullopt;
    const std::uint64_t fatSize = fatSize16 != 0 ? fatSize16 : fatSize32;
    const std::uint64_t totalSectors = total16 != 0 ? total16 : total32;
    const std::uint64_t rootSectors = (rootEntries * 32ull + bytesPerSector - 1) / bytesPerSector;
    const std::uint64_t dataStart = reserved + fats * fatSize + rootSectors;
    if (fatSize == 0 || totalSectors <= dataStart || (fatSize16 == 0 && rootEntries != 0))
        return std::nullopt;
    const std::uint64_t clusters = (totalSectors - dataStart) / sectorsPerCluster;
    ClusterGeometry geometry;
    geometry.learned = true;
    geometry.clusterBytes = static_cast<std::uint64_t>(bytesPerSector) * sectorsPerCluster;
    geometry.dataStartByte = partitionStart + dataStart * bytesPerSector;
    // FAT32 keeps its FAT's size in the 32-bit field; the others are told apart by their size.
    geometry.fileSystem = fatSize16 == 0 ? "FAT32" : clusters < 4085 ? "FAT12" : "FAT16";
    return geometry;
}

std::optional<ClusterGeometry> ExfatGeometry(const Sector& s, std::uint64_t partitionStart)
{
    if (std::memcmp(&s[3], "EXFAT   ", 8) != 0)
        return std::nullopt;
    const unsigned sectorShift = s[108];
    const unsigned clusterShift = s[109];
    const std::uint32_t heapOffset = Le32(&s[88]);
    if (sectorShift < 9 || sectorShift > 12 || clusterShift > 25 - sectorShift || heapOffset == 0)
        return std::nullopt;
    ClusterGeometry geometry;
    geometry.learned = true;
    geometry.clusterBytes = 1ull << (sectorShift + clusterShift);
    geometry.dataStartByte = partitionStart + (static_cast<std::uint64_t>(heapOffset) << sectorShift);
    geometry.fileSystem = "exFAT";
    return geometry;
}

std::optional<ClusterGeometry> NtfsGeometry(const Sector& s, std::uint64_t partitionStart)
{
    if (std::memcmp(&s[3], "NTFS    ", 8) != 0)
        return std::nullopt;
    const std::uint32_t bytesPerSector = Le16(&s[11]);
    const std::uint8_t perCluster = s[13];
    if (bytesPerSector < 256 || bytesPerSector > 4096 || !IsPowerOfTwo(bytesPerSector))
        return std::nullopt;
    // Above 128 the figure is a negative power of two of bytes (clusters of 64 KiB and more).
    std::uint64_t clusterBytes;
    if (perCluster <= 128) {
        if (!IsPowerOfTwo(perCluster))
            return std::nullopt;
        clusterBytes = static_cast<std::uint64_t>(bytesPerSector) * perCluster;
    } else {
        const unsigned shift = 256u - perCluster;
        if (shift > 31)
            return std::nullopt;
        clusterBytes = 1ull << shift;
    }
    ClusterGeometry geometry;
    geometry.learned = true;
    geometry.clusterBytes = clusterBytes;
    geometry.dataStartByte = partitionStart;  // cluster 0 is the volume's first sector
    geometry.fileSystem = "NTFS";
    return geometry;
}

std::optional<ClusterGeometry> BootSectorGeometry(const Sector& s, std::uint64_t partitionStart)
{
    if (s[510] != 0x55 || s[511] != 0xAA)
        return std::nullopt;
    if (auto exfat = ExfatGeometry(s, partitionStart))
        return exfat;
    if (auto ntfs = NtfsGeometry(s, partitionStart))
        return ntfs;
    return FatGeometry(s, partitionStart);
}

// Where the first partition starts, from a GPT (protective MBR) or an MBR; nullopt when none.
std::optional<std::uint64_t> FirstPartitionStart(ByteSource& volume, const Sector& mbr)
{
    if (mbr[510] != 0x55 || mbr[511] != 0xAA)
        return std::nullopt;
    for (int e = 0; e < 4; ++e) {
        const unsigned char* entry = &mbr[446 + 16 * e];
        const std::uint8_t type = entry[4];
        const std::uint32_t first = Le32(entry + 8);
        if (type == 0 || first == 0 || (entry[0] != 0 && entry[0] != 0x80))
            continue;
        if (type != 0xEE)
            return static_cast<std::uint64_t>(first) * 512;
        Sector header;
        if (!ReadSector(volume, 512, header) || std::memcmp(header.data(), "EFI PART", 8) != 0)
            return std::nullopt;
        const std::uint64_t entries = Le64(&header[72]);
        const std::uint32_t entrySize = Le32(&header[84]);
        if (entrySize < 128 || entrySize > 512 || entries > volume.Size() / 512)
            return std::nullopt;
        Sector table;
        if (!ReadSector(volume, entries * 512, table))
            return std::nullopt;
        const std::uint64_t firstLba = Le64(&table[32]);
        if (firstLba == 0 || firstLba > volume.Size() / 512)
            return std::nullopt;
        return firstLba * 512;
    }
    return std::nullopt;
}

}  // namespace

ClusterGeometry ClusterGeometry::GridFor(std::uint64_t fileStart) const
{
    if (learned && fileStart >= dataStartByte && (fileStart - dataStartByte) % clusterBytes == 0)
        return *this;
    ClusterGeometry own;
    own.clusterBytes = 4096;
    own.dataStartByte = fileStart % own.clusterBytes;
    return own;
}

std::uint64_t ClusterGeometry::BoundaryAtOrAfter(std::uint64_t offset) const
{
    if (offset <= dataStartByte)
        return dataStartByte;
    const std::uint64_t into = (offset - dataStartByte) % clusterBytes;
    return into == 0 ? offset : offset + (clusterBytes - into);
}

ClusterGeometry LearnClusterGeometry(ByteSource& volume)
{
    Sector first;
    if (!ReadSector(volume, 0, first))
        return {};
    if (auto geometry = BootSectorGeometry(first, 0))
        return *geometry;
    const auto partition = FirstPartitionStart(volume, first);
    Sector boot;
    if (!partition || !ReadSector(volume, *partition, boot))
        return {};
    if (auto geometry = BootSectorGeometry(boot, *partition))
        return *geometry;
    return {};
}

}  // namespace quorvex
