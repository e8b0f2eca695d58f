#pragma once

#include "CardNaming.h"
#include "CheckingPipeline.h"
#include "FoundFileCatalogue.h"
#include "FoundFileVerdict.h"
#include "FragmentReassembler.h"
#include "ScanObserver.h"
#include "ScanSession.h"
#include "SectorBuffer.h"
#include "SectorRecogniser.h"
#include "Stoppable.h"
#include "TypeSelection.h"
#include "VolumeReader.h"

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

namespace quorvex {

// Reads a volume from its first sector to its last and records every sector at which a file of
// a selected type begins. The scan runs on its own thread (Start) or on the caller's (Run).
class ScanEngine final : public Stoppable {
public:
    // Sectors per read. A multiple of 8: when a read fails, the block is read again in chunks of
    // eight sectors, and only the chunks that fail are skipped.
    struct Options {
        std::size_t blockSectors = SectorBuffer::kDefaultSectorCount;
        // Exact recovery: the workers that decode found files beside the scan (0: one per core),
        // and the bytes of files queued for them before the scan waits.
        unsigned checkWorkers = 0;
        std::size_t pendingCheckBytes = 32u << 20;
        std::function<void(std::size_t)> beforeCheck = {};  // see CheckingPipeline::Options
        // Exact recovery: the card's file systems are read before the scan, and the files found
        // take the names, folders and times they still give (see CardNaming).
        bool readCardFileSystems = true;
    };

    ScanEngine(FoundFileCatalogue& catalogue, ScanObserver& observer);
    ScanEngine(FoundFileCatalogue& catalogue, ScanObserver& observer, Options options);
    // Asks a running scan to stop and waits for its thread.
    ~ScanEngine() override;

    ScanEngine(const ScanEngine&) = delete;
    ScanEngine& operator=(const ScanEngine&) = delete;

    // Empties the catalogue, hands it the selection and starts the scan thread. A scan that is
    // still running, or whose thread has not been waited for, is stopped and waited for first.
    void Start(VolumeOpener opener, SelectedTypes selection, RecoveryMode mode = RecoveryMode::Described);

    // The scan itself, on the calling thread: opens the volume, ScanVolume, then Finish.
    ScanSummary Run(const VolumeOpener& opener, SelectedTypes selection,
                    RecoveryMode mode = RecoveryMode::Described);

    // Goes on with a scan that stopped at `checkpoint`: the caller has put its selection, mode
    // and found files into the catalogue (from its session). The types already found are told
    // to the observer again, in the order they were first found.
    ScanSummary Resume(const VolumeOpener& opener, const ScanCheckpoint& checkpoint);
    void StartResume(VolumeOpener opener, ScanCheckpoint checkpoint);

    // Where the scan's checkpoints go (null: nowhere): at least every `interval` of scanning and
    // once when it ends, from the scan thread. Set before Start or Run.
    void SetCheckpointSink(ScanCheckpointSink* sink, std::chrono::milliseconds interval = std::chrono::seconds(5))
    {
        checkpointSink_ = sink;
        checkpointInterval_ = interval;
    }

    // How damaged files are searched for their pieces after a complete exact scan. Set before
    // Start or Run.
    void SetReassemblyLimits(const ReassemblyLimits& limits) { reassemblyLimits_ = limits; }

    // Asks the scan to stop at its next check (before each sector); does not wait.
    void RequestStop() noexcept override;

    // Waits until the scan thread has ended. Afterwards the catalogue may be read or cleared.
    void Wait();

    // True from Start until the scan ends or a stop is requested.
    bool IsRunning() const { return scanRunning_.load() != 0; }

private:
    // What the scan does after testing sectors or settling found files.
    enum class Flow {
        Go,          // on with the next sectors
        Reposition,  // on at nextToTest_: back into a file passed over as whole that is not, or
                     // forward again once its inside has been tested
        End,         // the scan ends (a stop, or no memory); the summary says why
    };
    // A file found and not in the catalogue yet: its check has not come back, or an earlier
    // file's has not.
    struct PendingFile {
        std::uint64_t sector = 0;
        RecognisedFile file;
    };

