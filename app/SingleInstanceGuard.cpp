#include "SingleInstanceGuard.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace quorvex::app {

SingleInstanceGuard::SingleInstanceGuard(std::string name)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    // A leading NUL puts the name in the abstract namespace: no file, gone with the process.
    const std::size_t length = std::min(name.size(), sizeof(address.sun_path) - 1);
    std::memcpy(address.sun_path + 1, name.data(), length);
    const auto size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + length);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), size) != 0) {
        ::close(fd);
        return;
    }
    fd_ = fd;
}

SingleInstanceGuard::~SingleInstanceGuard()
{
    if (fd_ >= 0)
        ::close(fd_);
}

}  // namespace quorvex::app
