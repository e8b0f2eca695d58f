#include "ThumbnailBuilder.h"

namespace quorvex::preview {

ThumbnailBuilder::ThumbnailBuilder(QObject* parent) : QObject(parent) {}

ThumbnailBuilder::~ThumbnailBuilder()
{
    RequestStop();
    Wait();
}

void ThumbnailBuilder::Wait()
{
    if (thread_.joinable())
        thread_.join();
}

void ThumbnailBuilder::Start(const FoundFileCatalogue& catalogue, std::string token, VolumeOpener opener,
                             QString placeholderFolder, PhotoFactsTable* facts)
{
    RequestStop();
    Wait();
    stopRequested_.store(0);
    running_.store(1);
    thread_ = std::thread([this, &catalogue, token = std::move(token), opener = std::move(opener),
                           folder = std::move(placeholderFolder), facts]() mutable {
        Run(&catalogue, std::move(token), std::move(opener), std::move(folder), facts);
    });
}

void ThumbnailBuilder::Run(const FoundFileCatalogue* catalogue, std::string token, VolumeOpener opener,
                           QString placeholderFolder, PhotoFactsTable* facts)
{
    EntryTileMaker maker(token, std::move(placeholderFolder), facts);
    const std::uint64_t count = catalogue->CountOfType(token);
    VolumeReader reader;
    const bool opened = maker.NeedsVolume() && reader.Open(opener).ok();
    int lastPercent = -1;
    bool stopped = false;
    for (std::uint64_t position = 0; position < count; ++position) {
        if (stopRequested_.load()) {
            stopped = true;
            break;
        }
        const int percent = static_cast<int>(position * 100 / count);
        if (percent != lastPercent) {
            lastPercent = percent;
            emit Progress(percent);
        }
        const std::uint64_t index = catalogue->IndexOfTypeEntry(token, position);
        const std::optional<QImage> tile = maker.Make(*catalogue, index, opened ? &reader : nullptr, stopRequested_);
        if (stopRequested_.load()) {
            stopped = true;
            break;
        }
        if (tile)
            emit TileReady(position, *tile);
    }
    running_.store(0);
    stopRequested_.store(0);
    emit Finished(stopped);
}

}  // namespace quorvex::preview
