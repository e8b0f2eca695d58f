#include "FileVolumeSource.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvex {

namespace {

VolumeOpenResult Failure(OpenFailure failure, std::string message)
{
    VolumeOpenResult result;
    result.failure = failure;
    result.message = std::move(message);
    return result;
}

VolumeOpenResult FailureFromErrno(int error, const std::string& path)
{
    switch (error) {
    case ENOENT:
    case ENXIO:
    case ENODEV:
        return Failure(OpenFailure::NotFound, path + ": no such file or device");
    case EACCES:
    case EPERM:
        return Failure(OpenFailure::PermissionDenied,
                       path + ": permission denied (reading a raw device needs administrator "
                              "rights or membership of the 'disk' group; a disk image file needs none)");
    case ENOMEDIUM:
        return Failure(OpenFailure::EmptyVolume, path + ": no medium in the drive");
    default:
        return Failure(OpenFailure::Other, path + ": " + std::strerror(error));
    }
}

}  // namespace

VolumeOpenResult FileVolumeSource::Open(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return FailureFromErrno(errno, path);
    return FromDescriptor(UniqueFd(fd), path);
}

VolumeOpenResult FileVolumeSource::FromDescriptor(UniqueFd fd, const std::string& path)
{
    if (::fcntl(fd.Get(), F_GETFL) < 0)
        return FailureFromErrno(errno, path);
    if (!OpenedReadOnly(fd.Get()))
        return Failure(OpenFailure::Other, path + ": was opened for writing, so it is not read");

    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0)
        return FailureFromErrno(errno, path);

    std::uint64_t size = 0;
    if (S_ISBLK(info.st_mode)) {
        if (::ioctl(fd.Get(), BLKGETSIZE64, &size) != 0)
            return FailureFromErrno(errno, path);
    } else if (S_ISREG(info.st_mode)) {
        size = static_cast<std::uint64_t>(info.st_size);
    } else {
        return Failure(OpenFailure::NotAVolume, path + ": not a disk image file or a block device");
    }

    if (size == 0)
        return Failure(OpenFailure::EmptyVolume, path + ": the volume is empty (no medium?)");

    // The scan reads the volume once from start to end; let the kernel read ahead generously.
    ::posix_fadvise(fd.Get(), 0, 0, POSIX_FADV_SEQUENTIAL);

    VolumeOpenResult result;
    result.source.reset(new FileVolumeSource(fd.Release(), size));
    return result;
}

FileVolumeSource::~FileVolumeSource()
{
    ::close(fd_);
}

ReadOutcome FileVolumeSource::ReadAt(std::uint64_t offset, std::span<unsigned char> destination)
{
    ReadOutcome outcome;
    while (outcome.bytesRead < destination.size()) {
        const std::uint64_t position = offset + outcome.bytesRead;
        if (position < offset || position > static_cast<std::uint64_t>(INT64_MAX)) {
            outcome.error = EOVERFLOW;
            break;
        }
        const ssize_t n = ::pread(fd_, destination.data() + outcome.bytesRead,
                                  destination.size() - outcome.bytesRead, static_cast<off_t>(position));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            outcome.error = errno;
            break;
        }
        if (n == 0)
            break;  // end of the volume
        outcome.bytesRead += static_cast<std::size_t>(n);
    }
    return outcome;
}

VolumeOpener OpenerForPath(std::string path)
{
    return [path = std::move(path)] { return FileVolumeSource::Open(path); };
}

VolumeOpener OpenerForGrantedDevice(std::shared_ptr<const GrantedDevice> device)
{
    return [device = std::move(device)] {
        const int copy = ::fcntl(device->fd.Get(), F_DUPFD_CLOEXEC, 0);
        if (copy < 0)
            return FailureFromErrno(errno, device->path);
        return FileVolumeSource::FromDescriptor(UniqueFd(copy), device->path);
    };
}

}  // namespace quorvex
