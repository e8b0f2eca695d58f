#pragma once

#include "AccessReply.h"
#include "OpenHelperClient.h"
#include "UDisksClient.h"

#include <string>

namespace quorvex::access {

struct AccessOptions {
    UDisksOptions udisks;
    HelperOptions helper;
};

// The system bus, pkexec on PATH and the helper where it is installed (QUORVEX_OPEN_DEVICE_HELPER
// in the environment names another one, for tests of a build tree).
AccessOptions DefaultAccessOptions();

// Whether a device that `open` refused with EACCES or EPERM should be asked for: a block device
// (image files and anything else are never asked for).
bool IsBlockDevice(const std::string& path);

// Asks the system for a read-only descriptor of the block device at `devicePath`, without
// running anything of Quorvex's as administrator but the open helper: UDisks2 first (polkit asks
// the user), the helper through pkexec only when UDisks2 is not there. Blocks until answered.
AccessReply RequestReadAccess(const std::string& devicePath, const AccessOptions& options);

// How to read drives without asking each time, for a refusal's message (plain text).
std::string WaysToReadWithoutAsking();

}  // namespace quorvex::access
