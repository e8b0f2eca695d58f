#include "ScanEngine.h"

#include "ExactRecogniser.h"
#include "SectorRecogniser.h"

#include <algorithm>
#include <memory>
#include <new>
#include <stdexcept>

namespace quorvex {

namespace {
constexpr std::size_t kChunkSectors = 8;  // the granularity at which unreadable regions are skipped
__extension__ typedef unsigned __int128 Uint128;
}

ScanEngine::ScanEngine(FoundFileCatalogue& catalogue, ScanObserver& observer)
    : ScanEngine(catalogue, observer, Options{})
{
}

ScanEngine::ScanEngine(FoundFileCatalogue& catalogue, ScanObserver& observer, Options options)
    : catalogue_(catalogue), observer_(observer), options_(options)
{
    if (options_.blockSectors == 0 || options_.blockSectors % kChunkSectors != 0)
        throw std::invalid_argument("ScanEngine: the block must be a non-zero multiple of 8 sectors");
}

ScanEngine::~ScanEngine()
{
    RequestStop();
    Wait();
}

void ScanEngine::Start(VolumeOpener opener, SelectedTypes selection, RecoveryMode mode)
{
    if (thread_.joinable()) {
        RequestStop();
        Wait();
    }
    scanStopRequested_.store(0);
    scanRunning_.store(1);
    thread_ = std::thread([this, opener = std::move(opener), selection = std::move(selection), mode]() mutable {
        Run(opener, std::move(selection), mode);
    });
}

void ScanEngine::RequestStop() noexcept
{
    scanStopRequested_.store(1);
    scanRunning_.store(0);
}

void ScanEngine::Wait()
{
    if (thread_.joinable())
        thread_.join();
}

ScanSummary ScanEngine::Run(const VolumeOpener& opener, SelectedTypes selection, RecoveryMode mode)
{
    try {
        catalogue_.Reset(std::move(selection), mode);
    } catch (const std::bad_alloc&) {
    }
    return Execute(opener, ScanCheckpoint{});
}

ScanSummary ScanEngine::Resume(const VolumeOpener& opener, const ScanCheckpoint& checkpoint)
{
    return Execute(opener, checkpoint);
}

void ScanEngine::StartResume(VolumeOpener opener, ScanCheckpoint checkpoint)
{
    if (thread_.joinable()) {
        RequestStop();
        Wait();
    }
    scanStopRequested_.store(0);
    scanRunning_.store(1);
    thread_ = std::thread([this, opener = std::move(opener), checkpoint] { Resume(opener, checkpoint); });
}

ScanSummary ScanEngine::Execute(const VolumeOpener& opener, const ScanCheckpoint& from)
{
    ScanSummary summary;
    try {
        typeSeen_.assign(catalogue_.Selection().Count(), false);
        typesInOrder_.clear();
        lastPercent_ = -1;
        resumeAt_ = from.resumeAt;
        nextToTest_ = from.nextSector;
        lastCheckpoint_ = std::chrono::steady_clock::now();
        // The types a resumed scan had found, in the order it found them.
        for (std::uint64_t i = 0; i < catalogue_.FoundCount(); ++i) {
            const std::size_t type = catalogue_.TypeIndexAt(i);
            if (!typeSeen_[type]) {
                typeSeen_[type] = true;
                typesInOrder_.push_back(type);
                observer_.OnTypeFound(catalogue_.Selection()[type].token);
            }
        }

        VolumeReader reader;
        const OpenStatus opened = reader.Open(opener);
        if (!opened.ok()) {
            summary.outcome = ScanOutcome::VolumeUnavailable;
            summary.openFailure = opened.failure;
            summary.message = opened.message;
        } else {
            std::unique_ptr<SectorRecogniser> recogniser;
            if (catalogue_.Mode() == RecoveryMode::Exact)
                recogniser = std::make_unique<ExactRecogniser>(catalogue_.Selection(), reader);
            else
                recogniser = std::make_unique<DescribedRecogniser>(catalogue_.Selection());
            recogniser_ = recogniser.get();
            // Damaged photos are searched for their pieces beside the scan, on a thread of its own.
            std::optional<ReassemblyWorker> mender;
            if (catalogue_.Mode() == RecoveryMode::Exact && reassemblyLimits_.enabled) {
                mender.emplace(opener, reassemblyLimits_, &scanStopRequested_);
                for (std::uint64_t i = 0; i < catalogue_.FoundCount(); ++i)  // found before a resume
                    TellMender(*mender, i);
                mender_ = &*mender;
            }
            summary = ScanVolume(reader, from);
            recogniser_ = nullptr;
            mender_ = nullptr;
            if (mender && summary.outcome == ScanOutcome::Completed) {
                const ReassemblyReport reassembly =
                    mender->Finish(reader, catalogue_, [this](std::uint64_t searched, std::uint64_t toSearch) {
                        observer_.OnReassemblyProgress(searched, toSearch);
                    });
                summary.reassembled = reassembly.reassembled;
                summary.reassemblyCutShort = reassembly.stopped || reassembly.outOfTime;
            }
            Checkpoint(summary, summary.outcome == ScanOutcome::Completed);
        }
        reader.Close();
    } catch (const std::bad_alloc&) {
        recogniser_ = nullptr;
        summary.outcome = ScanOutcome::OutOfMemory;
        summary.message = "There is not enough memory to go on scanning.";
    }
    summary.foundCount = catalogue_.FoundCount();
    Finish(summary);
    return summary;
}

void ScanEngine::Checkpoint(const ScanSummary& summary, bool finished)
{
    if (checkpointSink_ == nullptr)
        return;
    lastCheckpoint_ = std::chrono::steady_clock::now();
    ScanCheckpoint checkpoint;
    checkpoint.nextSector = finished ? summary.totalSectors : nextToTest_;
    checkpoint.resumeAt = resumeAt_;
    checkpoint.unreadableSectors = summary.unreadableSectors;
    checkpoint.finished = finished;
    checkpointSink_->SaveCheckpoint(catalogue_, checkpoint);
}

ScanSummary ScanEngine::ScanVolume(VolumeReader& reader, const ScanCheckpoint& from)
{
    ScanSummary summary;
    const std::uint64_t totalSectors = reader.TotalSectors();
    summary.totalSectors = totalSectors;
    summary.unreadableSectors = from.unreadableSectors;
    const std::size_t block = options_.blockSectors;
    SectorBuffer buffer(block);

    // The bound is inclusive, as the chunked reads always were: the last read may start at the
    // end of the volume, where it reads nothing and nothing is tested.
    for (std::uint64_t s = from.nextSector; s <= totalSectors; s += block) {
        if (scanStopRequested_.load(std::memory_order_relaxed)) {
            summary.outcome = ScanOutcome::Stopped;
            return summary;
        }
        ReportProgress(s, totalSectors);
        if (checkpointSink_ != nullptr && std::chrono::steady_clock::now() - lastCheckpoint_ >= checkpointInterval_)
            Checkpoint(summary, false);
        if (s + block <= resumeAt_) {  // the whole block lies inside a complete file found before it
            nextToTest_ = s + block;
            continue;
        }

        const SectorReadResult read = reader.ReadSectors(s, block, buffer);
        if (read.error == 0) {
            // A short read at the end of the volume tests only the sectors it read.
            if (!TestSectors(buffer, s, read.sectorsRead, summary))
                return summary;
            continue;
        }

        // The block failed somewhere: read it again in chunks and skip only the chunks that fail.
        for (std::size_t c = 0; c < block; c += kChunkSectors) {
            if (scanStopRequested_.load(std::memory_order_relaxed)) {
                summary.outcome = ScanOutcome::Stopped;
                return summary;
            }
            const SectorReadResult chunk = reader.ReadSectors(s + c, kChunkSectors, buffer);
            if (chunk.error != 0) {
                summary.unreadableSectors += kChunkSectors;
                nextToTest_ = s + c + kChunkSectors;
                observer_.OnUnreadableSectors(summary.unreadableSectors);
                continue;
            }
            if (!TestSectors(buffer, s + c, chunk.sectorsRead, summary))
                return summary;
            if (chunk.ReachedEnd(kChunkSectors))
                break;
        }
    }
    return summary;
}

void ScanEngine::TellMender(ReassemblyWorker& mender, std::uint64_t index) const
{
    const Verdict verdict = catalogue_.VerdictAt(index);
    if (verdict == Verdict::Complete)
        mender.AddWhole({catalogue_.StartSectorAt(index) * kSectorSize, catalogue_.LengthAt(index)});
    else if (verdict == Verdict::Damaged && CanBeMended(catalogue_.TokenAt(index)))
        mender.AddDamaged(FileToMendAt(catalogue_, index));
}

bool ScanEngine::TestSectors(const SectorBuffer& buffer, std::uint64_t firstSector, std::size_t sectorCount,
                             ScanSummary& summary)
{
    if (mender_ != nullptr)
        mender_->ScannedTo(firstSector * kSectorSize);
    for (std::size_t k = 0; k < sectorCount; ++k) {
        if (scanStopRequested_.load(std::memory_order_relaxed)) {
            summary.outcome = ScanOutcome::Stopped;
            return false;
        }
        const std::uint64_t sectorNumber = firstSector + k;
        nextToTest_ = sectorNumber + 1;
        if (sectorNumber < resumeAt_ || !recogniser_->MayBegin(buffer.Sector(k)[0]))
            continue;
        const std::optional<RecognisedFile> found = recogniser_->Examine(buffer.Sector(k), sectorNumber);
        if (!found)
            continue;
        const std::size_t typeIndex = found->typeIndex;
        const AppendResult appended =
            catalogue_.Mode() == RecoveryMode::Exact
                ? catalogue_.AppendFoundFile(typeIndex, sectorNumber, found->lengthBytes, found->verdict)
                : catalogue_.AppendFoundFile(typeIndex, sectorNumber);
        resumeAt_ = sectorNumber + 1 + found->sectorsInside;
        if (mender_ != nullptr && appended == AppendResult::Appended)
            TellMender(*mender_, catalogue_.FoundCount() - 1);
        if (appended == AppendResult::OutOfMemory) {
            summary.outcome = ScanOutcome::OutOfMemory;
            summary.message = "There is not enough memory to record more found files; the scan stopped after " +
                              std::to_string(catalogue_.FoundCount()) + " files.";
            return false;
        }
        if (!typeSeen_[typeIndex]) {
            typeSeen_[typeIndex] = true;
            typesInOrder_.push_back(typeIndex);
            observer_.OnTypeFound(catalogue_.Selection()[typeIndex].token);
        }
    }
    return true;
}

void ScanEngine::ReportProgress(std::uint64_t sector, std::uint64_t totalSectors)
{
    if (totalSectors == 0)
        return;
    // 128-bit product: sector × 100 must not wrap on any volume size.
    const auto percent = static_cast<int>(std::min<Uint128>(
        static_cast<Uint128>(sector) * 100 / totalSectors, 100));
    if (percent == lastPercent_)
        return;
    lastPercent_ = percent;
    observer_.OnScanProgress(percent);
    ReportCounts();
}

void ScanEngine::ReportCounts()
{
    std::vector<TypeCount> counts;
    for (const std::size_t type : typesInOrder_)
        counts.push_back({catalogue_.Selection()[type].token, catalogue_.CountOfType(catalogue_.Selection()[type].token)});
    observer_.OnFoundCounts(counts);
}

void ScanEngine::Finish(ScanSummary& summary)
{
    try {
        ReportCounts();
    } catch (const std::bad_alloc&) {
        // Out of memory at the very end: the counts are missed, the finish is not.
    }
    scanRunning_.store(0);
    scanStopRequested_.store(0);
    observer_.OnScanFinished(summary);
}

}  // namespace quorvex
