#include "FragmentReassembler.h"

#include "FragmentJoin.h"
#include "VolumeByteCache.h"
#include "ExactFormats.h"

#include <algorithm>
#include <memory>

namespace quorvex {

namespace {

using Clock = std::chrono::steady_clock;

// Whether the file laid from `pieces` is recognised again and its structure closes exactly
// where they end (its data the joiner has already checked).
bool ClosesWhereThePiecesEnd(VolumeByteCache& volume, const ExactFormat& format, const std::vector<ByteRange>& pieces)
{
    std::uint64_t total = 0;
    for (const ByteRange& piece : pieces)
        total += piece.length;
    PiecesByteSource file(volume, std::vector<ByteRange>(pieces.begin(), pieces.end() - 1), pieces.back().offset, total);
    if (file.Size() != total)
        return false;
    const FormatWalk walk = format.walk(file);
    return walk.recognised && walk.end == WalkEnd::Closed && walk.length == total && walk.decoded != DecodeResult::Faulty;
}

void AddTaken(std::vector<ByteRange>& taken, const ByteRange& range)
{
    taken.insert(std::upper_bound(taken.begin(), taken.end(), range,
                                  [](const ByteRange& a, const ByteRange& b) { return a.offset < b.offset; }),
                 range);
}

bool IsMovie(std::string_view token)
{
    return token == "MP4" || token == "MOV" || token == "3GP";
}

}  // namespace

bool CanBeMended(std::string_view token)
{
    return token == "JPG" || token == "PNG" || token == "HEIC" || IsMovie(token);
}

std::optional<std::vector<ByteRange>> MendFile(VolumeByteCache& volume, const ClusterGeometry& geometry,
                                               const FileToMend& file, const ReassemblyLimits& limits,
                                               const std::function<bool(std::uint64_t)>& isTaken,
                                               const std::function<bool()>& giveUp)
{
    const ExactFormat* format = ExactFormatOf(file.token);
    if (format == nullptr || !CanBeMended(file.token) || file.start >= volume.Size())
        return std::nullopt;
    JoinSearch search(volume);
    search.grid = geometry.GridFor(file.start);
    search.fileStart = file.start;
    search.maxFileBytes = std::min(file.maxFileBytes, volume.Size() - file.start);
    search.searchBytes = limits.searchBytes;
    search.maxPieces = limits.maxPieces;
    search.isTaken = isTaken;
    search.giveUp = giveUp;
    if (limits.trace)
        search.trace = [&limits, start = file.start](const std::string& line) {
            limits.trace("file at " + std::to_string(start) + ": " + line);
        };
    std::optional<std::vector<ByteRange>> pieces = file.token == "PNG"    ? JoinPngPieces(search)
                                                   : file.token == "HEIC" ? JoinHeifPieces(search)
                                                   : IsMovie(file.token)  ? JoinMoviePieces(search)
                                                                          : JoinJpegPieces(search);
    // The joiners have checked all of the file's data (every MCU of a JPEG decoded strictly, the
    // CRC of every chunk of a PNG, walked to IEND, a movie or a HEIC picture walked whole over its
    // pieces, the picture decoded); a JPEG's segments are walked again over the pieces (a PNG's
    // walk would only inflate its data once more).
    if (!pieces || pieces->size() < 2 || (file.token == "JPG" && !ClosesWhereThePiecesEnd(volume, *format, *pieces)))
        return std::nullopt;
    return pieces;
}

namespace {

// A search's give-up test: a stop request, or the file's time (looked at every 16th call).
std::function<bool()> GiveUpTest(const std::atomic<int>* stopRequested, const std::atomic<int>* abandon,
                                 Clock::time_point end, bool& timedOut)
{
    auto calls = std::make_shared<std::uint32_t>(0);
    return [=, &timedOut] {
        if ((stopRequested != nullptr && stopRequested->load() != 0) || (abandon != nullptr && abandon->load() != 0))
            return true;
        if (++*calls % 16 == 0 && Clock::now() >= end)
            timedOut = true;
        return timedOut;
    };
}

}  // namespace

FileToMend FileToMendAt(const FoundFileCatalogue& catalogue, std::uint64_t index)
{
    FileToMend file;
    file.index = index;
    file.start = catalogue.StartSectorAt(index) * kSectorSize;
    file.token = std::string(catalogue.TokenAt(index));
    file.maxFileBytes = ExtentSectors(catalogue.Selection()[catalogue.TypeIndexAt(index)].maxSizeKb) * kSectorSize;
    return file;
}

ReassemblyReport ReassembleFragments(VolumeReader& reader, FoundFileCatalogue& catalogue,
                                     const ReassemblyLimits& limits, const std::atomic<int>* stopRequested,
                                     const std::function<void(std::uint64_t, std::uint64_t)>& progress)
{
    ReassemblyReport report;
    if (!limits.enabled || catalogue.Mode() != RecoveryMode::Exact)
        return report;
    std::vector<std::uint64_t> damaged;
    std::vector<ByteRange> taken;  // files recovered whole: no continuation lies in them
    for (std::uint64_t i = 0; i < catalogue.FoundCount(); ++i) {
        const Verdict verdict = catalogue.VerdictAt(i);
        if (verdict == Verdict::Complete || verdict == Verdict::Reassembled)
            for (const ByteRange& piece : catalogue.PiecesAt(i))
                AddTaken(taken, piece);
        else if (verdict == Verdict::Damaged && CanBeMended(catalogue.TokenAt(i)))
            damaged.push_back(i);
    }
    if (damaged.empty())
        return report;

    VolumeByteCache volume(reader);
    report.geometry = LearnClusterGeometry(volume);
    const Clock::time_point allEnd = Clock::now() + limits.total;
    for (std::size_t n = 0; n < damaged.size(); ++n) {
        if (progress)
            progress(n, damaged.size());
        if (stopRequested != nullptr && stopRequested->load() != 0) {
            report.stopped = true;
            break;
        }
        if (Clock::now() >= allEnd) {
            report.outOfTime = true;
            break;
        }
        const FileToMend file = FileToMendAt(catalogue, damaged[n]);
        bool timedOut = false;
        const auto giveUp =
            GiveUpTest(stopRequested, nullptr, std::min(allEnd, Clock::now() + limits.perFile), timedOut);
        ++report.tried;
        const auto pieces = MendFile(volume, report.geometry, file, limits,
                                     [&taken](std::uint64_t offset) { return LiesInside(taken, offset); }, giveUp);
        report.timedOut += timedOut;
        if (!pieces || !catalogue.SetReassembled(file.index, *pieces))
            continue;
        ++report.reassembled;
        for (const ByteRange& piece : *pieces)
            AddTaken(taken, piece);
    }
    if (stopRequested != nullptr && stopRequested->load() != 0)
        report.stopped = true;
    if (progress && !report.stopped)
        progress(damaged.size(), damaged.size());
    return report;
}

ReassemblyWorker::ReassemblyWorker(VolumeOpener opener, const ReassemblyLimits& limits,
                                   const std::atomic<int>* stopRequested)
    : opener_(std::move(opener)), limits_(limits), stopRequested_(stopRequested)
{
    thread_ = std::thread([this] { Run(); });
}

ReassemblyWorker::~ReassemblyWorker()
{
    abandon_.store(1);
    {
        std::lock_guard lock(mutex_);
        scanDone_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void ReassemblyWorker::AddWhole(const ByteRange& range)
{
    std::lock_guard lock(mutex_);
    AddTaken(taken_, range);
}

void ReassemblyWorker::AddDamaged(FileToMend file)
{
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(std::move(file));
        ++offered_;
    }
    changed_.notify_all();
}

void ReassemblyWorker::ScannedTo(std::uint64_t byteOffset)
{
    {
        std::lock_guard lock(mutex_);
        if (byteOffset < scanned_ + (1u << 20))
            return;  // too little news to wake the worker for
        scanned_ = byteOffset;
    }
    changed_.notify_all();
}

bool ReassemblyWorker::IsTaken(std::uint64_t offset)
{
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return abandon_.load() != 0 || scanDone_ || scanned_ > offset; });
    return LiesInside(taken_, offset);
}

