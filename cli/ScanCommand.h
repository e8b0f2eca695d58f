#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quorvex::cli {

struct ScanCommandOptions {
    std::string source;                  // a block device or a disk image file
    std::vector<std::string> types;      // tokens; empty means all eleven
    std::string prefix = "FoundFile";
    std::vector<std::string> maxKb;      // "N" for every type or "TOKEN=N" for one
    std::optional<std::string> outputFolder;
    bool json = false;
    bool exact = false;                  // exact recovery: validated headers, real ends, verdicts
};

// Scans the source, prints every found file and, with an output folder, saves them all.
// Returns the exit status. Ctrl-C stops the scan or the save; files already saved stay.
int RunScanCommand(const ScanCommandOptions& options);

}  // namespace quorvex::cli
