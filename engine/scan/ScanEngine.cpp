#include "ScanEngine.h"

#include "CardNames.h"
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
        settledResumeAt_ = from.resumeAt;
        unreadableCountedTo_ = from.nextSector;
        pending_.clear();
        detour_.reset();
        reusableChecks_.clear();
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
            if (catalogue_.Mode() == RecoveryMode::Exact) {
                pipeline_ = std::make_unique<CheckingPipeline>(
                    CheckingPipeline::Options{options_.checkWorkers, options_.pendingCheckBytes, options_.beforeCheck},
                    &scanStopRequested_);
                recogniser = std::make_unique<ExactRecogniser>(catalogue_.Selection(), reader, pipeline_.get());
            } else {
                recogniser = std::make_unique<DescribedRecogniser>(catalogue_.Selection());
            }
            recogniser_ = recogniser.get();
            reader_ = &reader;
            naming_.reset();
            if (catalogue_.Mode() == RecoveryMode::Exact && options_.readCardFileSystems) {
                // Read first: a file the card maps in pieces is then complete as it is found, and
                // never searched for its pieces.
                if (VolumeOpenResult card = opener(); card.ok()) {
                    CardFileSystems files = ReadCardFileSystems(*card.source, &scanStopRequested_);
                    RestoreLostFirstLetters(files.files);
                    if (!files.files.empty())
                        naming_.emplace(std::move(files));
                }
            }
            // Damaged photos are searched for their pieces beside the scan, on a thread of its own.
            std::optional<ReassemblyWorker> mender;
            if (catalogue_.Mode() == RecoveryMode::Exact && reassemblyLimits_.enabled) {
                mender.emplace(opener, reassemblyLimits_, &scanStopRequested_);
                for (std::uint64_t i = 0; i < catalogue_.FoundCount(); ++i)  // found before a resume
                    TellMender(*mender, i);
                mender_ = &*mender;
            }
            summary = ScanVolume(reader, from);
            DropPending();
            pipeline_.reset();
            recogniser_ = nullptr;
            mender_ = nullptr;
            naming_.reset();
            reader_ = nullptr;
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
        DropPending();
        pipeline_.reset();
        recogniser_ = nullptr;
        mender_ = nullptr;
        naming_.reset();
        reader_ = nullptr;
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
    checkpoint.nextSector = finished ? summary.totalSectors : SettledTo();
    checkpoint.resumeAt = pending_.empty() ? resumeAt_ : settledResumeAt_;
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
    // The block that holds `sector`: blocks are counted from where this run began.
    const auto blockOf = [&](std::uint64_t sector) { return from.nextSector + (sector - from.nextSector) / block * block; };

    // The bound is inclusive, as the chunked reads always were: the last read may start at the
    // end of the volume, where it reads nothing and nothing is tested.
    for (std::uint64_t s = from.nextSector;;) {
        if (scanStopRequested_.load(std::memory_order_relaxed)) {
            summary.outcome = ScanOutcome::Stopped;
            SettlePending(summary, Waiting::Stopping);
            return summary;
        }
        Flow flow = Flow::Go;
        if (s > totalSectors) {
            // Every sector was looked at: the files still being checked decide the end.
            flow = detour_ ? EndDetour() : SettlePending(summary, Waiting::Every);
            if (flow == Flow::Go && !detour_ && pending_.empty())
                return summary;
        } else {
            ReportProgress(s, totalSectors);
            if (checkpointSink_ != nullptr && std::chrono::steady_clock::now() - lastCheckpoint_ >= checkpointInterval_)
                Checkpoint(summary, false);
            if (s + block <= resumeAt_) {  // the whole block lies inside a complete file found before it
                if (detour_ && s + block > detour_->end && EndDetour() == Flow::Reposition) {
                    s = blockOf(nextToTest_);
                    continue;
                }
                nextToTest_ = s + block;
                s += block;
                continue;
            }
            const SectorReadResult read = reader.ReadSectors(s, block, buffer);
            if (read.error == 0) {
                // A short read at the end of the volume tests only the sectors it read.
                flow = TestSectors(buffer, s, read.sectorsRead, summary);
            } else {
                // The block failed somewhere: read it again in chunks and skip only the chunks that fail.
                for (std::size_t c = 0; c < block && flow == Flow::Go; c += kChunkSectors) {
                    if (scanStopRequested_.load(std::memory_order_relaxed)) {
                        summary.outcome = ScanOutcome::Stopped;
                        flow = Flow::End;
                        break;
                    }
                    const SectorReadResult chunk = reader.ReadSectors(s + c, kChunkSectors, buffer);
                    if (chunk.error != 0) {
                        // A chunk read again after a rewind was counted the first time.
                        if (s + c >= unreadableCountedTo_) {
                            summary.unreadableSectors += kChunkSectors;
                            unreadableCountedTo_ = s + c + kChunkSectors;
                            observer_.OnUnreadableSectors(summary.unreadableSectors);
                        }
                        nextToTest_ = s + c + kChunkSectors;
                        continue;
                    }
                    flow = TestSectors(buffer, s + c, chunk.sectorsRead, summary);
                    if (chunk.ReachedEnd(kChunkSectors))
                        break;
                }
            }
        }
        if (flow == Flow::End) {
            if (summary.outcome == ScanOutcome::Stopped)
                SettlePending(summary, Waiting::Stopping);
            return summary;
        }
        if (flow == Flow::Reposition)
            s = blockOf(nextToTest_);
        else if (s <= totalSectors)
            s += block;
    }
}

