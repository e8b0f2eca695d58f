#include "DiskImager.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace quorvex {

namespace {

using Clock = std::chrono::steady_clock;

bool SourceIsGone(int error)
{
    return error == ENODEV || error == ENXIO || error == ENOMEDIUM || error == EBADF;
}

// Writes the map to `path` so that a crash leaves the old map or the new one, never half of one.
bool SaveMapAtomically(const std::string& path, const std::string& text)
{
    const std::string temporary = path + ".new";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ::close(fd);
            ::unlink(temporary.c_str());
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    const bool synced = ::fsync(fd) == 0;
    if (::close(fd) != 0 || !synced || ::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

}  // namespace

struct DiskImager::Run_ {
    const Options& options;
    std::atomic<int>& stop;
    ImagingObserver& observer;
    VolumeSource& source;
    int image = -1;
    std::string mapPath;
    RescueMap map;
    ImagingReport report;
    std::vector<unsigned char> buffer;
    Clock::time_point started = Clock::now();
    Clock::time_point lastMapSave = Clock::now();
    Clock::time_point lastProgress{};
    std::deque<std::pair<Clock::time_point, std::uint64_t>> samples;  // for the rate
    std::uint64_t handled = 0;  // bytes read or given up on in this run

    enum class Step { Go, End };

    Run_(const Options& o, std::atomic<int>& s, ImagingObserver& obs, VolumeSource& src, std::uint64_t size)
        : options(o), stop(s), observer(obs), source(src), map(size), buffer(o.copyBytes)
    {
    }

    bool Fail(ImagingOutcome outcome, std::string message)
    {
        report.outcome = outcome;
        report.message = std::move(message);
        return false;
    }

    bool SaveMap(bool force)
    {
        if (mapPath.empty())
            return true;
        const auto now = Clock::now();
        if (!force && now - lastMapSave < options.mapInterval)
            return true;
        lastMapSave = now;
        // The image's data reaches the disk before a map that calls it copied does.
        if (image >= 0 && ::fdatasync(image) != 0)
            return Fail(ImagingOutcome::ImageUnwritable, std::string("the image could not be written: ") + std::strerror(errno));
        if (!SaveMapAtomically(mapPath, map.Format()))
            return Fail(ImagingOutcome::ImageUnwritable, mapPath + ": the map could not be written: " + std::strerror(errno));
        return true;
    }

    void Report(bool force)
    {
        const auto now = Clock::now();
        if (!force && now - lastProgress < options.progressInterval)
            return;
        lastProgress = now;
        samples.emplace_back(now, handled);
        while (samples.size() > 2 && now - samples.front().first > std::chrono::seconds(5))
            samples.pop_front();
        ImagingProgress progress;
        progress.sizeBytes = map.Size();
        progress.rescuedBytes = map.BytesWith('+');
        progress.unreadableBytes = map.BytesWith('-');
        progress.pendingBytes = progress.sizeBytes - progress.rescuedBytes - progress.unreadableBytes;
        progress.phase = map.CurrentProgress().phase;
        progress.elapsedSeconds = std::chrono::duration<double>(now - started).count();
        const double window = std::chrono::duration<double>(now - samples.front().first).count();
        if (window > 0.2) {
            progress.bytesPerSecond = static_cast<double>(handled - samples.front().second) / window;
            if (progress.bytesPerSecond > 0)
                progress.remainingSeconds = static_cast<double>(progress.pendingBytes) / progress.bytesPerSecond;
        }
        observer.OnImagingProgress(progress);
    }

    // Reads [position, position + length) into the buffer. Returns the bytes that came back
    // before any failure and the failure's errno (0 when none).
    ReadOutcome Read(std::uint64_t position, std::size_t length)
    {
        return source.ReadAt(position, {buffer.data(), length});
    }

    bool Write(std::uint64_t position, std::size_t length)
    {
        std::size_t done = 0;
        while (done < length) {
            const ssize_t n = ::pwrite(image, buffer.data() + done, length - done, static_cast<off_t>(position + done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return Fail(ImagingOutcome::ImageUnwritable,
                            std::string("the image could not be written: ") + std::strerror(n < 0 ? errno : EIO));
            done += static_cast<std::size_t>(n);
        }
        return true;
    }

    // One read of the run: what came back goes into the image and is marked rescued, what failed
    // gets `failedStatus`. Returns the failure's errno, or -1 when the run must end.
    int Attempt(std::uint64_t position, std::size_t length, char failedStatus)
    {
        const ReadOutcome read = Read(position, length);
        std::size_t good = std::min(read.bytesRead, length);
        if (read.error != 0 && SourceIsGone(read.error)) {
            Fail(ImagingOutcome::SourceUnavailable,
                 std::string("the source went away during imaging (") + std::strerror(read.error) +
                     "); the map holds what was copied, so imaging can go on from there");
            return -1;
        }
        if (good > 0) {
            if (!Write(position, good))
                return -1;
            map.Mark(position, good, '+');
        }
        handled += length;
        if (good < length) {
            // A read that ends early without an error ran into the device's real end: the bytes
            // the size promised cannot be read.
            map.Mark(position + good, length - good, failedStatus);
            return read.error != 0 ? read.error : EIO;
        }
        return 0;
    }

    bool Stopped()
    {
        if (stop.load() == 0)
            return false;
        report.outcome = ImagingOutcome::Stopped;
        report.message = "stopped; the map holds where imaging got to";
        return true;
    }

    // The copying passes: large reads over the not-tried areas; the first pass skips ahead past
    // an error (further after each one), the second reads what the first skipped.
    bool Copy(int pass)
    {
        RescueMap::Progress& progress = map.CurrentProgress();
        std::uint64_t position = progress.phase == '?' && progress.pass == pass ? progress.position : 0;
        progress.phase = '?';
        progress.pass = pass;
        std::uint64_t skip = options.firstSkipBytes;
        while (const auto block = map.NextWith('?', position)) {
            if (Stopped())
                return false;
            const std::uint64_t start = block->position;
            // Reads end at multiples of their size, so a resumed run reads the same blocks.
            const std::uint64_t alignedEnd = (start / options.copyBytes + 1) * options.copyBytes;
            const auto length = static_cast<std::size_t>(std::min(alignedEnd, start + block->size) - start);
            progress.position = start;
            const int error = Attempt(start, length, '*');
            if (error < 0)
                return false;
            position = start + length;
            if (error != 0 && pass == 1) {
                position = std::min(map.Size(), position + skip);
                skip = std::min<std::uint64_t>(skip * 2, std::max<std::uint64_t>(map.Size() / 64, options.firstSkipBytes));
            } else if (error == 0) {
                skip = options.firstSkipBytes;
            }
            Report(false);
            if (!SaveMap(false))
                return false;
        }
        return true;
    }

    // The sector [position, end) cut at the next sector boundary.
    static std::uint64_t SectorEnd(std::uint64_t position, std::uint64_t end)
    {
        return std::min(end, (position / kSectorSize + 1) * kSectorSize);
    }

    // Trimming: each failed area is read sector by sector from both ends until a sector fails;
    // what lies between is left for scraping.
    bool Trim()
    {
        map.CurrentProgress() = {0, '*', 1};
        while (const auto block = map.NextWith('*')) {
            if (Stopped())
                return false;
            std::uint64_t front = block->position, back = block->position + block->size;
            map.CurrentProgress().position = front;
            while (front < back) {
                const std::uint64_t end = SectorEnd(front, back);
                const int error = Attempt(front, static_cast<std::size_t>(end - front), '-');
                if (error < 0)
                    return false;
                front = end;
                if (error != 0)
                    break;
            }
            while (back > front) {
                const std::uint64_t start = std::max(front, (back - 1) / kSectorSize * kSectorSize);
                const int error = Attempt(start, static_cast<std::size_t>(back - start), '-');
                if (error < 0)
                    return false;
                back = start;
                if (error != 0)
                    break;
            }
            if (front < back)
                map.Mark(front, back - front, '/');
            Report(false);
            if (!SaveMap(false))
                return false;
        }
        return true;
    }

    // Scraping: every sector left is read on its own.
    bool Scrape()
    {
        map.CurrentProgress() = {0, '/', 1};
        while (const auto block = map.NextWith('/')) {
            for (std::uint64_t at = block->position; at < block->position + block->size;) {
                if (Stopped())
                    return false;
                map.CurrentProgress().position = at;
                const std::uint64_t end = SectorEnd(at, block->position + block->size);
                if (Attempt(at, static_cast<std::size_t>(end - at), '-') < 0)
                    return false;
                at = end;
                Report(false);
                if (!SaveMap(false))
                    return false;
            }
        }
        return true;
    }
};

DiskImager::DiskImager() : DiskImager(Options{}) {}

DiskImager::DiskImager(Options options) : options_(options)
{
    options_.copyBytes = std::max<std::size_t>(options_.copyBytes / kSectorSize * kSectorSize, kSectorSize);
}

std::string CheckImageDestination(const std::string& imagePath, const std::string& mapPath)
{
    std::filesystem::path folder = std::filesystem::absolute(imagePath).parent_path();
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error))
        return folder.string() + ": no such folder";
    struct stat imageInfo {};
    if (::stat(imagePath.c_str(), &imageInfo) != 0)
        return {};
    if (!S_ISREG(imageInfo.st_mode))
        return imagePath + " is not a regular file";
    if (mapPath.empty() || ::access(mapPath.c_str(), F_OK) != 0)
        return imagePath + " exists already and no map says what it holds; choose another name" +
               std::string(mapPath.empty() ? "" : " or give the map it was made with");
    return {};
}

ImagingReport DiskImager::Run(const VolumeOpener& opener, const std::string& imagePath, const std::string& mapPath,
                              ImagingObserver& observer)
{
    stopRequested_.store(0);
    ImagingReport failed;
    if (std::string refused = CheckImageDestination(imagePath, mapPath); !refused.empty()) {
        failed.outcome = ImagingOutcome::DestinationRefused;
        failed.message = std::move(refused);
        return failed;
    }
    VolumeOpenResult opened = opener();
    if (!opened.ok()) {
        failed.outcome = ImagingOutcome::SourceUnavailable;
        failed.message = opened.message.empty() ? "the source could not be opened" : opened.message;
        return failed;
    }
    VolumeSource& source = *opened.source;
    const std::uint64_t size = source.SizeBytes();
    Run_ run(options_, stopRequested_, observer, source, size);
    run.mapPath = mapPath;
    run.report.sizeBytes = size;

    struct stat imageInfo {};
    const bool imageExists = ::stat(imagePath.c_str(), &imageInfo) == 0;
    std::ifstream mapFile(mapPath);
    if (!mapPath.empty() && mapFile) {
        std::stringstream text;
        text << mapFile.rdbuf();
        std::string reason;
        auto map = RescueMap::Parse(text.str(), size, &reason);
        if (!map) {
            failed.outcome = ImagingOutcome::MapRefused;
            failed.message = mapPath + " cannot be continued: " + reason;
            return failed;
        }
        if (!imageExists && map->BytesWith('+') > 0) {
            failed.outcome = ImagingOutcome::MapRefused;
            failed.message = mapPath + " describes " + imagePath + ", which is not there: it cannot be continued";
            return failed;
        }
        run.map = std::move(*map);
        run.report.resumed = true;
    } else if (imageExists) {
        failed.outcome = ImagingOutcome::ImageUnwritable;
        failed.message = imagePath + " exists already and no map says what it holds; choose another name" +
                         std::string(mapPath.empty() ? "" : " or give the map it was made with");
        return failed;
    }

    run.image = ::open(imagePath.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (run.image < 0 || ::ftruncate(run.image, static_cast<off_t>(size)) != 0) {
        failed.outcome = ImagingOutcome::ImageUnwritable;
        failed.message = imagePath + ": " + std::strerror(errno);
        if (run.image >= 0)
            ::close(run.image);
        return failed;
    }
    if (!run.SaveMap(true)) {
        ::close(run.image);
        return run.report;
    }

    const bool finished = run.Copy(1) && run.Copy(2) && run.Trim() && run.Scrape();
    if (finished)
        run.map.CurrentProgress() = {0, '+', 1};
    if (::fsync(run.image) != 0 && finished)
        run.Fail(ImagingOutcome::ImageUnwritable, std::string("the image could not be written: ") + std::strerror(errno));
    ::close(run.image);
    run.image = -1;
    const ImagingOutcome ended = run.report.outcome;
    std::string message = run.report.message;
    run.SaveMap(true);
    run.report.outcome = ended;  // a failed last map save does not hide why the run ended
    run.report.message = message;
    run.report.rescuedBytes = run.map.BytesWith('+');
    run.report.unreadableBytes = run.map.BytesWith('-');
    if (finished && run.report.outcome == ImagingOutcome::Complete && run.report.unreadableBytes > 0) {
        run.report.outcome = ImagingOutcome::SomeUnreadable;
        run.report.message = std::to_string(run.report.unreadableBytes) +
                             " bytes could not be read; they are zeros in the image";
    }
    run.Report(true);
    return run.report;
}

}  // namespace quorvex
