#pragma once

#include "ClusterGeometry.h"
#include "FoundFileCatalogue.h"
#include "VolumeReader.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>

namespace quorvex {

// How much a reassembly may look for.
struct ReassemblyLimits {
    bool enabled = true;
    std::chrono::milliseconds perFile{3000};   // one file's search
    std::chrono::milliseconds total{120000};   // all of them
    std::uint64_t searchBytes = 4ull << 20;    // how far past a break its continuation may lie
    std::size_t maxPieces = 8;
};

struct ReassemblyReport {
    std::uint64_t tried = 0;        // damaged JPEG and PNG files searched
    std::uint64_t reassembled = 0;  // of them, put back together
    std::uint64_t timedOut = 0;     // of them, given up when their own time ran out
    bool stopped = false;           // a stop request ended the reassembly
    bool outOfTime = false;         // the total time ran out before every file was searched
    ClusterGeometry geometry;       // the grid the pieces were looked for on
};

// After an exact scan: each damaged JPEG and PNG of the catalogue is searched for the pieces
// that make it whole; a file whose pieces are found, and whose bytes laid so then close and
// decode cleanly, becomes Reassembled. The rest stay as they were. Only the areas tested are
// read (through a cache). `progress` (may be empty) hears (files searched, files to search).
ReassemblyReport ReassembleFragments(VolumeReader& reader, FoundFileCatalogue& catalogue,
                                     const ReassemblyLimits& limits, const std::atomic<int>* stopRequested,
                                     const std::function<void(std::uint64_t, std::uint64_t)>& progress = {});

}  // namespace quorvex
