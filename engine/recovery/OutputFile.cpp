#include "OutputFile.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace quorvex {

OutputFile::OutputFile(OutputFile&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

OutputFile& OutputFile::operator=(OutputFile&& other) noexcept
{
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
}

int OutputFile::Create(const std::string& path)
{
    Close();
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    return fd_ < 0 ? errno : 0;
}

int OutputFile::Write(const void* data, std::size_t size)
{
    if (fd_ < 0)
        return EBADF;
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd_, bytes, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
    return 0;
}

int OutputFile::Close()
{
    if (fd_ < 0)
        return 0;
    const int result = ::close(fd_);
    fd_ = -1;
    return result == 0 ? 0 : errno;
}

}  // namespace quorvex
