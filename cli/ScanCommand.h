#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace quorvex::cli {

// How an exact recovery's photos are saved and listed.
struct PhotoOptions {
    bool nameByDate = false;      // saved as YYYY-MM-DD_HH-MM-SS.<TOKEN>, file times set to it
    bool skipDuplicates = false;  // copies of a saved file are left out
    // Files the card's file system names are saved under their folders and names on the card
    // (--keep-names, the default in exact recovery) or under their found names (--found-names).
    std::optional<bool> keepNames;
};

struct ScanCommandOptions {
    std::string source;                  // a block device or a disk image file
    std::vector<std::string> types;      // tokens; empty means all eleven
    std::string prefix = "FoundFile";
    std::vector<std::string> maxKb;      // "N" for every type or "TOKEN=N" for one
    std::optional<std::string> outputFolder;
    bool json = false;
    bool exact = false;                  // exact recovery: validated headers, real ends, verdicts
    std::optional<std::string> session;  // kept up to date as the scan goes; continued if it exists
    bool reassemble = true;              // exact recovery: search damaged photos for their pieces
    PhotoOptions photos;                 // exact recovery only
};

// Scans the source, prints every found file and, with an output folder, saves them all.
// Returns the exit status. Ctrl-C stops the scan or the save; files already saved stay. With a
// session file, a scan of the same source and options goes on where the last one stopped.
int RunScanCommand(const ScanCommandOptions& options);

struct ResultsCommandOptions {
    std::string session;
    std::vector<std::string> types;      // tokens; empty means every type the session holds
    std::optional<std::string> outputFolder;
    bool json = false;
    PhotoOptions photos;                 // for a session of an exact recovery only
};

// Lists the files a session holds (as scan prints them) and, with an output folder, saves them
// from the source without scanning again; the source must still be the card the session saw.
int RunResultsCommand(const ResultsCommandOptions& options);

}  // namespace quorvex::cli
