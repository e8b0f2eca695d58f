#pragma once

#include "UniqueFd.h"
#include "VolumeSource.h"

#include <memory>
#include <string>

namespace quorvex {

// A block device (partition, whole disk, loop device) or a disk image file, opened read-only
// with open(O_RDONLY) and read with pread. The file descriptor is never opened for writing.
class FileVolumeSource final : public VolumeSource {
public:
    // Opens `path`. Block devices are sized with BLKGETSIZE64, regular files by their length.
    static VolumeOpenResult Open(const std::string& path);
    // Reads through `fd`, a descriptor opened elsewhere (handed over by the system's disk service
    // or by the open helper) and now owned by the source. `path` names it in messages. A
    // descriptor that could write is refused: the volume is only ever read.
    static VolumeOpenResult FromDescriptor(UniqueFd fd, const std::string& path);

    ~FileVolumeSource() override;
    FileVolumeSource(const FileVolumeSource&) = delete;
    FileVolumeSource& operator=(const FileVolumeSource&) = delete;

    std::uint64_t SizeBytes() const override { return sizeBytes_; }
    ReadOutcome ReadAt(std::uint64_t offset, std::span<unsigned char> destination) override;

private:
    FileVolumeSource(int fd, std::uint64_t sizeBytes) : fd_(fd), sizeBytes_(sizeBytes) {}

    int fd_;
    std::uint64_t sizeBytes_;
};

// An opener for the volume at `path`, for the workers that open it once per run.
VolumeOpener OpenerForPath(std::string path);

// A read-only descriptor of a device that this process could not open itself, granted once and
// kept while the device is in use; every run reads through a duplicate of it.
struct GrantedDevice {
    std::string path;
    UniqueFd fd;
};

// An opener that reads the granted device: each call duplicates its descriptor.
VolumeOpener OpenerForGrantedDevice(std::shared_ptr<const GrantedDevice> device);

}  // namespace quorvex