void ScanEngine::DropPending()
{
    // The scan ends before the first file left pending: a resumed scan finds it again.
    nextToTest_ = SettledTo();
    if (!pending_.empty())
        resumeAt_ = settledResumeAt_;
    pending_.clear();
    detour_.reset();
    reusableChecks_.clear();
}

ScanEngine::Flow ScanEngine::EndDetour()
{
    if (resumeAt_ > detour_->end) {
        AbandonDetour();
        return Flow::Go;
    }
    // Nothing found inside reaches past the file: the scan went on from its end just as it
    // would have now, so what it found there holds.
    for (PendingFile& later : detour_->later)
        pending_.push_back(std::move(later));
    nextToTest_ = detour_->returnTo;
    resumeAt_ = std::max(detour_->returnResumeAt, detour_->returnTo);  // those before were tested
    detour_.reset();
    return Flow::Reposition;
}

void ScanEngine::AbandonDetour()
{
    for (PendingFile& later : detour_->later)
        if (later.file.check)
            reusableChecks_[later.sector] = std::move(later.file.check);
    detour_.reset();
}

void ScanEngine::TellMender(ReassemblyWorker& mender, std::uint64_t index) const
{
    const Verdict verdict = catalogue_.VerdictAt(index);
    if (verdict == Verdict::Complete)
        mender.AddWhole({catalogue_.StartSectorAt(index) * kSectorSize, catalogue_.LengthAt(index)});
    else if (verdict == Verdict::Damaged && CanBeMended(catalogue_.TokenAt(index)))
        mender.AddDamaged(FileToMendAt(catalogue_, index));
}

ScanEngine::Flow ScanEngine::TestSectors(const SectorBuffer& buffer, std::uint64_t firstSector,
                                         std::size_t sectorCount, ScanSummary& summary)
{
    if (mender_ != nullptr)
        mender_->ScannedTo(std::min(firstSector, SettledTo()) * kSectorSize);
    for (std::size_t k = 0; k < sectorCount; ++k) {
        if (scanStopRequested_.load(std::memory_order_relaxed)) {
            summary.outcome = ScanOutcome::Stopped;
            return Flow::End;
        }
        const std::uint64_t sectorNumber = firstSector + k;
        if (detour_ && sectorNumber >= detour_->end) {
            if (const Flow flow = EndDetour(); flow != Flow::Go)
                return flow;
        }
        nextToTest_ = sectorNumber + 1;
        if (sectorNumber < resumeAt_ || !recogniser_->MayBegin(buffer.Sector(k)[0]))
            continue;
        std::optional<RecognisedFile> found = recogniser_->Examine(buffer.Sector(k), sectorNumber);
        if (!found)
            continue;
        // A file with a check pending is passed over as if it will come back whole.
        resumeAt_ = sectorNumber + 1 + found->sectorsInside;
        if (const Flow flow = TakeFound(sectorNumber, std::move(*found), summary); flow != Flow::Go)
            return flow;
    }
    return Flow::Go;
}

