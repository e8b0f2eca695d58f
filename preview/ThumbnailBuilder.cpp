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

void ThumbnailBuilder::Start(const FoundFileCatalogue& catalogue, FoundFileGroup group, VolumeOpener opener,
                             QString placeholderFolder, PhotoFactsTable* facts)
{
    RequestStop();
    Wait();
    stopRequested_.store(0);
    running_.store(1);
    thread_ = std::thread([this, &catalogue, group = std::move(group), opener = std::move(opener),
                           folder = std::move(placeholderFolder), facts]() mutable {
        Run(&catalogue, std::move(group), std::move(opener), std::move(folder), facts);
    });
}

void ThumbnailBuilder::Run(const FoundFileCatalogue* catalogue, FoundFileGroup group, VolumeOpener opener,
                           QString placeholderFolder, PhotoFactsTable* facts)
{
    GroupTileMakers makers(std::move(placeholderFolder), facts);
    const std::uint64_t count = group.Count(*catalogue);
    VolumeReader reader;
    bool tried = false, opened = false;
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
        const std::uint64_t index = group.IndexAt(*catalogue, position);
        EntryTileMaker& maker = makers.For(std::string(catalogue->TokenAt(index)));
        if (!tried && maker.NeedsVolume()) {
            tried = true;  // opened once, for the first file that needs it
            opened = reader.Open(opener).ok();
        }
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
