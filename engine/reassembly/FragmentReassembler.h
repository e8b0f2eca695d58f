#pragma once

#include "ClusterGeometry.h"
#include "FoundFileCatalogue.h"
#include "VolumeByteCache.h"
#include "VolumeReader.h"
#include "VolumeSource.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace quorvex {

// How much a reassembly may look for.
struct ReassemblyLimits {
    bool enabled = true;
    std::chrono::milliseconds perFile{3000};   // one file's search
    std::chrono::milliseconds total{120000};   // all of them
    std::uint64_t searchBytes = 3ull << 20;    // how far past a break its continuation may lie
    std::size_t maxPieces = 8;
    // Hears, for each file searched, the breaks found, the candidates tried and why each was
    // refused (may be empty; called from the searching threads, one line at a time).
    std::function<void(const std::string&)> trace;
};

struct ReassemblyReport {
    std::uint64_t tried = 0;        // damaged JPEG and PNG files searched
    std::uint64_t reassembled = 0;  // of them, put back together
    std::uint64_t timedOut = 0;     // of them, given up when their own time ran out
    bool stopped = false;           // a stop request ended the reassembly
    bool outOfTime = false;         // the total time ran out before every file was searched
    ClusterGeometry geometry;       // the grid the pieces were looked for on
};

// A damaged file to search for its pieces.
struct FileToMend {
    std::uint64_t index = 0;         // in the catalogue
    std::uint64_t start = 0;         // its first byte on the volume
    std::string token;               // JPG or PNG
    std::uint64_t maxFileBytes = 0;  // its type's Maximum Size, within the volume
};

// The catalogue's entry at `index` as a file to search.
FileToMend FileToMendAt(const FoundFileCatalogue& catalogue, std::uint64_t index);

// Whether the file's type is one whose pieces can be searched for.
bool CanBeMended(std::string_view token);

// The file's pieces (two or more) when they are found and the file laid from them closes and
// decodes cleanly; nullopt otherwise. `isTaken` says whether an offset lies in a file recovered
// whole, where no continuation lies.
std::optional<std::vector<ByteRange>> MendFile(VolumeByteCache& volume, const ClusterGeometry& geometry,
                                               const FileToMend& file, const ReassemblyLimits& limits,
                                               const std::function<bool(std::uint64_t)>& isTaken,
                                               const std::function<bool()>& giveUp);

// After an exact scan: each damaged JPEG and PNG of the catalogue is searched for the pieces
// that make it whole; a file whose pieces are found, and whose bytes laid so then close and
// decode cleanly, becomes Reassembled. The rest stay as they were. Only the areas tested are
// read (through a cache). `progress` (may be empty) hears (files searched, files to search).
ReassemblyReport ReassembleFragments(VolumeReader& reader, FoundFileCatalogue& catalogue,
                                     const ReassemblyLimits& limits, const std::atomic<int>* stopRequested,
                                     const std::function<void(std::uint64_t, std::uint64_t)>& progress = {});

// The same search beside a running scan, on a thread of its own with its own reads of the
// volume, so that a scan with damaged photos takes hardly longer: the scan thread tells it the
// files recovered whole and the damaged ones as it finds them, and how far it has scanned. A
// continuation is tested only once the scan has passed it (so that the whole files around it
// are known). The results go into the catalogue only at Finish, on the scan thread.
class ReassemblyWorker {
public:
    ReassemblyWorker(VolumeOpener opener, const ReassemblyLimits& limits, const std::atomic<int>* stopRequested);
    // Abandons what is left and waits for the thread.
    ~ReassemblyWorker();

    ReassemblyWorker(const ReassemblyWorker&) = delete;
    ReassemblyWorker& operator=(const ReassemblyWorker&) = delete;

    // From the scan thread, in the order of the volume.
    void AddWhole(const ByteRange& range);
    void AddDamaged(FileToMend file);
    void ScannedTo(std::uint64_t byteOffset);

    // From the scan thread once the scan is complete: searches what is left, beside the worker,
    // with the scan's `reader` (telling `progress` (searched, to search) as it goes), then marks
    // the files put back together in `catalogue`.
    ReassemblyReport Finish(VolumeReader& reader, FoundFileCatalogue& catalogue,
                            const std::function<void(std::uint64_t, std::uint64_t)>& progress);

private:
    void Run();
    // Takes the next queued file (waiting for one, or for the scan's end, when `wait`) and
    // searches it; false when there is none.
    bool SearchNext(VolumeByteCache& volume, const ClusterGeometry& geometry, bool wait);
    // Searches once more, on the calling thread, the files whose search failed while files put
    // back together after it were not yet known (their pieces may have been taken for another
    // file's continuation).
    void SearchFailedAgain(VolumeReader& reader, const std::function<void(std::uint64_t, std::uint64_t)>& progress);
    // Waits until the scan has passed `offset`, then says whether a whole file holds it.
    bool IsTaken(std::uint64_t offset);

    VolumeOpener opener_;
    ReassemblyLimits limits_;
    const std::atomic<int>* stopRequested_;
    std::atomic<int> abandon_{0};

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<FileToMend> queue_;
    std::vector<ByteRange> taken_;
    std::uint64_t scanned_ = 0;
    bool scanDone_ = false;
    std::uint64_t offered_ = 0;
    std::uint64_t searched_ = 0;
    std::chrono::steady_clock::duration spent_{};  // searching, by both threads
    std::vector<std::pair<std::uint64_t, std::vector<ByteRange>>> found_;
    // Files whose search failed (not for time or a stop), with how many files had been found by then.
    std::vector<std::pair<FileToMend, std::size_t>> failed_;
    ReassemblyReport report_;

    std::thread thread_;
};

}  // namespace quorvex
