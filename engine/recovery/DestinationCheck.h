#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace quorvex {

// Where the system says what its block devices are and what is mounted where. Tests point these
// at fake trees.
struct SystemTables {
    std::filesystem::path sysClassBlock = "/sys/class/block";
    std::filesystem::path mountInfo = "/proc/self/mountinfo";
};

enum class DestinationProblem {
    None,
    NotAFolder,    // a file (or something else) stands where the folder is, or on the way to it
    NotWritable,   // no right to write, or a read-only file system
    OnTheSource,   // the folder's file system lives on the device being recovered from
};

struct DestinationCheck {
    DestinationProblem problem = DestinationProblem::None;
    std::string reason;  // a sentence for the user when there is a problem

    bool ok() const { return problem == DestinationProblem::None; }
};

// Whether saved files may go into `folder` (an existing folder, or one that can be created):
// it must be writable (a file is created and removed to be sure), and its file system must not
// live on the scanned `source`: not the same block device, not a partition of the same disk, not
// a loop or mapped device built on it; for a disk image file, not a loop device whose backing
// file is the image. Saving next to an image on the image's own file system is fine.
DestinationCheck CheckDestination(const std::string& folder, const std::string& source,
                                  const SystemTables& tables = {});

// The sysfs name of the block device whose file system holds `path` (its nearest existing
// folder), as the mount table says, e.g. "sdb1"; nullopt when it is not on a block device.
std::optional<std::string> DeviceHoldingPath(const std::filesystem::path& path, const SystemTables& tables = {});

// Bytes free for an unprivileged writer on the file system of `path` (its nearest existing folder).
std::optional<std::uint64_t> FreeBytesAt(const std::filesystem::path& path);

}  // namespace quorvex
