// Finding volumes in a fake /sys/class/block tree laid out as the kernel lays it out.
#include "FakeSysfs.h"
#include "VolumeLister.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

using namespace quorvex;
namespace fs = std::filesystem;

namespace {

using quorvex::testing::FakeSysfs;

std::vector<std::string> Rows(const std::vector<VolumeDescription>& volumes)
{
    std::vector<std::string> rows;
    for (const auto& v : volumes)
        rows.push_back(v.RowText());
    return rows;
}

}  // namespace

TEST(VolumeLister, ListsPartitionsDisksWithoutPartitionsAndTheFloppyInNaturalOrder)
{
    FakeSysfs sys;
    sys.AddDisk("pci0/ata1", "sda", 1000000, 0);
    sys.AddPartition("pci0/ata1", "sda", "sda1", 2048);
    sys.AddPartition("pci0/ata1", "sda", "sda10", 4096);
    sys.AddPartition("pci0/ata1", "sda", "sda2", 8192);
    sys.AddDisk("pci0/usb1/1-1", "sdb", 64000, 0);  // a USB stick without a partition table
    sys.AddDisk("platform/mmc0", "mmcblk0", 0, 0);   // a card reader with no card
    sys.AddDisk("platform/floppy", "fd0", 2880, 1);
    sys.AddDisk("virtual", "sr0", 100, 1);
    sys.AddDisk("virtual", "ram0", 100, 0);
    sys.AddDisk("virtual", "zram0", 100, 0);
    sys.AddDisk("virtual", "loop0", 0, 0);  // no backing file
    sys.AddDisk("virtual", "loop1", 2048, 0);
    sys.AddDisk("virtual", "dm-0", 4096, 0);
    sys.AddDisk("pci0/nvme", "nvme0n1", 100000, 0);
    sys.AddPartition("pci0/nvme", "nvme0n1", "nvme0n1p1", 50000);

    const auto volumes = VolumeLister(sys.ClassBlock(), "/dev").List();
    EXPECT_EQ(Rows(volumes), (std::vector<std::string>{"Logical Disk(dm-0)", "3 1/2 Floppy(fd0)",
                                                        "Logical Disk(loop1)", "Removable Disk(mmcblk0)",
                                                        "Logical Disk(nvme0n1p1)", "Logical Disk(sda1)",
                                                        "Logical Disk(sda2)", "Logical Disk(sda10)",
                                                        "Removable Disk(sdb)"}));
    const auto sda1 = std::find_if(volumes.begin(), volumes.end(), [](auto& v) { return v.name == "sda1"; });
    EXPECT_EQ(sda1->path, "/dev/sda1");
    EXPECT_EQ(sda1->sizeBytes, 2048u * 512);
    const auto card = std::find_if(volumes.begin(), volumes.end(), [](auto& v) { return v.name == "mmcblk0"; });
    EXPECT_FALSE(card->sizeBytes.has_value());  // no medium: shown as not ready
}

TEST(VolumeLister, APartitionTakesTheRemovableFlagOfItsDisk)
{
    FakeSysfs sys;
    sys.AddDisk("pci0/ata2", "sdc", 100000, 1);
    sys.AddPartition("pci0/ata2", "sdc", "sdc1", 90000);
    sys.AddDisk("pci0/ata3", "sdd", 100000, 0);
    sys.AddPartition("pci0/ata3", "sdd", "sdd1", 90000);
    sys.AddDisk("platform/mmc0", "mmcblk0", 100000, 0);
    sys.AddPartition("platform/mmc0", "mmcblk0", "mmcblk0p1", 90000);
    EXPECT_EQ(Rows(VolumeLister(sys.ClassBlock(), "/dev").List()),
              (std::vector<std::string>{"Removable Disk(mmcblk0p1)", "Removable Disk(sdc1)", "Logical Disk(sdd1)"}));
}

TEST(VolumeLister, AMissingTreeListsNothing)
{
    EXPECT_TRUE(VolumeLister("/nonexistent/sys/class/block", "/dev").List().empty());
}

TEST(VolumeDescription, DiskImagesAreDescribedByTheirFileName)
{
    const VolumeDescription missing = DescribeDiskImage("/nonexistent/card.img");
    EXPECT_EQ(missing.RowText(), "Disk Image(card.img)");
    EXPECT_FALSE(missing.sizeBytes.has_value());
    EXPECT_STREQ(VolumeKindName(VolumeKind::DiskImage), "image");
}

TEST(NaturalNameLess, ComparesDigitRunsAsNumbers)
{
    EXPECT_TRUE(NaturalNameLess("sda2", "sda10"));
    EXPECT_FALSE(NaturalNameLess("sda10", "sda2"));
    EXPECT_TRUE(NaturalNameLess("sda", "sda1"));
    EXPECT_TRUE(NaturalNameLess("sda9", "sdb1"));
    EXPECT_FALSE(NaturalNameLess("sda1", "sda1"));
}
