#include "ScanCommand.h"

#include "DestinationCheck.h"
#include "DuplicateFinder.h"
#include "ExitStatus.h"
#include "FileTypeInfo.h"
#include "FileVolumeSource.h"
#include "FoundFileSaver.h"
#include "Interrupt.h"
#include "PhotoMetadata.h"
#include "ScanEngine.h"
#include "ScanSession.h"
#include "SourceAccess.h"
#include "TerminalProgress.h"

#include <atomic>
#include <csignal>
#include <filesystem>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <map>
#include <mutex>
#include <optional>
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

    const RecoveryMode mode = options.exact ? RecoveryMode::Exact : RecoveryMode::Described;
    // A type of the mode, or a usage error that says why not.
    auto typeOf = [mode](const std::string& token, const std::string& what) {
        if (FindFileType(token, mode) != nullptr)
            return;
        if (FindFileType(token, RecoveryMode::Exact) != nullptr)
            throw UsageError(what + ": " + token + " files are found only in exact recovery: add --exact");
        std::string known;
        for (const FileTypeInfo* info : TypesOf(mode))
            known += (known.empty() ? "" : ", ") + std::string(info->token);
        throw UsageError(what + ": unknown type '" + token + "' (known: " + known + ")");
    };
    std::set<std::string> wanted;
    for (const std::string& token : options.types) {
        typeOf(token, "--types");
        wanted.insert(token);
    }

    std::optional<std::int64_t> figure;  // the user's figure for every type
    std::map<std::string, std::int64_t> figureOf;
    for (const std::string& argument : options.maxKb) {
        const std::size_t equals = argument.find('=');
        if (equals == std::string::npos) {
            figure = ParseFigure(argument, argument);
            continue;
        }
        const std::string token = argument.substr(0, equals);
        typeOf(token, "--max-kb " + argument);
        figureOf[token] = ParseFigure(argument.substr(equals + 1), argument);
    }

    // Types are always tried in the table's order, whatever order they were named in. Videos and
    // raw files start with figures of their own, unless the user gave one for every type.
    std::vector<TypeSelection> entries;
    for (const FileTypeInfo* info : TypesOf(mode)) {
        const std::string token(info->token);
        if (!wanted.empty() && !wanted.contains(token))
            continue;
        std::int64_t own = figure.value_or(info->defaultMaxSizeKb != 0 ? info->defaultMaxSizeKb : kDefaultMaxKb);
        if (const auto named = figureOf.find(token); named != figureOf.end())
            own = named->second;
        entries.push_back({token, options.prefix + token, own});
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
    void OnReassemblyProgress(std::uint64_t searched, std::uint64_t toSearch) override
    {
        progress_.Show("Putting damaged photos back together", static_cast<int>(searched * 100 / std::max<std::uint64_t>(toSearch, 1)),
                       std::to_string(searched) + " of " + std::to_string(toSearch));
    }
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

// What an exact recovery's JSON lines say of the photos beyond where they lie: read from the
// source (when it could be opened) and the copies found among them.
struct PhotoDetails {
    VolumeReader* source = nullptr;
    const DuplicateMap* duplicates = nullptr;
};

// The folder a save into `outputFolder` writes everything below.
std::string RecoveryFolderIn(const std::string& outputFolder)
{
    return WithTrailingSeparator(outputFolder) + kRecoveryFolderName;
}

// A time the card gives (seconds since 1970, UTC) as YYYY-MM-DDTHH:MM:SS.
std::string UtcTimeText(std::int64_t seconds)
{
    const std::time_t time = static_cast<std::time_t>(seconds);
    std::tm parts{};
    char text[32] = "";
    if (::gmtime_r(&time, &parts) != nullptr)
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &parts);
    return text;
}

