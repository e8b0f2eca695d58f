#include "ScanCommand.h"

#include "DestinationCheck.h"
#include "ExitStatus.h"
#include "FileTypeInfo.h"
#include "FileVolumeSource.h"
#include "FoundFileSaver.h"
#include "Interrupt.h"
#include "ScanEngine.h"
#include "TerminalProgress.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>
#include <set>

namespace quorvex::cli {

namespace {

constexpr std::int64_t kDefaultMaxKb = 20480;

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reads a size figure: a whole number of KiB, 0 or more.
std::int64_t ParseFigure(const std::string& text, const std::string& argument)
{
    std::size_t used = 0;
    long long value = -1;
    try {
        value = std::stoll(text, &used, 10);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used == 0 || used != text.size() || value < 0)
        throw UsageError("--max-kb " + argument + ": the size must be a whole number of KiB, 0 or more");
    return value;
}

SelectedTypes BuildSelection(const ScanCommandOptions& options)
{
    if (options.prefix.empty())
        throw UsageError("Please provide prefix.");
    if (PrefixHasIllegalCharacter(options.prefix))
        throw UsageError("Illegal character found in file prefix. (--prefix must not contain any of " +
                         std::string(kIllegalPrefixCharacters) + ")");

    std::set<std::string> wanted;
    for (const std::string& token : options.types) {
        if (FindFileType(token) == nullptr)
            throw UsageError("--types: unknown type '" + token +
                             "' (known: JPG, BMP, TIF, PNG, GIF, RIFF, RAF, NEF, MRW, DCR, CRW)");
        wanted.insert(token);
    }

    std::int64_t figure = kDefaultMaxKb;
    std::map<std::string, std::int64_t> figureOf;
    for (const std::string& argument : options.maxKb) {
        const std::size_t equals = argument.find('=');
        if (equals == std::string::npos) {
            figure = ParseFigure(argument, argument);
            continue;
        }
        const std::string token = argument.substr(0, equals);
        if (FindFileType(token) == nullptr)
            throw UsageError("--max-kb " + argument + ": unknown type '" + token + "'");
        figureOf[token] = ParseFigure(argument.substr(equals + 1), argument);
    }

    // Types are always tried in the table's order, whatever order they were named in.
    std::vector<TypeSelection> entries;
    for (const FileTypeInfo& info : FileTypeTable()) {
        const std::string token(info.token);
        if (!wanted.empty() && !wanted.contains(token))
            continue;
        const auto own = figureOf.find(token);
        entries.push_back({token, options.prefix + token, own != figureOf.end() ? own->second : figure});
    }
    return SelectedTypes(std::move(entries));
}

class ScanProgressPrinter final : public ScanObserver {
public:
    ScanProgressPrinter(TerminalProgress& progress, const FoundFileCatalogue& catalogue)
        : progress_(progress), catalogue_(catalogue)
    {
    }
    void OnScanProgress(int percent) override
    {
        percent_ = percent;
        Show();
    }
    void OnUnreadableSectors(std::uint64_t total) override
    {
        unreadable_ = total;
        Show();
    }
    void OnTypeFound(const std::string&) override {}
    void OnScanFinished(const ScanSummary&) override { progress_.Clear(); }

private:
    void Show()
    {
        std::string detail = std::to_string(catalogue_.FoundCount()) + " found";
        if (unreadable_ > 0)
            detail += ", " + std::to_string(unreadable_) + " unreadable sectors skipped";
        progress_.Show("Scanning", percent_, detail);
    }

