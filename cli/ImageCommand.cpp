#include "ImageCommand.h"

#include "DestinationCheck.h"
#include "DiskImager.h"
#include "ExitStatus.h"
#include "FileVolumeSource.h"
#include "Interrupt.h"
#include "SourceAccess.h"
#include "TerminalProgress.h"

#include <filesystem>
#include <iostream>

namespace quorvex::cli {

namespace {

std::string Duration(double seconds)
{
    if (seconds < 0)
        return "--:--";
    const auto total = static_cast<long long>(seconds + 0.5);
    char text[32];
    if (total >= 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", total / 3600, total / 60 % 60, total % 60);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", total / 60, total % 60);
    return text;
}

class ImagingPrinter final : public ImagingObserver {
public:
    explicit ImagingPrinter(TerminalProgress& progress) : progress_(progress) {}
    void OnImagingProgress(const ImagingProgress& p) override
    {
        const int percent = p.sizeBytes ? static_cast<int>((p.sizeBytes - p.pendingBytes) * 100 / p.sizeBytes) : 100;
        const char* phase = p.phase == '?' ? "Imaging" : p.phase == '*' ? "Trimming" : p.phase == '/' ? "Scraping" : "Imaged";
        progress_.Show(phase, percent,
                       HumanSize(static_cast<std::uint64_t>(p.bytesPerSecond)) + "/s, " + Duration(p.elapsedSeconds) +
                           " gone, " + Duration(p.remainingSeconds) + " left, " + HumanSize(p.unreadableBytes) +
                           " unreadable");
    }

private:
    TerminalProgress& progress_;
};

}  // namespace

int RunImageCommand(const ImageCommandOptions& options)
{
    // A destination that cannot take the image is refused before the source is opened.
    if (const std::string refused = CheckImageDestination(options.image, options.map); !refused.empty()) {
        std::cerr << "quorvex-cli: " << refused << '\n';
        return kExitSourceUnavailable;
    }
    // The image must not be written onto the device it is a copy of.
    const std::filesystem::path folder = std::filesystem::absolute(options.image).parent_path();
    if (const DestinationCheck check = CheckDestination(folder.string(), options.source); !check.ok()) {
        std::cerr << "quorvex-cli: " << check.reason << '\n';
        return kExitSourceUnavailable;
    }
    const std::optional<VolumeOpener> source = OpenerForSource(options.source);
    if (!source)
        return kExitSourceUnavailable;
    InterruptGuard interruptGuard;
    TerminalProgress progress(stderr);
    ImagingPrinter printer(progress);
    DiskImager imager;
    InterruptGuard::SetActiveJob(&imager);
    const ImagingReport report = imager.Run(*source, options.image, options.map, printer);
    InterruptGuard::SetActiveJob(nullptr);
    progress.Clear();
    GiveSavedFilesToUser(options.image);
    if (!options.map.empty())
        GiveSavedFilesToUser(options.map);
    if (report.resumed)
        std::cerr << "Continued the imaging recorded in " << options.map << ".\n";
    switch (report.outcome) {
    case ImagingOutcome::Complete:
        std::cerr << "Imaged " << HumanSize(report.sizeBytes) << " into " << options.image << "; every sector was read.\n";
        return kExitDone;
    case ImagingOutcome::SomeUnreadable:
        std::cerr << "Imaged " << HumanSize(report.sizeBytes) << " into " << options.image << "; "
                  << report.unreadableBytes << " bytes (" << report.unreadableBytes / kSectorSize
                  << " sectors) could not be read and are zeros in the image.\n";
        return kExitFilesNotWritten;
    case ImagingOutcome::Stopped:
        std::cerr << "quorvex-cli: stopped by Ctrl-C; " << HumanSize(report.rescuedBytes) << " copied so far"
                  << (options.map.empty() ? "" : "; run the same command again to go on") << ".\n";
        return kExitInterrupted;
    case ImagingOutcome::ImageUnwritable:
        std::cerr << "quorvex-cli: " << report.message << '\n';
        return kExitFilesNotWritten;
    case ImagingOutcome::SourceUnavailable:
    case ImagingOutcome::MapRefused:
    case ImagingOutcome::DestinationRefused:
        break;
    }
    std::cerr << "quorvex-cli: " << report.message << '\n';
    return kExitSourceUnavailable;
}

}  // namespace quorvex::cli
