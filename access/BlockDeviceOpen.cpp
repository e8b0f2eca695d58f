#include "BlockDeviceOpen.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>

namespace quorvex::access {

namespace {

BlockOpenResult Refusal(BlockOpenFailure failure, int error, std::string message)
{
    BlockOpenResult result;
    result.failure = failure;
    result.error = error;
    result.message = std::move(message);
    return result;
}

}  // namespace

BlockOpenResult OpenBlockDeviceForReading(const std::string& path, const std::function<void()>& betweenCheckAndOpen)
{
    struct stat checked {};
    if (::stat(path.c_str(), &checked) != 0) {
        const int error = errno;
        return Refusal(BlockOpenFailure::NotFound, error, path + ": " + std::strerror(error));
    }
    if (!S_ISBLK(checked.st_mode))
        return Refusal(BlockOpenFailure::NotABlockDevice, 0, path + ": not a block device");

    if (betweenCheckAndOpen)
        betweenCheckAndOpen();

    // O_NONBLOCK: should the path have become a pipe meanwhile, the open must not wait for a writer.
    BlockOpenResult result;
    result.fd.Reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    if (!result.fd.Valid()) {
        const int error = errno;
        return Refusal(error == ENOENT ? BlockOpenFailure::NotFound : BlockOpenFailure::OpenFailed, error,
                       path + ": " + std::strerror(error));
    }
    struct stat opened {};
    if (::fstat(result.fd.Get(), &opened) != 0 || !S_ISBLK(opened.st_mode) || opened.st_rdev != checked.st_rdev)
        return Refusal(BlockOpenFailure::Changed, 0, path + ": changed while it was being opened");
    const int flags = ::fcntl(result.fd.Get(), F_GETFL);
    if (flags < 0 || ::fcntl(result.fd.Get(), F_SETFL, flags & ~O_NONBLOCK) != 0) {
        const int error = errno;
        return Refusal(BlockOpenFailure::OpenFailed, error, path + ": " + std::strerror(error));
    }
    return result;
}

}  // namespace quorvex::access
