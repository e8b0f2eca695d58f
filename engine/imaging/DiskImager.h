#pragma once

#include "RescueMap.h"
#include "Stoppable.h"
#include "VolumeSource.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

namespace quorvex {

// Where an imaging run stands, for a progress display.
struct ImagingProgress {
    std::uint64_t sizeBytes = 0;
    std::uint64_t rescuedBytes = 0;      // copied into the image
    std::uint64_t unreadableBytes = 0;   // failed sector by sector: zeros in the image
    std::uint64_t pendingBytes = 0;      // not tried, not trimmed or not scraped yet
    char phase = '?';                    // '?' copying, '*' trimming, '/' scraping, '+' done
    double elapsedSeconds = 0;
    double bytesPerSecond = 0;           // over the last few seconds
    double remainingSeconds = -1;        // -1 while no rate is known
};

class ImagingObserver {
public:
    virtual ~ImagingObserver() = default;
    // Sent about every quarter second, and once at the end.
    virtual void OnImagingProgress(const ImagingProgress& progress) = 0;
};

enum class ImagingOutcome {
    Complete,           // every sector was copied
    SomeUnreadable,     // done; some sectors could not be read and are zeros in the image
    SourceUnavailable,  // the source could not be opened, or went away during the run
    ImageUnwritable,    // the image (or its map) could not be created or written
    DestinationRefused, // refused before the source was opened: no such folder, or an image there
                        // already that no map describes
    MapRefused,         // the map cannot be read, or belongs to another device or image
    Stopped,            // a stop was requested; the map holds where it got to
};

struct ImagingReport {
    ImagingOutcome outcome = ImagingOutcome::Complete;
    std::string message;              // for the user, when the outcome is not Complete
    std::uint64_t sizeBytes = 0;
    std::uint64_t rescuedBytes = 0;
    std::uint64_t unreadableBytes = 0;
    bool resumed = false;             // a map from an earlier run was continued
};

// Why `imagePath` cannot take an image (with `mapPath`, may be empty), or an empty text when it
// can: its folder must exist, and an image already there must be a regular file and have its map.
std::string CheckImageDestination(const std::string& imagePath, const std::string& mapPath);

// Copies a device into an image file the way failing media need: large reads over the good
// areas first, skipping ahead past an error; then the skipped areas; then the edges of every
// failed area sector by sector (trimming), finally each sector left (scraping). Unreadable
// sectors stay zeros in the image. The source is opened read-only. With a map file, the map is
// written (GNU ddrescue's format, atomically) every few seconds and at the end, and a run that
// finds a map continues it.

class DiskImager final : public Stoppable {
public:
    struct Options {
        std::size_t copyBytes = 1 << 20;         // the large reads of the copying passes
        std::size_t firstSkipBytes = 64 << 10;   // skipped after the first error, doubling after more
        std::chrono::milliseconds mapInterval{5000};
        std::chrono::milliseconds progressInterval{250};
    };

    DiskImager();
    explicit DiskImager(Options options);

    // `mapPath` may be empty: no map is kept, and an existing image is not overwritten.
    // The destination is checked (CheckImageDestination) before the source is opened.
    ImagingReport Run(const VolumeOpener& source, const std::string& imagePath, const std::string& mapPath,
                      ImagingObserver& observer);

    void RequestStop() noexcept override { stopRequested_.store(1); }

private:
    struct Run_;
    Options options_;
    std::atomic<int> stopRequested_{0};
};

}  // namespace quorvex