ScanEngine::Flow ScanEngine::TakeFound(std::uint64_t sector, RecognisedFile found, ScanSummary& summary)
{
    // Checks kept from before a rewind are for the files found again; those passed are not.
    while (!reusableChecks_.empty() && reusableChecks_.begin()->first < sector)
        reusableChecks_.erase(reusableChecks_.begin());
    if (found.check) {
        const auto kept = reusableChecks_.find(sector);
        if (kept != reusableChecks_.end() && kept->second->Size() == found.check->Size() &&
            kept->second->DecodeFunction() == found.check->DecodeFunction()) {
            found.check = std::move(kept->second);
            reusableChecks_.erase(kept);
        } else if (!pipeline_->Submit(found.check)) {
            // Stopped while the queue was full: the files before this one are settled, and this
            // one is found again when the scan goes on.
            summary.outcome = ScanOutcome::Stopped;
            SettlePending(summary, Waiting::Stopping);
            if (pending_.empty()) {
                nextToTest_ = std::min(nextToTest_, sector);
                resumeAt_ = settledResumeAt_;
            }
            return Flow::End;
        }
    }
    if (pending_.empty() && !found.check)
        return Record(sector, found, summary);
    pending_.push_back({sector, std::move(found)});
    return SettlePending(summary, Waiting::None);
}

ScanEngine::Flow ScanEngine::SettlePending(ScanSummary& summary, Waiting waiting)
{
    while (!pending_.empty()) {
        PendingFile& first = pending_.front();
        if (first.file.check) {
            if (!first.file.check->Done()) {
                if (waiting == Waiting::None)
                    return Flow::Go;
                if (!pipeline_->Wait(*first.file.check, waiting == Waiting::Stopping)) {
                    summary.outcome = ScanOutcome::Stopped;
                    return Flow::End;
                }
            }
            const std::uint64_t assumedInside = first.file.sectorsInside;
            ExactRecogniser::SettleCheckedFile(first.file);
            if (first.file.sectorsInside != assumedInside) {
                // Passed over as whole, and it is not: the scan goes back to test its inside, and
                // keeps what it found after it for when it comes back.
                const PendingFile settled = std::move(first);
                pending_.pop_front();
                if (detour_)
                    AbandonDetour();  // a file inside another's inside: found again from here
                Detour detour;
                detour.end = settled.sector + 1 + assumedInside;
                detour.returnTo = nextToTest_;
                detour.returnResumeAt = resumeAt_;
                detour.later = std::move(pending_);
                pending_.clear();
                if (const Flow flow = Record(settled.sector, settled.file, summary); flow != Flow::Go)
                    return flow;
                detour_ = std::move(detour);
                resumeAt_ = settledResumeAt_;
                nextToTest_ = settled.sector + 1;
                return Flow::Reposition;
            }
        }
        const PendingFile settled = std::move(first);
        pending_.pop_front();
        if (const Flow flow = Record(settled.sector, settled.file, summary); flow != Flow::Go)
            return flow;
    }
    return Flow::Go;
}

ScanEngine::Flow ScanEngine::Record(std::uint64_t sector, const RecognisedFile& found, ScanSummary& summary)
{
    settledResumeAt_ = sector + 1 + found.sectorsInside;
    const std::size_t typeIndex = found.typeIndex;
    const AppendResult appended = catalogue_.Mode() == RecoveryMode::Exact
                                      ? catalogue_.AppendFoundFile(typeIndex, sector, found.lengthBytes, found.verdict)
                                      : catalogue_.AppendFoundFile(typeIndex, sector);
    if (appended == AppendResult::OutOfMemory) {
        summary.outcome = ScanOutcome::OutOfMemory;
        summary.message = "There is not enough memory to record more found files; the scan stopped after " +
                          std::to_string(catalogue_.FoundCount()) + " files.";
        return Flow::End;
    }
    if (naming_ && reader_ != nullptr)
        naming_->NameFound(catalogue_, catalogue_.FoundCount() - 1, *reader_);
    if (mender_ != nullptr)
        TellMender(*mender_, catalogue_.FoundCount() - 1);
    if (!typeSeen_[typeIndex]) {
        typeSeen_[typeIndex] = true;
        typesInOrder_.push_back(typeIndex);
        observer_.OnTypeFound(catalogue_.Selection()[typeIndex].token);
    }
    return Flow::Go;
}

void ScanEngine::ReportProgress(std::uint64_t sector, std::uint64_t totalSectors)
{
    if (totalSectors == 0)
        return;
    // 128-bit product: sector × 100 must not wrap on any volume size.
    const auto percent = static_cast<int>(std::min<Uint128>(
        static_cast<Uint128>(sector) * 100 / totalSectors, 100));
    if (percent <= lastPercent_)
        return;  // also when a rewind goes back a little
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
