#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace quorvex {

enum class VolumeKind { Fixed, Removable, Floppy, DiskImage };

// What the drive list shows for one volume: a plain value, not a handle. Opening the volume
// (FileVolumeSource::Open on `path`) is a separate step that may fail.
struct VolumeDescription {
    VolumeKind kind = VolumeKind::Fixed;
    std::string name;                      // device name (sdb1) or image file name (card.img)
    std::string path;                      // what to open: /dev/sdb1 or the image's path
    std::optional<std::uint64_t> sizeBytes;  // absent when the size cannot be read (no medium)

    // The drive list's row text: "Logical Disk(sda1)", "Removable Disk(sdb1)",
    // "3 1/2 Floppy(fd0)" or "Disk Image(card.img)".
    std::string RowText() const;
};

const char* VolumeKindName(VolumeKind kind);  // "fixed", "removable", "floppy", "image"

// The description of a disk image file; its size is absent when the file cannot be examined.
VolumeDescription DescribeDiskImage(const std::string& path);

}  // namespace quorvex
