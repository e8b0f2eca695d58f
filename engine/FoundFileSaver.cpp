#include "FoundFileSaver.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

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

struct FoundFileSaver::Run {
    VolumeReader reader;
    SectorBuffer buffer;
    std::string destination;  // with its trailing separator
    SaveReport report;
    int lastPercent = -1;
};

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

    // forEachChosen calls back with (position, count, entry or null) and stops when told to.
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
        return entry == nullptr || SaveFoundFile(run, *entry);
    });
    run.reader.Close();
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

bool FoundFileSaver::SaveFoundFile(Run& run, const FoundFileEntry& entry)
{
    const std::string folder = run.destination + kRecoveryFolderName + "/" + entry.token;
    CreateFolderPath(folder);
    const std::string path = folder + "/" + entry.name;
    observer_.OnFileStarted(path);

    auto fail = [&](int error) {
        ++run.report.failed;
        const std::string reason = std::strerror(error);
        if (run.report.failures.size() < SaveReport::kMaxListedFailures)
            run.report.failures.push_back({path, reason});
        observer_.OnFileFailed(path, reason);
        return true;  // the save goes on with the next file
    };

    OutputFile output;
    if (const int error = output.Create(path); error != 0)
        return fail(error);

    const CopyResult copy =
        CopyFileBytes(run.reader, run.buffer, entry.startSector, entry.lengthBytes, output, &saveStopRequested_);
    run.report.unreadableSectors += copy.unreadableSectors;
    const int closeError = output.Close();

    switch (copy.status) {
    case CopyStatus::Stopped:
        run.report.outcome = SaveOutcome::Stopped;
        run.report.partialFile = path;
        return false;
    case CopyStatus::WriteFailed:
        return fail(copy.writeError);
    case CopyStatus::Complete:
        break;
    }
    if (closeError != 0)
        return fail(closeError);
    ++run.report.saved;
    return true;
}

}  // namespace quorvex
