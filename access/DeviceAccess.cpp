#include "DeviceAccess.h"

#include <cstdlib>
#include <sys/stat.h>

#ifndef QUORVEX_OPEN_DEVICE_HELPER
#define QUORVEX_OPEN_DEVICE_HELPER "/usr/libexec/quorvex/quorvex-open-device"
#endif

namespace quorvex::access {

AccessOptions DefaultAccessOptions()
{
    AccessOptions options;
    const char* helper = std::getenv("QUORVEX_OPEN_DEVICE_HELPER");
    options.helper.helperPath = helper != nullptr && *helper != '\0' ? helper : QUORVEX_OPEN_DEVICE_HELPER;
    return options;
}

bool IsBlockDevice(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISBLK(info.st_mode);
}

AccessReply RequestReadAccess(const std::string& devicePath, const AccessOptions& options)
{
    AccessReply reply = OpenThroughUDisks(devicePath, options.udisks);
    if (reply.outcome != AccessOutcome::Unavailable)
        return reply;
    AccessReply helped = OpenThroughHelper(devicePath, options.helper);
    if (helped.outcome == AccessOutcome::Unavailable)
        helped.message = reply.message + ", and " + helped.message;
    return helped;
}

std::string WaysToReadWithoutAsking()
{
    return "To read drives without being asked, add your user to the 'disk' group (sudo adduser $USER disk, "
           "then log in again; members can also write to disks, so take care). Or copy the card once into "
           "an image file and scan the image: image files need no rights.";
}

}  // namespace quorvex::access
