#pragma once

#include "VolumeDescription.h"

#include <filesystem>
#include <vector>

namespace quorvex {

// Finds the volumes a user may want to scan in the kernel's block device list: partitions, and
// disks that have no partitions (sd*, nvme*, mmcblk*, vd*, hd*, xvd*, dm-*, loop* with a backing
// file), and fd* as the floppy. Optical drives and RAM disks (sr*, ram*, zram*) are not listed.
// A disk is removable when its removable flag is set, or it is an MMC card or sits on USB.
class VolumeLister {
public:
    explicit VolumeLister(std::filesystem::path sysClassBlock = "/sys/class/block",
                          std::filesystem::path deviceFolder = "/dev");

    // The volumes in natural name order (sda, sda2, sda10, sdb1).
    std::vector<VolumeDescription> List() const;

private:
    std::filesystem::path sysClassBlock_;
    std::filesystem::path deviceFolder_;
};

// Orders names with their digit runs compared as numbers: sda2 < sda10.
bool NaturalNameLess(const std::string& a, const std::string& b);

}  // namespace quorvex