// Prints every found file, or only those of the `only` types when it is not empty.
void PrintFoundFiles(const FoundFileCatalogue& catalogue, bool json, const std::set<std::string>& only = {},
                     const PhotoDetails& details = {})
{
    const bool exact = catalogue.Mode() == RecoveryMode::Exact;
    std::string out;
    catalogue.ForEachEntry([&](const FoundFileEntry& entry) {
        if (!only.empty() && !only.contains(entry.token))
            return;
        if (json) {
            nlohmann::ordered_json line;
            line["name"] = entry.name;
            line["token"] = entry.token;
            line["start_sector"] = entry.startSector;
            if (exact) {
                line["length"] = entry.lengthBytes;
                line["verdict"] = VerdictName(entry.verdict);
                if (!entry.fragments.empty()) {
                    nlohmann::ordered_json fragments = nlohmann::ordered_json::array();
                    for (const ByteRange& piece : entry.fragments)
                        fragments.push_back({piece.offset, piece.length});
                    line["fragments"] = fragments;
                }
                const std::uint64_t index = entry.number - 1;
                if (details.source != nullptr && MetadataBytesOf(entry.token, entry.lengthBytes) > 0) {
                    const PhotoFacts facts = ReadFoundFileMetadata(*details.source, catalogue, index).facts;
                    if (facts.captured)
                        line["captured"] = facts.captured->Iso();
                    if (!facts.camera.empty())
                        line["camera"] = facts.camera;
                }
                if (details.duplicates != nullptr)
                    if (const auto original = details.duplicates->OriginalOf(index))
                        line["duplicate_of"] = catalogue.EntryAt(*original).name;
                if (entry.cardName) {
                    line["card_path"] = entry.cardName->Path();
                    line["card_state"] = entry.cardName->deleted ? "deleted" : "live";
                    if (entry.cardName->modified != 0)
                        line["card_modified"] = UtcTimeText(entry.cardName->modified);
                }
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
                  const std::optional<std::string>& outputFolder,
                  std::optional<std::uint64_t> resumedFrom = std::nullopt)
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
        if (save && save->skippedDuplicates > 0)
            summary["skipped_duplicates"] = save->skippedDuplicates;
        if (save && save->notSaved > 0) {
            summary["not_saved"] = save->notSaved;
            summary["bytes_still_needed"] = save->bytesStillNeeded;
        }
        if (resumedFrom)
            summary["resumed_from_sector"] = *resumedFrom;
        // The described mode's summary stays as it always was, for the scripts that read it.
        if (catalogue.Mode() == RecoveryMode::Exact) {
            nlohmann::ordered_json byVerdict = nlohmann::ordered_json::object();
            for (const Verdict verdict : {Verdict::Complete, Verdict::Reassembled, Verdict::Damaged, Verdict::Truncated})
                byVerdict[std::string(VerdictName(verdict))] = catalogue.CountOfVerdict(verdict);
            summary["by_verdict"] = byVerdict;
            summary["mode"] = "exact";
            if (scan.reassemblyCutShort)
                summary["reassembly_cut_short"] = true;
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
        for (const Verdict verdict : {Verdict::Complete, Verdict::Reassembled, Verdict::Damaged, Verdict::Truncated}) {
            std::cerr << separator << catalogue.CountOfVerdict(verdict) << ' ' << VerdictName(verdict);
            separator = ", ";
        }
        std::cerr << ".\n";
        if (scan.reassemblyCutShort)
            std::cerr << "The search for the pieces of damaged photos was cut short (stopped, or out of time): some "
                         "may still be damaged that could be put back together.\n";
    }
    if (save && outputFolder) {
        std::cerr << "Saved " << save->saved << " into " << RecoveryFolderIn(*outputFolder)
                  << "/";
        if (save->failed > 0)
            std::cerr << "; " << save->failed << " could not be written";
        std::cerr << ".\n";
        if (save->skippedDuplicates > 0)
            std::cerr << "Left out " << save->skippedDuplicates
                      << (save->skippedDuplicates == 1 ? " copy" : " copies") << " of files saved.\n";
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

// Saves the found files (every one, or those named) into `folder`, fitting them into its free
// space, with progress on stderr; Ctrl-C stops it.
SaveReport SaveFoundFiles(const FoundFileCatalogue& catalogue, const VolumeOpener& opener, const std::string& folder,
                          const std::vector<std::string>* names, TerminalProgress& progress,
                          const PhotoOptions& photos, const DuplicateMap* duplicates)
{
    SaveProgressPrinter savePrinter(progress);
    FoundFileSaver saver(catalogue, savePrinter);
    saver.SetNameByCaptureDate(photos.nameByDate);
    saver.SetKeepCardNames(catalogue.Mode() == RecoveryMode::Exact && photos.keepNames.value_or(true));
    const DuplicateMap* skipped = photos.skipDuplicates ? duplicates : nullptr;
    saver.SetSkipDuplicates(skipped);
    const std::uint64_t needed = names ? SpaceNeeded(catalogue, *names, skipped) : SpaceNeeded(catalogue, skipped);
    if (const auto free = FreeBytesAt(folder); free && needed > *free) {
        std::cerr << "quorvex-cli: the files need " << HumanSize(needed) << " but only " << HumanSize(*free)
                  << " are free in " << folder << "; saving as many as fit, in order.\n";
        saver.SetSpaceBudget(*free);
    }
    InterruptGuard::SetActiveJob(&saver);
    SaveReport report = names ? saver.SaveSelected(opener, folder, *names) : saver.SaveAll(opener, folder);
    InterruptGuard::SetActiveJob(nullptr);
    progress.Clear();
    return report;
}

int ExitStatusOf(const ScanSummary& scan, const std::optional<SaveReport>& save)
{
    if (InterruptGuard::Interrupted()) {
        std::cerr << "quorvex-cli: stopped by Ctrl-C\n";
        return kExitInterrupted;
    }
    if (save && (save->failed > 0 || save->notSaved > 0))
        return kExitFilesNotWritten;
    if (scan.outcome == ScanOutcome::OutOfMemory)
        return kExitOutOfMemory;
    return kExitDone;
}

SourceIdentity IdentifyPath(const std::string& path, const VolumeOpener& opener, OpenStatus& status)
{
    VolumeReader reader;
    status = reader.Open(opener);
    return status.ok() ? IdentifySource(reader, path) : SourceIdentity{};
}


// The photo options need an exact recovery: its lengths are the files' own.
bool PhotoOptionsFit(const PhotoOptions& photos, RecoveryMode mode, const char* withoutIt)
{
    if ((photos.nameByDate || photos.skipDuplicates || photos.keepNames) && mode != RecoveryMode::Exact) {
        std::cerr << "quorvex-cli: --name-by-date, --skip-duplicates, --keep-names and --found-names work with exact "
                     "recovery only (" << withoutIt
                  << ")\n";
        return false;
    }
    return true;
}

// After an exact recovery: the source opened for the photos' details, and the copies among the
// files when they are listed as JSON or left out of the save. Nothing in the described mode.
struct PhotoPass {
    VolumeReader source;
    std::optional<DuplicateMap> duplicates;

    PhotoDetails Details() { return {source.IsOpen() ? &source : nullptr, duplicates ? &*duplicates : nullptr}; }
};

void PreparePhotoPass(PhotoPass& pass, const FoundFileCatalogue& catalogue, const VolumeOpener& opener, bool json,
                      const PhotoOptions& photos, TerminalProgress& progress)
{
    if (catalogue.Mode() != RecoveryMode::Exact || (!json && !photos.skipDuplicates))
        return;
    if (!pass.source.Open(opener).ok())
        return;
    std::atomic<int> stop{0};
    struct StopOnInterrupt final : Stoppable {
        std::atomic<int>& stop;
        explicit StopOnInterrupt(std::atomic<int>& s) : stop(s) {}
        void RequestStop() noexcept override { stop.store(1); }
    } stopper(stop);
    InterruptGuard::SetActiveJob(&stopper);
    pass.duplicates = FindDuplicates(pass.source, catalogue, &stop,
                                     [&](int percent) { progress.Show("Looking for copies", percent, ""); });
    InterruptGuard::SetActiveJob(nullptr);
    progress.Clear();
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
    const RecoveryMode mode = options.exact ? RecoveryMode::Exact : RecoveryMode::Described;
    if (!PhotoOptionsFit(options.photos, mode, "add --exact"))
        return kExitBadUsage;

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
    const std::optional<VolumeOpener> access = OpenerForSource(options.source);
    if (!access)
        return kExitSourceUnavailable;
    const VolumeOpener& opener = *access;
    FoundFileCatalogue catalogue;

    // A session of this source and these options is continued; any other is refused, untouched.
    std::optional<ScanSessionWriter> sessionWriter;
    std::optional<ScanCheckpoint> resumeFrom;
    if (options.session) {
        OpenStatus opened;
        const SourceIdentity source = IdentifyPath(options.source, opener, opened);
        if (!opened.ok()) {
            std::cerr << "quorvex-cli: cannot open " << opened.message << '\n';
            return kExitSourceUnavailable;
        }
        if (std::filesystem::exists(*options.session)) {
            ScanSession session;
            SessionCheck check = ReadSessionFile(*options.session, session);
            if (check.ok())
                check = SessionMatches(session, source, selection, mode);
            if (!check.ok()) {
                std::cerr << "quorvex-cli: " << *options.session << " cannot be continued: " << check.reason
                          << " (the file is left as it is)\n";
                return kExitSourceUnavailable;
            }
            catalogue = std::move(session.catalogue);
            resumeFrom = session.checkpoint;
            std::cerr << "resumed at sector " << resumeFrom->nextSector << '\n';
        }
        sessionWriter.emplace(*options.session, source, [&progress](const std::string& why) {
            progress.Clear();
            std::cerr << "quorvex-cli: the scan goes on, but it cannot be continued after an interruption: " << why
                      << '\n';
        });
    }

    ScanProgressPrinter scanPrinter(progress, catalogue);
    ScanEngine::Options engineOptions;
    // Benchmarks measure how exact recovery scales with the workers that check found files.
    if (const char* workers = std::getenv("QUORVEX_CHECK_WORKERS"))
        engineOptions.checkWorkers = static_cast<unsigned>(std::max(0L, std::strtol(workers, nullptr, 10)));
    // ... and what reading the card's file systems first costs.
    if (const char* read = std::getenv("QUORVEX_READ_CARD_FILE_SYSTEMS"); read != nullptr && std::string(read) == "0")
        engineOptions.readCardFileSystems = false;
    ScanEngine engine(catalogue, scanPrinter, engineOptions);
    if (sessionWriter)
        engine.SetCheckpointSink(&*sessionWriter);
    ReassemblyLimits reassembly;
    reassembly.enabled = options.reassemble;
    // How each search for a file's pieces went, for whoever looks into one that was not mended.
    if (std::getenv("QUORVEX_TRACE_PIECES") != nullptr) {
        static std::mutex traceLines;
        reassembly.trace = [](const std::string& line) {
            std::lock_guard lock(traceLines);
            std::cerr << "pieces: " << line << '\n';
        };
    }
    engine.SetReassemblyLimits(reassembly);
    InterruptGuard::SetActiveJob(&engine);
    const ScanSummary scan = resumeFrom ? engine.Resume(opener, *resumeFrom) : engine.Run(opener, std::move(selection), mode);
    InterruptGuard::SetActiveJob(nullptr);

    if (scan.outcome == ScanOutcome::VolumeUnavailable) {
        std::cerr << "quorvex-cli: cannot open " << scan.message << '\n';
        return kExitSourceUnavailable;
    }
    PhotoPass photoPass;
    if (!InterruptGuard::Interrupted())
        PreparePhotoPass(photoPass, catalogue, opener, options.json, options.photos, progress);
    PrintFoundFiles(catalogue, options.json, {}, photoPass.Details());
    if (scan.outcome == ScanOutcome::OutOfMemory)
        std::cerr << "quorvex-cli: " << scan.message << '\n';

    std::optional<SaveReport> save;
    if (options.outputFolder && !InterruptGuard::Interrupted()) {
        photoPass.source.Close();
        save = SaveFoundFiles(catalogue, opener, *options.outputFolder, nullptr, progress, options.photos,
                              photoPass.Details().duplicates);
        GiveSavedFilesToUser(RecoveryFolderIn(*options.outputFolder));
        if (save->outcome == SaveOutcome::VolumeUnavailable) {
            std::cerr << "quorvex-cli: cannot open " << save->message << '\n';
            return kExitSourceUnavailable;
        }
    }
    std::optional<std::uint64_t> resumedFrom;
    if (options.session) {
        resumedFrom = resumeFrom ? resumeFrom->nextSector : 0;
        GiveSavedFilesToUser(*options.session);
    }
    PrintSummary(catalogue, scan, save ? &*save : nullptr, options.json, options.outputFolder, resumedFrom);
    return ExitStatusOf(scan, save);
}

int RunResultsCommand(const ResultsCommandOptions& options)
{
    ScanSession session;
    if (const SessionCheck check = ReadSessionFile(options.session, session); !check.ok()) {
        std::cerr << "quorvex-cli: " << check.reason << '\n';
        return kExitSourceUnavailable;
    }
    const FoundFileCatalogue& catalogue = session.catalogue;
    std::set<std::string> only;
    for (const std::string& token : options.types) {
        if (!catalogue.Selection().IndexOf(token)) {
            std::cerr << "quorvex-cli: --types: the session holds no type '" << token << "'\n";
            return kExitBadUsage;
        }
        only.insert(token);
    }
    if (!PhotoOptionsFit(options.photos, catalogue.Mode(), "the session holds a scan without --exact"))
        return kExitBadUsage;
    if (!session.checkpoint.finished)
        std::cerr << "The scan stopped at sector " << session.checkpoint.nextSector << " of "
                  << session.source.sizeBytes / kSectorSize << "; these are the files found before it.\n";

    InterruptGuard interruptGuard;
    TerminalProgress progress(stderr);
    // The source is asked for (when it needs rights) only when it is read.
    std::optional<VolumeOpener> opener;
    const bool readsSource = options.outputFolder ||
                             (catalogue.Mode() == RecoveryMode::Exact && (options.json || options.photos.skipDuplicates));
    if (readsSource && !(opener = OpenerForSource(session.source.path)))
        return kExitSourceUnavailable;
    // The photos' details are read from the source only while it is still the card the scan saw.
    PhotoPass photoPass;
    if (catalogue.Mode() == RecoveryMode::Exact && (options.json || options.photos.skipDuplicates)) {
        OpenStatus opened;
        const SourceIdentity now = IdentifyPath(session.source.path, *opener, opened);
        if (opened.ok() && session.source.SameMedium(now))
            PreparePhotoPass(photoPass, catalogue, *opener, options.json, options.photos, progress);
        else
            std::cerr << "quorvex-cli: " << session.source.path
                      << " is not the card the scan saw: capture dates, cameras and copies are not listed\n";
    }
    PrintFoundFiles(catalogue, options.json, only, photoPass.Details());
    photoPass.source.Close();
    std::optional<SaveReport> save;
    if (options.outputFolder) {
        if (const DestinationCheck check = CheckDestination(*options.outputFolder, session.source.path); !check.ok()) {
            std::cerr << "quorvex-cli: " << check.reason << '\n';
            return kExitSourceUnavailable;
        }
        // The files are read from the source again: it must still be the card the scan saw.
        OpenStatus opened;
        const SourceIdentity now = IdentifyPath(session.source.path, *opener, opened);
        if (!opened.ok()) {
            std::cerr << "quorvex-cli: cannot open " << opened.message << '\n';
            return kExitSourceUnavailable;
        }
        if (!session.source.SameMedium(now)) {
            std::cerr << "quorvex-cli: " << session.source.path
                      << " is not the card the scan saw (another card, or it has changed since): nothing saved\n";
            return kExitSourceUnavailable;
        }
        std::vector<std::string> names;
        if (!only.empty())
            catalogue.ForEachEntry([&](const FoundFileEntry& entry) {
                if (only.contains(entry.token))
                    names.push_back(entry.name);
            });
        save = SaveFoundFiles(catalogue, *opener, *options.outputFolder, only.empty() ? nullptr : &names, progress,
                              options.photos, photoPass.Details().duplicates);
        GiveSavedFilesToUser(RecoveryFolderIn(*options.outputFolder));
        if (save->outcome == SaveOutcome::VolumeUnavailable) {
            std::cerr << "quorvex-cli: cannot open " << save->message << '\n';
            return kExitSourceUnavailable;
        }
    }
    ScanSummary scan;
    scan.unreadableSectors = session.checkpoint.unreadableSectors;
    PrintSummary(catalogue, scan, save ? &*save : nullptr, options.json, options.outputFolder);
    return ExitStatusOf(scan, save);
}

}  // namespace quorvex::cli
