#pragma once

#include "AccessReply.h"

#include <chrono>
#include <string>

namespace quorvex::access {

struct UDisksOptions {
    std::string busAddress;  // empty: the system bus
    // A password dialog may be open all that time.
    std::chrono::milliseconds timeout = std::chrono::minutes(5);
    bool interactive = true;  // polkit may ask the user (through the desktop's agent)
};

// Asks the system's disk service (UDisks2, org.freedesktop.UDisks2.Block.OpenForBackup) for a
// read-only descriptor of the block device at `devicePath`; polkit decides. A descriptor that
// comes back open for writing is closed and the request counted as failed.
AccessReply OpenThroughUDisks(const std::string& devicePath, const UDisksOptions& options);

}  // namespace quorvex::access
