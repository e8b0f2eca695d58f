#pragma once

#include "UniqueFd.h"

#include <functional>
#include <string>

namespace quorvex::access {

enum class BlockOpenFailure {
    None,
    NotFound,        // nothing at the path
    NotABlockDevice, // a regular file, a folder, a character device, a pipe...
    Changed,         // what was opened is not what was checked (the path was swapped meanwhile)
    OpenFailed,      // the open itself failed (errno in `error`)
};

struct BlockOpenResult {
    UniqueFd fd;
    BlockOpenFailure failure = BlockOpenFailure::None;
    int error = 0;
    std::string message;  // a sentence saying why, when there is no descriptor
};

// Opens the block device at `path` for reading only: a path that names anything but a block
// device (through a symbolic link too) is refused before it is opened, and the descriptor is
// checked again after the open, so a path swapped between the check and the open is refused as
// well. `betweenCheckAndOpen` runs between the two (tests swap the path there).
BlockOpenResult OpenBlockDeviceForReading(const std::string& path,
                                          const std::function<void()>& betweenCheckAndOpen = {});

}  // namespace quorvex::access
