#include "VolumeDescription.h"

#include <filesystem>
#include <sys/stat.h>

namespace quorvex {

std::string VolumeDescription::RowText() const
{
    switch (kind) {
    case VolumeKind::Fixed:
        return "Logical Disk(" + name + ")";
    case VolumeKind::Removable:
        return "Removable Disk(" + name + ")";
    case VolumeKind::Floppy:
        return "3 1/2 Floppy(" + name + ")";
    case VolumeKind::DiskImage:
        return "Disk Image(" + name + ")";
    }
    return name;
}

const char* VolumeKindName(VolumeKind kind)
{
    switch (kind) {
    case VolumeKind::Fixed:
        return "fixed";
    case VolumeKind::Removable:
        return "removable";
    case VolumeKind::Floppy:
        return "floppy";
    case VolumeKind::DiskImage:
        return "image";
    }
    return "unknown";
}

VolumeDescription DescribeDiskImage(const std::string& path)
{
    VolumeDescription description;
    description.kind = VolumeKind::DiskImage;
    description.name = std::filesystem::path(path).filename().string();
    description.path = path;
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0)
        description.sizeBytes = static_cast<std::uint64_t>(info.st_size);
    return description;
}

}  // namespace quorvex
