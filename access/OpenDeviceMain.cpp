// quorvex-open-device DEVICE: run as root through pkexec, opens one block device read-only and
// hands the descriptor to the program that started it, over the Unix socket that is its standard
// output, then ends. It reads no byte of the device and takes no other input.
//
// Exit status: 0 sent; 1 bad usage (not one argument, or standard output is not a socket);
// 2 not a block device, or it changed while being opened; 3 nothing at that path; 4 the open
// failed; 5 the descriptor could not be sent.
#include "BlockDeviceOpen.h"
#include "DescriptorPassing.h"

#include <cstdio>
#include <sys/socket.h>
#include <sys/stat.h>

int main(int argc, char** argv)
{
    using namespace quorvex::access;
    if (argc != 2) {
        std::fprintf(stderr, "usage: quorvex-open-device DEVICE (standard output a Unix socket)\n");
        return 1;
    }
    struct stat out {};
    if (::fstat(STDOUT_FILENO, &out) != 0 || !S_ISSOCK(out.st_mode)) {
        std::fprintf(stderr, "quorvex-open-device: standard output must be a Unix socket\n");
        return 1;
    }
    const BlockOpenResult opened = OpenBlockDeviceForReading(argv[1]);
    if (opened.failure != BlockOpenFailure::None) {
        std::fprintf(stderr, "quorvex-open-device: %s\n", opened.message.c_str());
        return opened.failure == BlockOpenFailure::NotFound ? 3 : opened.failure == BlockOpenFailure::OpenFailed ? 4 : 2;
    }
    if (!SendDescriptor(STDOUT_FILENO, opened.fd.Get())) {
        std::perror("quorvex-open-device: sending the descriptor");
        return 5;
    }
    return 0;
}
