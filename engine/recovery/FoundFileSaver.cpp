#include "FoundFileSaver.h"

#include "CardPaths.h"

#include <cerrno>
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <cstring>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace quorvex {

bool CreateFolderPath(const std::string& path)
{
    for (std::size_t i = 1; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '/')
            ::mkdir(path.substr(0, i).c_str(), 0755);
    }
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string WithTrailingSeparator(std::string folder)
{
    if (folder.empty() || folder.back() != '/')
        folder.push_back('/');
    return folder;
}

std::uint64_t SpaceFor(std::uint64_t lengthBytes)
{
    constexpr std::uint64_t kBlock = 4096;
    return lengthBytes / kBlock * kBlock + (lengthBytes % kBlock != 0 ? kBlock : 0);
}

namespace {

// Saving by capture date, on a thread of its own beside the writing: reads the capture times of a
// save's files ahead of them (in the save's order; Get waits for the one asked for), and sets the
// times of the files written, so that naming by date costs the save little more than its writing.
class CaptureDating {
public:
    CaptureDating(const FoundFileCatalogue& catalogue, const VolumeOpener& opener, std::vector<std::uint64_t> indices,
                  const std::atomic<int>& stop)
        : times_(indices.size())
    {
        thread_ = std::thread([this, &catalogue, opener, indices = std::move(indices), &stop] {
            VolumeReader reader;
            const bool opened = reader.Open(opener).ok();
            std::size_t k = 0;
            for (;;) {
                SetWaitingTimes();
                if (k < indices.size() && !quit_.load() && !stop.load()) {
                    if (opened && indices[k] != UINT64_MAX)
                        times_[k] = ReadFoundFileMetadata(reader, catalogue, indices[k]).facts.captured;
                    ready_.store(++k, std::memory_order_release);
                    ready_.notify_all();
                    continue;
                }
                if (ready_.load() != SIZE_MAX) {
                    // All read (or stopped): every time not read stays unknown.
                    ready_.store(SIZE_MAX, std::memory_order_release);
                    ready_.notify_all();
                }
                std::unique_lock lock(mutex_);
                wake_.wait(lock, [&] { return quit_.load() || waiting_.size() >= kBatch; });
                if (quit_.load() && waiting_.empty())
                    return;
            }
        });
    }
    ~CaptureDating()
    {
        {
            const std::lock_guard lock(mutex_);
            quit_.store(true);  // the times of the files written are still set before the thread ends
        }
        wake_.notify_all();
        thread_.join();
    }
    // The capture time of the save's `k`-th file, once it has been read (nothing when the reader
    // ended before it, or it has none).
    std::optional<CaptureTime> Get(std::size_t k) const
    {
        for (std::size_t ready = ready_.load(std::memory_order_acquire); ready <= k;
             ready = ready_.load(std::memory_order_acquire))
            ready_.wait(ready, std::memory_order_acquire);
        return times_[k];
    }
    // Sets the access and modification times of the written file `path` (a file manager sorts by
    // them), soon; all of them before this object is gone.
    void SetTimesLater(std::string path, std::int64_t epochSeconds)
    {
        bool wake = false;
        {
            const std::lock_guard lock(mutex_);
            waiting_.emplace_back(std::move(path), epochSeconds);
            wake = waiting_.size() >= kBatch;
        }
        if (wake)
            wake_.notify_one();
    }

private:
    void SetWaitingTimes()
    {
        std::vector<std::pair<std::string, std::int64_t>> batch;
        {
            const std::lock_guard lock(mutex_);
            batch.swap(waiting_);
        }
        for (const auto& [path, seconds] : batch) {
            const timespec when{static_cast<time_t>(seconds), 0};
            const timespec times[2] = {when, when};
            ::utimensat(AT_FDCWD, path.c_str(), times, 0);
        }
    }

    static constexpr std::size_t kBatch = 32;  // files whose times wait before the thread is woken
    std::vector<std::optional<CaptureTime>> times_;
    std::atomic<std::size_t> ready_{0};  // times_[0, ready_) are read; SIZE_MAX once no more will be
    std::atomic<bool> quit_{false};
    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<std::pair<std::string, std::int64_t>> waiting_;  // guarded by mutex_
    std::thread thread_;
};

}  // namespace

struct FoundFileSaver::Run {
    VolumeReader reader;
    SectorBuffer buffer;
    std::string destination;  // with its trailing separator
    SaveReport report;
    int lastPercent = -1;
    std::uint64_t spent = 0;                  // SpaceFor of the files saved so far
    std::uint64_t firstUnsaved = UINT64_MAX;  // the position where saving ended early, if it did
    CaptureDateNames dateNames;
    SavedPaths savedPaths;                    // when saving under the card's names
    std::optional<CaptureDating> dating;      // when saving by capture date
    std::uint64_t position = 0;               // of the file being saved, in the save's order
};

namespace {

bool IsDiskFull(int error)
{
    return error == ENOSPC || error == EDQUOT;
}

}  // namespace

FoundFileSaver::FoundFileSaver(const FoundFileCatalogue& catalogue, SaveObserver& observer)
    : catalogue_(catalogue), observer_(observer)
{
}

template <typename ForEachChosen>
SaveReport FoundFileSaver::Save(const VolumeOpener& opener, const std::string& destinationFolder,
                                ForEachChosen&& forEachChosen)
{
    Run run;
    run.destination = WithTrailingSeparator(destinationFolder);
    const OpenStatus opened = run.reader.Open(opener);
    if (!opened.ok()) {
        run.report.outcome = SaveOutcome::VolumeUnavailable;
        run.report.message = opened.message;
        return run.report;
    }

    if (nameByCaptureDate_ && catalogue_.Mode() == RecoveryMode::Exact) {
        std::vector<std::uint64_t> indices;
        forEachChosen([&](std::uint64_t, std::uint64_t, const FoundFileEntry* entry) {
            indices.push_back(entry != nullptr ? entry->number - 1 : UINT64_MAX);
            return true;
        });
        run.dating.emplace(catalogue_, opener, std::move(indices), saveStopRequested_);
    }

    // forEachChosen calls back with (position, count, entry or null) and stops when told to.
    DuplicateSkipper skipper(duplicates_);
    forEachChosen([&](std::uint64_t position, std::uint64_t count, const FoundFileEntry* entry) {
        if (saveStopRequested_.load()) {
            run.report.outcome = SaveOutcome::Stopped;
            return false;
        }
        const auto percent = static_cast<int>(position * 100 / count);
        if (percent != run.lastPercent) {
            run.lastPercent = percent;
            observer_.OnSaveProgress(percent);
        }
        if (entry == nullptr)
            return true;
        if (skipper.Skips(entry->number - 1)) {
            ++run.report.skippedDuplicates;
            return true;
        }
        if (budget_ && run.spent + SpaceFor(entry->lengthBytes) > *budget_) {
            run.firstUnsaved = position;  // this one and all after it do not fit
            return false;
        }
        run.position = position;
        if (!SaveFoundFile(run, *entry)) {
            if (run.report.outcome == SaveOutcome::DiskFull)
                run.firstUnsaved = position;
            return false;
        }
        return true;
    });
    run.reader.Close();
    // Say what was not saved: the file the disk filled on, or that did not fit, and all after it.
    if (run.firstUnsaved != UINT64_MAX) {
        forEachChosen([&](std::uint64_t position, std::uint64_t, const FoundFileEntry* entry) {
            if (position < run.firstUnsaved || entry == nullptr)
                return true;
            if (position > run.firstUnsaved && skipper.Skips(entry->number - 1))
                return true;  // a copy of one that would be saved with the rest
            ++run.report.notSaved;
            run.report.bytesStillNeeded += SpaceFor(entry->lengthBytes);
            if (run.report.unsavedNames.size() < SaveReport::kMaxListedFailures)
                run.report.unsavedNames.push_back(entry->name);
            return true;
        });
    }
    return run.report;
}

SaveReport FoundFileSaver::SaveAll(const VolumeOpener& opener, const std::string& destinationFolder)
{
    return Save(opener, destinationFolder, [this](auto&& step) {
        const std::uint64_t count = catalogue_.FoundCount();
        for (std::uint64_t c = 0; c < count; ++c) {
            const FoundFileEntry entry = catalogue_.EntryAt(c);
            if (!step(c, count, &entry))
                return;
        }
    });
}

SaveReport FoundFileSaver::SaveSelected(const VolumeOpener& opener, const std::string& destinationFolder,
                                        const std::vector<std::string>& names)
{
    return Save(opener, destinationFolder, [&](auto&& step) {
        const std::uint64_t count = names.size();
        for (std::uint64_t i = 0; i < count; ++i) {
            const std::optional<FoundFileEntry> entry = catalogue_.FindByName(names[i]);
            if (!step(i, count, entry ? &*entry : nullptr))
                return;
        }
    });
}

std::uint64_t SpaceNeeded(const FoundFileCatalogue& catalogue, const DuplicateMap* skipped)
{
    DuplicateSkipper skipper(skipped);
    std::uint64_t total = 0;
    for (std::uint64_t i = 0; i < catalogue.FoundCount(); ++i)
        if (!skipper.Skips(i))
            total += SpaceFor(catalogue.LengthAt(i));
    return total;
}

std::uint64_t SpaceNeeded(const FoundFileCatalogue& catalogue, const std::vector<std::string>& names,
                          const DuplicateMap* skipped)
{
    DuplicateSkipper skipper(skipped);
    std::uint64_t total = 0;
    for (const std::string& name : names)
        if (const auto entry = catalogue.FindByName(name); entry && !skipper.Skips(entry->number - 1))
            total += SpaceFor(entry->lengthBytes);
    return total;
}

std::string CaptureDateNames::NameFor(const std::string& token, const CaptureTime& captured)
{
    const std::string stem = captured.FileStem();
    const unsigned use = ++uses_[token + "/" + stem];
    return use == 1 ? stem + "." + token : stem + "_" + std::to_string(use) + "." + token;
}

bool FoundFileSaver::SaveFoundFile(Run& run, const FoundFileEntry& entry)
{
    const std::optional<CaptureTime> captured =
        run.dating ? run.dating->Get(static_cast<std::size_t>(run.position)) : std::nullopt;
    // Below the recovery folder: by capture date, by the card's own name, or by the found name.
    std::string relative;
    bool cardNamed = false;
    if (captured) {
        relative = entry.token + "/" + run.dateNames.NameFor(entry.token, *captured);
    } else if (keepCardNames_ && entry.cardName) {
        if (const std::optional<std::string> safe = SafeCardPath(*entry.cardName)) {
            relative = run.savedPaths.Claim(*safe);
            cardNamed = true;
        }
    }
    if (relative.empty())
        relative = keepCardNames_ ? run.savedPaths.Claim(entry.token + "/" + entry.name) : entry.token + "/" + entry.name;
    const std::string path = run.destination + kRecoveryFolderName + "/" + relative;
    CreateFolderPath(path.substr(0, path.rfind('/')));
    observer_.OnFileStarted(path);

    // A file that cannot be written is removed (no empty or partial file is left named like a
    // found picture) and counted; the save goes on with the next one, unless the destination is
    // full: then it ends, and the files not saved are reported.
    auto fail = [&](int error, bool created) {
        if (created)
            ::unlink(path.c_str());
        if (IsDiskFull(error)) {
            run.report.outcome = SaveOutcome::DiskFull;
            observer_.OnFileFailed(path, std::strerror(error));
            return false;
        }
        ++run.report.failed;
        const std::string reason = std::strerror(error);
        if (run.report.failures.size() < SaveReport::kMaxListedFailures)
            run.report.failures.push_back({path, reason});
        observer_.OnFileFailed(path, reason);
        return true;
    };

    OutputFile output;
    if (const int error = output.Create(path); error != 0)
        return fail(error, false);

    const CopyResult copy =
        CopyFoundFile(run.reader, run.buffer, entry, output, &saveStopRequested_);
    run.report.unreadableSectors += copy.unreadableSectors;
    const int closeError = output.Close();

    switch (copy.status) {
    case CopyStatus::Stopped:
        run.report.outcome = SaveOutcome::Stopped;
        run.report.partialFile = path;
        return false;
    case CopyStatus::WriteFailed:
        return fail(copy.writeError, true);
    case CopyStatus::Complete:
        break;
    }
    if (closeError != 0)
        return fail(closeError, true);
    if (captured)
        run.dating->SetTimesLater(path, captured->LocalEpochSeconds());
    else if (cardNamed && entry.cardName->modified != 0) {
        const timespec times[2] = {{static_cast<time_t>(entry.cardName->modified), 0},
                                   {static_cast<time_t>(entry.cardName->modified), 0}};
        ::utimensat(AT_FDCWD, path.c_str(), times, 0);
    }
    ++run.report.saved;
    run.spent += SpaceFor(entry.lengthBytes);
    return true;
}

}  // namespace quorvex