void ReassemblyWorker::Run()
{
    // Nothing is opened or read before there is a damaged photo to search.
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return abandon_.load() != 0 || !queue_.empty() || scanDone_; });
        if (abandon_.load() != 0 || queue_.empty())
            return;
    }
    VolumeReader reader;
    if (!reader.Open(opener_).ok()) {
        // Without reads of its own the worker only counts the files off; Finish searches them.
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return abandon_.load() != 0 || scanDone_; });
        return;
    }
    VolumeByteCache volume(reader);
    const ClusterGeometry geometry = LearnClusterGeometry(volume);
    {
        std::lock_guard lock(mutex_);
        report_.geometry = geometry;
    }
    while (SearchNext(volume, geometry, true)) {
    }
}

bool ReassemblyWorker::SearchNext(VolumeByteCache& volume, const ClusterGeometry& geometry, bool wait)
{
    FileToMend file;
    Clock::duration allowed;
    {
        std::unique_lock lock(mutex_);
        if (wait)
            changed_.wait(lock, [&] { return abandon_.load() != 0 || !queue_.empty() || scanDone_; });
        if (abandon_.load() != 0 || queue_.empty())
            return false;
        file = std::move(queue_.front());
        queue_.pop_front();
        allowed = limits_.total - spent_;
    }
    std::optional<std::vector<ByteRange>> pieces;
    bool timedOut = false;
    const bool stopped = stopRequested_ != nullptr && stopRequested_->load() != 0;
    const bool outOfTime = allowed <= Clock::duration::zero();
    Clock::duration took{};
    if (!stopped && !outOfTime) {
        const Clock::time_point began = Clock::now();
        const Clock::time_point end = began + std::min<Clock::duration>(limits_.perFile, allowed);
        pieces = MendFile(volume, geometry, file, limits_, [this](std::uint64_t offset) { return IsTaken(offset); },
                          GiveUpTest(stopRequested_, &abandon_, end, timedOut));
        took = Clock::now() - began;
    }
    std::lock_guard lock(mutex_);
    spent_ += took;
    report_.tried += !stopped && !outOfTime;
    report_.timedOut += timedOut;
    report_.stopped = report_.stopped || stopped;
    report_.outOfTime = report_.outOfTime || outOfTime;
    if (pieces) {
        for (const ByteRange& piece : *pieces)
            AddTaken(taken_, piece);
        found_.emplace_back(file.index, std::move(*pieces));
    } else if (!stopped && !outOfTime && !timedOut) {
        failed_.emplace_back(std::move(file), found_.size());
    }
    ++searched_;
    changed_.notify_all();
    return true;
}

