#pragma once

#include "DuplicateFinder.h"
#include "ExtentCopy.h"
#include "PhotoMetadata.h"
#include "FoundFileCatalogue.h"
#include "Stoppable.h"
#include "VolumeSource.h"

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace quorvex {

// How the save tells its owner what happens; calls come from the thread that runs the save.
class SaveObserver {
public:
    virtual ~SaveObserver() = default;
    // The position in percent (0..99), sent only when it changes; 100 is never sent.
    virtual void OnSaveProgress(int percent) = 0;
    // `path` is about to be written.
    virtual void OnFileStarted(const std::string& path) = 0;
    // `path` could not be created or written completely; the save goes on with the next file.
    virtual void OnFileFailed(const std::string& path, const std::string& reason) = 0;
};

enum class SaveOutcome {
    Completed,          // every chosen entry was attempted (or left out because it would not fit)
    Stopped,            // a stop was requested; files written so far stay, the last one partial
    VolumeUnavailable,  // the volume could not be opened; nothing was written, no folder made
    DiskFull,           // the destination filled up: the file being written was removed, no more
                        // were attempted
};

struct FailedFile {
    std::string path;
    std::string reason;
};

struct SaveReport {
    SaveOutcome outcome = SaveOutcome::Completed;
    std::uint64_t saved = 0;               // files written to their full length
    std::uint64_t failed = 0;              // files that could not be created or written
    std::uint64_t unreadableSectors = 0;   // written as zeros inside saved files
    std::uint64_t skippedDuplicates = 0;   // chosen copies of a file this save wrote
    std::string partialFile;               // the file a stop cut short, if any
    std::string message;                   // why the volume could not be opened
    std::vector<FailedFile> failures;      // the first kMaxListedFailures failed files
    // Chosen files not written because the destination is full, or because they would not fit
    // in the space the save was given; what they still need, and the first of their names.
    std::uint64_t notSaved = 0;
    std::uint64_t bytesStillNeeded = 0;
    std::vector<std::string> unsavedNames;

    static constexpr std::size_t kMaxListedFailures = 100;
};

// What a file of `lengthBytes` takes on a destination: whole 4 KiB blocks.
std::uint64_t SpaceFor(std::uint64_t lengthBytes);

// The space (SpaceFor each) that saving every entry of `catalogue`, or the named ones, needs;
// with `skipped`, the copies a save leaves out are not counted.
std::uint64_t SpaceNeeded(const FoundFileCatalogue& catalogue, const DuplicateMap* skipped = nullptr);
std::uint64_t SpaceNeeded(const FoundFileCatalogue& catalogue, const std::vector<std::string>& names,
                          const DuplicateMap* skipped = nullptr);

// The name a file saved by its capture date gets: YYYY-MM-DD_HH-MM-SS.<TOKEN>, and for the
// second, third, ... file of the same second and type in one save, _2, _3, ... before the dot.
class CaptureDateNames {
public:
    std::string NameFor(const std::string& token, const CaptureTime& captured);

private:
    std::unordered_map<std::string, unsigned> uses_;  // by "<TOKEN>/<stem>"
};

// The folder every file of a save goes into: <destination>/recoverd/<TOKEN>/<name>.
inline constexpr const char* kRecoveryFolderName = "recoverd";

// Creates every directory along `path`, from the left: for /a/b/c it tries /a, /a/b and /a/b/c.
// A directory that cannot be created (it exists, or no right) is passed over. Returns whether
// `path` is a directory afterwards.
bool CreateFolderPath(const std::string& path);

// `folder` with a "/" appended unless it ends in one.
std::string WithTrailingSeparator(std::string folder);

// Writes found files of a catalogue into a destination folder, one save per object. The catalogue
// must not change while a save runs (the scan has ended).
class FoundFileSaver final : public Stoppable {
public:
    FoundFileSaver(const FoundFileCatalogue& catalogue, SaveObserver& observer);

    // Every entry of the catalogue, in catalogue order.
    SaveReport SaveAll(const VolumeOpener& opener, const std::string& destinationFolder);

    // The entries with these names, in the order given; a name that matches no entry saves nothing.
    SaveReport SaveSelected(const VolumeOpener& opener, const std::string& destinationFolder,
                            const std::vector<std::string>& names);

    // Saves only as many files, in order, as fit in `bytes` of space; the rest are reported as
    // not saved. No budget: every chosen file is tried.
    void SetSpaceBudget(std::optional<std::uint64_t> bytes) { budget_ = bytes; }

    // Exact recovery: a file whose metadata gives its capture time is saved under that time
    // (CaptureDateNames) and its file times are set to it; a file without one keeps its name.
    void SetNameByCaptureDate(bool on) { nameByCaptureDate_ = on; }

    // Exact recovery: a file the card's file system names is saved as
    // <destination>/recoverd/<its folder on the card>/<its name> (SafeCardPath; a second file of
    // the same path gets _2, ...), its modification time set to the card's. Naming by capture date
    // still wins for a photo that has a capture date; files without a name keep their found names.
    void SetKeepCardNames(bool on) { keepCardNames_ = on; }

    // Leaves out each chosen copy of a file that this save writes (DuplicateSkipper); the map
    // must outlive the save. Null: every chosen file is written.
    void SetSkipDuplicates(const DuplicateMap* duplicates) { duplicates_ = duplicates; }

    // Asks the save to stop before its next sector block or entry; does not wait.
    void RequestStop() noexcept override { saveStopRequested_.store(1); }

private:
    struct Run;
    template <typename ForEachChosen>
    SaveReport Save(const VolumeOpener& opener, const std::string& destinationFolder, ForEachChosen&& forEachChosen);
    // Writes one entry. Returns false when the save must end (stop seen).
    bool SaveFoundFile(Run& run, const FoundFileEntry& entry);

    const FoundFileCatalogue& catalogue_;
    SaveObserver& observer_;
    std::atomic<int> saveStopRequested_{0};
    std::optional<std::uint64_t> budget_;
    bool nameByCaptureDate_ = false;
    bool keepCardNames_ = false;
    const DuplicateMap* duplicates_ = nullptr;
};

}  // namespace quorvex