    // Opens the volume and scans it from `from` (a fresh scan: sector 0, nothing found yet).
    ScanSummary Execute(const VolumeOpener& opener, const ScanCheckpoint& from);
    ScanSummary ScanVolume(VolumeReader& reader, const ScanCheckpoint& from);
    void Checkpoint(const ScanSummary& summary, bool finished);
    void ReportCounts();
    // Tests the first `sectorCount` sectors of the buffer, which hold the volume from `firstSector`.
    Flow TestSectors(const SectorBuffer& buffer, std::uint64_t firstSector, std::size_t sectorCount,
                     ScanSummary& summary);
    // Takes a found file: into the catalogue at once when nothing is pending before it, else
    // after the files before it (its check and theirs queued in the pipeline).
    Flow TakeFound(std::uint64_t sector, RecognisedFile found, ScanSummary& summary);
    enum class Waiting {
        None,      // only the checks that have come back
        Every,     // every check, unless a stop comes
        Stopping,  // every check queued when the scan was stopped (a few MiB of files at most)
    };
    // Puts the pending files whose checks have come back into the catalogue, in found order,
    // waiting for checks as `waiting` says. A file passed over as whole that is not makes the
    // scan go back to test its inside (Reposition; see Detour).
    Flow SettlePending(ScanSummary& summary, Waiting waiting);
    Flow Record(std::uint64_t sector, const RecognisedFile& found, ScanSummary& summary);
    // Leaves out the files still pending when a scan ends early, and sets where it got to before them.
    void DropPending();
    // The inside of a file passed over as whole has been tested up to its end: the scan goes back
    // to where it was, keeping what it had found after the file, unless a file found inside
    // reaches past that end; then what was found after it is found again.
    Flow EndDetour();
    void AbandonDetour();
    // Every sector before it has its final answer: the first pending file, or where the scan is.
    std::uint64_t SettledTo() const { return pending_.empty() ? nextToTest_ : pending_.front().sector; }
    void ReportProgress(std::uint64_t sector, std::uint64_t totalSectors);
    // Tells the worker that searches damaged photos about the catalogue's entry at `index`.
    void TellMender(ReassemblyWorker& mender, std::uint64_t index) const;
    void Finish(ScanSummary& summary);

    FoundFileCatalogue& catalogue_;
    ScanObserver& observer_;
    Options options_;

    std::atomic<int> scanRunning_{0};
    std::atomic<int> scanStopRequested_{0};
    std::thread thread_;

    // State of the current run, touched by the scan thread only.
    SectorRecogniser* recogniser_ = nullptr;
    std::vector<bool> typeSeen_;
    std::vector<std::size_t> typesInOrder_;  // the types found, in the order of their first hit
    int lastPercent_ = -1;
    std::uint64_t resumeAt_ = 0;   // sectors before it were tested or lie inside a complete file
    std::uint64_t nextToTest_ = 0; // every sector before it has been tested (or passed over)
    std::unique_ptr<CheckingPipeline> pipeline_;  // exact recovery: decodes beside the scan
    std::deque<PendingFile> pending_;
    std::uint64_t settledResumeAt_ = 0;  // resumeAt_ as of the first pending file
    // After a file passed over as whole turned out not to be: the scan tests its inside, then
    // goes on from where it was when nothing found inside changes what came after.
    struct Detour {
        std::uint64_t end = 0;             // the first sector after the file
        std::uint64_t returnTo = 0;        // the first sector not tested when the scan went back
        std::uint64_t returnResumeAt = 0;  // resumeAt_ then
        std::deque<PendingFile> later;     // files found after the file, in order
    };
    std::optional<Detour> detour_;
    // Checks of files found again after an abandoned detour are not run twice: by start sector.
    std::map<std::uint64_t, std::shared_ptr<FileCheck>> reusableChecks_;
    std::uint64_t unreadableCountedTo_ = 0;  // chunks failing before it were counted already
    ReassemblyLimits reassemblyLimits_;
    ReassemblyWorker* mender_ = nullptr;  // exact recovery: searches damaged photos beside the scan
    std::optional<CardNaming> naming_;    // exact recovery: what the card's file systems remember
    VolumeReader* reader_ = nullptr;      // the scan's reader, while it runs
    ScanCheckpointSink* checkpointSink_ = nullptr;
    std::chrono::milliseconds checkpointInterval_{5000};
    std::chrono::steady_clock::time_point lastCheckpoint_{};
};

}  // namespace quorvex
