#include "VolumeLister.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <fstream>
#include <string_view>

namespace quorvex {

namespace fs = std::filesystem;

namespace {

bool StartsWithAny(const std::string& name, std::initializer_list<std::string_view> prefixes)
{
    return std::any_of(prefixes.begin(), prefixes.end(),
                       [&](std::string_view prefix) { return name.starts_with(prefix); });
}

std::optional<std::uint64_t> ReadNumber(const fs::path& file)
{
    std::ifstream in(file);
    std::uint64_t value = 0;
    if (in >> value)
        return value;
    return std::nullopt;
}

bool IsPartition(const fs::path& entry)
{
    std::error_code error;
    return fs::exists(entry / "partition", error);
}

bool HasPartitions(const fs::path& disk)
{
    std::error_code error;
    for (const auto& child : fs::directory_iterator(disk, error))
        if (child.is_directory(error) && IsPartition(child.path()))
            return true;
    return false;
}

}  // namespace

bool NaturalNameLess(const std::string& a, const std::string& b)
{
    std::size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        const bool digitA = std::isdigit(static_cast<unsigned char>(a[i])) != 0;
        const bool digitB = std::isdigit(static_cast<unsigned char>(b[j])) != 0;
        if (digitA && digitB) {
            std::size_t endA = i, endB = j;
            while (endA < a.size() && std::isdigit(static_cast<unsigned char>(a[endA])))
                ++endA;
            while (endB < b.size() && std::isdigit(static_cast<unsigned char>(b[endB])))
                ++endB;
            // Compare the runs as numbers: strip leading zeros, then longer is larger.
            std::string_view runA(a.data() + i, endA - i), runB(b.data() + j, endB - j);
            runA.remove_prefix(std::min(runA.find_first_not_of('0'), runA.size()));
            runB.remove_prefix(std::min(runB.find_first_not_of('0'), runB.size()));
            if (runA.size() != runB.size())
                return runA.size() < runB.size();
            if (runA != runB)
                return runA < runB;
            i = endA;
            j = endB;
            continue;
        }
        if (a[i] != b[j])
            return a[i] < b[j];
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

VolumeLister::VolumeLister(fs::path sysClassBlock, fs::path deviceFolder)
    : sysClassBlock_(std::move(sysClassBlock)), deviceFolder_(std::move(deviceFolder))
{
}

std::vector<VolumeDescription> VolumeLister::List() const
{
    std::vector<VolumeDescription> volumes;
    std::error_code error;
    for (const auto& item : fs::directory_iterator(sysClassBlock_, error)) {
        const std::string name = item.path().filename().string();
        const bool floppy = name.starts_with("fd");
        if (!floppy && !StartsWithAny(name, {"sd", "nvme", "mmcblk", "vd", "hd", "xvd", "loop", "dm-"}))
            continue;

        const fs::path entry = item.path();
        const bool partition = IsPartition(entry);
        if (!partition && HasPartitions(entry))
            continue;  // the disk's partitions are listed instead

        const std::optional<std::uint64_t> sectors = ReadNumber(entry / "size");
        if (name.starts_with("loop") && sectors.value_or(0) == 0)
            continue;  // a loop device without a backing file

        // A partition's disk is the folder that holds it.
        const fs::path real = fs::canonical(entry, error);
        const fs::path disk = partition && !error ? real.parent_path() : (error ? entry : real);

        VolumeDescription volume;
        volume.name = name;
        volume.path = (deviceFolder_ / name).string();
        if (sectors.value_or(0) > 0)
            volume.sizeBytes = *sectors * 512;
        if (floppy)
            volume.kind = VolumeKind::Floppy;
        else if (ReadNumber(disk / "removable").value_or(0) != 0 || name.starts_with("mmcblk") ||
                 disk.string().find("/usb") != std::string::npos)
            volume.kind = VolumeKind::Removable;
        else
            volume.kind = VolumeKind::Fixed;
        volumes.push_back(std::move(volume));
    }
    std::sort(volumes.begin(), volumes.end(),
              [](const VolumeDescription& a, const VolumeDescription& b) { return NaturalNameLess(a.name, b.name); });
    return volumes;
}

}  // namespace quorvex
