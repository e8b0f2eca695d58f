#pragma once

#include "VolumeSource.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quorvex {

enum class ScanOutcome {
    Completed,          // every sector was looked at
    Stopped,            // a stop was requested; what was found so far stays
    VolumeUnavailable,  // the volume could not be opened; nothing was read
    OutOfMemory,        // no memory for another found file; what was found so far stays
};

struct ScanSummary {
    ScanOutcome outcome = ScanOutcome::Completed;
    OpenFailure openFailure = OpenFailure::None;  // why the volume could not be opened
    std::uint64_t foundCount = 0;
    std::uint64_t totalSectors = 0;
    std::uint64_t unreadableSectors = 0;  // sectors skipped because the device failed to read them
    std::string message;                  // why the scan ended early, for the user; empty otherwise
    // Exact recovery, after a complete scan: damaged files put back together from their pieces,
    // and whether that search was cut short (by a stop or its time).
    std::uint64_t reassembled = 0;
    bool reassemblyCutShort = false;
};

// How many files of one type the scan has found so far.
struct TypeCount {
    std::string token;
    std::uint64_t count = 0;
    friend bool operator==(const TypeCount&, const TypeCount&) = default;
};

// How the scan tells its owner what happens. The calls come from the scan thread, in order; a
// GUI hands each one to its UI thread. No call is made once OnScanFinished has returned.
class ScanObserver {
public:
    virtual ~ScanObserver() = default;

    // The position in percent (0..100), sent only when it changes.
    virtual void OnScanProgress(int percent) = 0;
    // The first file of a type was found; types arrive in the order of their first hit.
    virtual void OnTypeFound(const std::string& token) = 0;
    // How many files of each type found so far (types in the order of their first hit), sent
    // with every progress report and once more before the scan finishes.
    virtual void OnFoundCounts(const std::vector<TypeCount>& /*counts*/) {}
    // Sectors the device could not read so far (skipped); sent when the count grows.
    virtual void OnUnreadableSectors(std::uint64_t /*total*/) {}
    // After a complete exact scan, damaged files are searched for their pieces: (searched, to
    // search), from (0, n) to (n, n) unless stopped.
    virtual void OnReassemblyProgress(std::uint64_t /*searched*/, std::uint64_t /*toSearch*/) {}
    // The scan has ended for any reason; the catalogue is complete.
    virtual void OnScanFinished(const ScanSummary& summary) = 0;
};

}  // namespace quorvex
