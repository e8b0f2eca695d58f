#pragma once

#include "ByteSource.h"

#include <cstdint>
#include <string>

namespace quorvex {

// How a file system on the volume cuts its data area into clusters: a file's pieces start at
// dataStartByte + k × clusterBytes. Learned from the boot sector (FAT12/16/32, exFAT, NTFS), also
// behind an MBR or a GPT (its first partition). When nothing is learned, `learned` is false and
// clusterBytes is the smallest cluster that cards use (4 KiB); a file's own start then gives the
// alignment, since every file starts at a cluster.
struct ClusterGeometry {
    std::uint64_t clusterBytes = 4096;
    std::uint64_t dataStartByte = 0;
    bool learned = false;
    std::string fileSystem;  // "FAT12", "FAT16", "FAT32", "exFAT", "NTFS"; empty when not learned

    // The cluster grid for a file that starts at `fileStart`: the learned one when the file lies
    // on it, else 4 KiB steps from the file's start (a file on an earlier file system's grid).
    ClusterGeometry GridFor(std::uint64_t fileStart) const;
    // The first boundary of the grid at or after `offset`.
    std::uint64_t BoundaryAtOrAfter(std::uint64_t offset) const;
};

// Reads the boot sector at the volume's start (and at its first partition's) through `volume`,
// every field checked against the others; anything it does not understand gives the default.
ClusterGeometry LearnClusterGeometry(ByteSource& volume);

}  // namespace quorvex
