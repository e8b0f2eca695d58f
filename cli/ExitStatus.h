#pragma once

namespace quorvex::cli {

// The exit statuses of quorvex-cli, as its help text lists them.
enum ExitStatus : int {
    kExitDone = 0,
    kExitBadUsage = 1,
    kExitSourceUnavailable = 2,
    kExitFilesNotWritten = 3,
    kExitOutOfMemory = 4,
    kExitInterrupted = 130,
};

}  // namespace quorvex::cli