    TerminalProgress& progress_;
    const FoundFileCatalogue& catalogue_;
    int percent_ = 0;
    std::uint64_t unreadable_ = 0;
};

class SaveProgressPrinter final : public SaveObserver {
public:
    explicit SaveProgressPrinter(TerminalProgress& progress) : progress_(progress) {}
    void OnSaveProgress(int percent) override
    {
        percent_ = percent;
        progress_.Show("Saving", percent_, file_);
    }
    void OnFileStarted(const std::string& path) override
    {
        file_ = path;
        progress_.Show("Saving", percent_, file_);
    }
    void OnFileFailed(const std::string& path, const std::string& reason) override
    {
        progress_.Clear();
        std::cerr << "quorvex-cli: could not write " << path << ": " << reason << '\n';
    }

private:
    TerminalProgress& progress_;
    int percent_ = 0;
    std::string file_;
};

void PrintFoundFiles(const FoundFileCatalogue& catalogue, bool json)
{
    const bool exact = catalogue.Mode() == RecoveryMode::Exact;
    std::string out;
    catalogue.ForEachEntry([&](const FoundFileEntry& entry) {
        if (json) {
            nlohmann::ordered_json line;
            line["name"] = entry.name;
            line["token"] = entry.token;
            line["start_sector"] = entry.startSector;
            if (exact) {
                line["length"] = entry.lengthBytes;
                line["verdict"] = VerdictName(entry.verdict);
            }
            out += line.dump();
        } else {
            out.append(entry.name).append("\t").append(entry.token).append("\t").append(std::to_string(entry.startSector));
            if (exact)
                out.append("\t").append(std::to_string(entry.lengthBytes)).append("\t").append(VerdictName(entry.verdict));
        }
        out.push_back('\n');
        if (out.size() > (1 << 16)) {
            std::fwrite(out.data(), 1, out.size(), stdout);
            out.clear();
        }
    });
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
}

void PrintSummary(const FoundFileCatalogue& catalogue, const ScanSummary& scan, const SaveReport* save, bool json,
                  const std::optional<std::string>& outputFolder)
{
    const std::uint64_t unreadable = scan.unreadableSectors + (save ? save->unreadableSectors : 0);
    if (json) {
        nlohmann::ordered_json byType = nlohmann::ordered_json::object();
        for (const TypeSelection& type : catalogue.Selection().Entries())
            byType[type.token] = catalogue.CountOfType(type.token);
        nlohmann::ordered_json summary;
        summary["found"] = catalogue.FoundCount();
        summary["by_type"] = byType;
        summary["saved"] = save ? save->saved : 0;
        summary["failed"] = save ? save->failed : 0;
        summary["unreadable_sectors"] = unreadable;
        if (save && save->notSaved > 0) {
            summary["not_saved"] = save->notSaved;
            summary["bytes_still_needed"] = save->bytesStillNeeded;
        }
        // The described mode's summary stays as it always was, for the scripts that read it.
        if (catalogue.Mode() == RecoveryMode::Exact) {
            nlohmann::ordered_json byVerdict = nlohmann::ordered_json::object();
            for (const Verdict verdict : {Verdict::Complete, Verdict::Damaged, Verdict::Truncated})
                byVerdict[std::string(VerdictName(verdict))] = catalogue.CountOfVerdict(verdict);
            summary["by_verdict"] = byVerdict;
            summary["mode"] = "exact";
        }
        nlohmann::ordered_json line;
        line["summary"] = summary;
        std::cout << line.dump() << std::endl;
        return;
    }
    std::cerr << "Found " << catalogue.FoundCount() << (catalogue.FoundCount() == 1 ? " file" : " files");
    const char* separator = ": ";
    for (const TypeSelection& type : catalogue.Selection().Entries()) {
        if (const std::uint64_t count = catalogue.CountOfType(type.token); count > 0) {
            std::cerr << separator << type.token << ' ' << count;
            separator = ", ";
        }
    }
    std::cerr << ".\n";
    if (catalogue.Mode() == RecoveryMode::Exact && catalogue.FoundCount() > 0) {
        std::cerr << "Verdicts:";
        separator = " ";
        for (const Verdict verdict : {Verdict::Complete, Verdict::Damaged, Verdict::Truncated}) {
            std::cerr << separator << catalogue.CountOfVerdict(verdict) << ' ' << VerdictName(verdict);
            separator = ", ";
        }
        std::cerr << ".\n";
    }
    if (save && outputFolder) {
        std::cerr << "Saved " << save->saved << " into " << WithTrailingSeparator(*outputFolder) << kRecoveryFolderName
                  << "/";
        if (save->failed > 0)
            std::cerr << "; " << save->failed << " could not be written";
        std::cerr << ".\n";
        if (!save->partialFile.empty())
            std::cerr << "Stopped while writing " << save->partialFile << "; it holds only part of the file.\n";
        if (save->notSaved > 0) {
            std::cerr << (save->outcome == SaveOutcome::DiskFull ? "The destination is full: saved " : "Saved ")
                      << save->saved << " of " << save->saved + save->failed + save->notSaved << "; "
                      << save->notSaved << " not saved, and they need " << HumanSize(save->bytesStillNeeded)
                      << " more:";
            for (std::size_t i = 0; i < save->unsavedNames.size() && i < 10; ++i)
                std::cerr << ' ' << save->unsavedNames[i];
            std::cerr << (save->notSaved > 10 ? " ...\n" : "\n");
        }
    }
    if (unreadable > 0)
        std::cerr << unreadable << " sectors could not be read (skipped by the scan, written as zeros when saving).\n";
}

}  // namespace

int RunScanCommand(const ScanCommandOptions& options)
{
    SelectedTypes selection;
    try {
        selection = BuildSelection(options);
    } catch (const UsageError& error) {
        std::cerr << "quorvex-cli: " << error.what() << '\n';
        return kExitBadUsage;
    }

    // A destination that cannot take the files, or lies on the scanned card, is refused before
    // hours of scanning, not after.
    if (options.outputFolder) {
        if (const DestinationCheck check = CheckDestination(*options.outputFolder, options.source); !check.ok()) {
            std::cerr << "quorvex-cli: " << check.reason << '\n';
            return kExitSourceUnavailable;
        }
    }

    InterruptGuard interruptGuard;
    TerminalProgress progress(stderr);
    const VolumeOpener opener = OpenerForPath(options.source);

    FoundFileCatalogue catalogue;
    ScanProgressPrinter scanPrinter(progress, catalogue);
    ScanEngine engine(catalogue, scanPrinter);
    InterruptGuard::SetActiveJob(&engine);
    const ScanSummary scan =
        engine.Run(opener, std::move(selection), options.exact ? RecoveryMode::Exact : RecoveryMode::Described);
    InterruptGuard::SetActiveJob(nullptr);

    if (scan.outcome == ScanOutcome::VolumeUnavailable) {
        std::cerr << "quorvex-cli: cannot open " << scan.message << '\n';
        return kExitSourceUnavailable;
    }
    PrintFoundFiles(catalogue, options.json);
    if (scan.outcome == ScanOutcome::OutOfMemory)
        std::cerr << "quorvex-cli: " << scan.message << '\n';

    std::optional<SaveReport> save;
    const bool interrupted = InterruptGuard::Interrupted();
    if (options.outputFolder && !interrupted) {
        SaveProgressPrinter savePrinter(progress);
        FoundFileSaver saver(catalogue, savePrinter);
        const std::uint64_t needed = saver.SpaceNeeded();
        if (const auto free = FreeBytesAt(*options.outputFolder); free && needed > *free) {
            std::cerr << "quorvex-cli: the files need " << HumanSize(needed) << " but only " << HumanSize(*free)
                      << " are free in " << *options.outputFolder << "; saving as many as fit, in order.\n";
            saver.SetSpaceBudget(*free);
        }
        InterruptGuard::SetActiveJob(&saver);
        save = saver.SaveAll(opener, *options.outputFolder);
        InterruptGuard::SetActiveJob(nullptr);
        progress.Clear();
        if (save->outcome == SaveOutcome::VolumeUnavailable) {
            std::cerr << "quorvex-cli: cannot open " << save->message << '\n';
            return kExitSourceUnavailable;
        }
    }

    PrintSummary(catalogue, scan, save ? &*save : nullptr, options.json, options.outputFolder);
    if (InterruptGuard::Interrupted()) {
        std::cerr << "quorvex-cli: stopped by Ctrl-C\n";
        return kExitInterrupted;
    }
    if (save && save->failed > 0)
        return kExitFilesNotWritten;
    if (save && save->notSaved > 0)
        return kExitFilesNotWritten;
    if (scan.outcome == ScanOutcome::OutOfMemory)
        return kExitOutOfMemory;
    return kExitDone;
}

}  // namespace quorvex::cli