void ReassemblyWorker::SearchFailedAgain(VolumeReader& reader,
                                          const std::function<void(std::uint64_t, std::uint64_t)>& progress)
{
    // Only the files that failed before a later one was put back: the others would fail alike.
    std::erase_if(failed_, [&](const auto& failure) { return failure.second == found_.size(); });
    if (failed_.empty() || report_.stopped)
        return;
    VolumeByteCache volume(reader);
    const ClusterGeometry geometry = LearnClusterGeometry(volume);
    for (std::size_t n = 0; n < failed_.size(); ++n) {
        if (progress)
            progress(searched_, offered_);
        const Clock::duration allowed = limits_.total - spent_;
        if (stopRequested_ != nullptr && stopRequested_->load() != 0) {
            report_.stopped = true;
            return;
        }
        if (allowed <= Clock::duration::zero()) {
            report_.outOfTime = true;
            return;
        }
        FileToMend& file = failed_[n].first;
        bool timedOut = false;
        const Clock::time_point began = Clock::now();
        auto pieces = MendFile(volume, geometry, file, limits_,
                               [this](std::uint64_t offset) { return LiesInside(taken_, offset); },
                               GiveUpTest(stopRequested_, nullptr, began + std::min<Clock::duration>(limits_.perFile, allowed),
                                          timedOut));
        spent_ += Clock::now() - began;
        report_.timedOut += timedOut;
        if (!pieces)
            continue;
        for (const ByteRange& piece : *pieces)
            AddTaken(taken_, piece);
        found_.emplace_back(file.index, std::move(*pieces));
    }
    failed_.clear();
}

ReassemblyReport ReassemblyWorker::Finish(VolumeReader& reader, FoundFileCatalogue& catalogue,
                                          const std::function<void(std::uint64_t, std::uint64_t)>& progress)
{
    {
        std::lock_guard lock(mutex_);
        scanDone_ = true;
    }
    changed_.notify_all();
    // The scan's thread searches the files still queued too, beside the worker.
    bool queued;
    {
        std::lock_guard lock(mutex_);
        queued = !queue_.empty();
    }
    if (queued) {
        VolumeByteCache volume(reader);
        const ClusterGeometry geometry = LearnClusterGeometry(volume);
        for (;;) {
            if (progress) {
                std::unique_lock lock(mutex_);
                const std::uint64_t searched = searched_, offered = offered_;
                lock.unlock();
                progress(searched, offered);
            }
            if (!SearchNext(volume, geometry, false))
                break;
        }
    }
    {
        std::unique_lock lock(mutex_);
        std::uint64_t told = UINT64_MAX;
        while (searched_ < offered_) {
            if (progress && searched_ != told) {
                told = searched_;
                const std::uint64_t searched = searched_, offered = offered_;
                lock.unlock();
                progress(searched, offered);
                lock.lock();
                continue;
            }
            changed_.wait_for(lock, std::chrono::milliseconds(100));
        }
    }
    if (thread_.joinable())
        thread_.join();
    SearchFailedAgain(reader, progress);
    if (progress && offered_ > 0 && !report_.stopped)
        progress(offered_, offered_);
    // In catalogue order; a file whose pieces overlap those of a file before it (the two were
    // searched at the same time) is left as it was.
    std::sort(found_.begin(), found_.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<ByteRange> claimed;
    for (auto& [index, pieces] : found_) {
        const bool overlaps = std::any_of(pieces.begin(), pieces.end(), [&](const ByteRange& piece) {
            return std::any_of(claimed.begin(), claimed.end(), [&](const ByteRange& other) {
                return piece.offset < other.offset + other.length && other.offset < piece.offset + piece.length;
            });
        });
        if (overlaps)
            continue;
        claimed.insert(claimed.end(), pieces.begin(), pieces.end());
        report_.reassembled += catalogue.SetReassembled(index, std::move(pieces));
    }
    found_.clear();
    return report_;
}

}  // namespace quorvex
