#include "TileFetcher.h"

#include "ThumbnailTile.h"

#include <algorithm>

namespace quorvex::preview {

TileFetcher::TileFetcher(QObject* parent) : QObject(parent) {}

TileFetcher::~TileFetcher()
{
    Stop();
}

std::uint64_t TileFetcher::Begin(const FoundFileCatalogue& catalogue, FoundFileGroup group, VolumeOpener opener,
                                 QString placeholderFolder, PhotoFactsTable* facts)
{
    Stop();
    quit_ = false;
    stop_.store(0);
    const std::uint64_t generation = ++generation_;
    thread_ = std::thread([this, &catalogue, group = std::move(group), opener = std::move(opener),
                           folder = std::move(placeholderFolder), facts, generation]() mutable {
        Run(&catalogue, std::move(group), std::move(opener), std::move(folder), facts, generation);
    });
    return generation;
}

void TileFetcher::Ask(const std::vector<std::uint64_t>& positions)
{
    {
        std::lock_guard lock(mutex_);
        // Front to back in the order given: the last one inserted goes first, so insert backwards.
        for (auto p = positions.rbegin(); p != positions.rend(); ++p) {
            if (const auto old = std::find(waiting_.begin(), waiting_.end(), *p); old != waiting_.end())
                waiting_.erase(old);
            waiting_.push_front(*p);
        }
        while (waiting_.size() > kMaxWaiting)
            waiting_.pop_back();
    }
    wake_.notify_one();
}

void TileFetcher::Stop()
{
    if (!thread_.joinable())
        return;
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
        waiting_.clear();
    }
    stop_.store(1);
    wake_.notify_one();
    thread_.join();
}

void TileFetcher::WaitUntilIdle()
{
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return quit_ || (waiting_.empty() && !working_); });
}

void TileFetcher::Run(const FoundFileCatalogue* catalogue, FoundFileGroup group, VolumeOpener opener,
                      QString placeholderFolder, PhotoFactsTable* facts, std::uint64_t generation)
{
    GroupTileMakers makers(std::move(placeholderFolder), facts);
    const std::uint64_t count = group.Count(*catalogue);
    VolumeReader reader;
    bool tried = false, opened = false;
    for (;;) {
        std::uint64_t position = 0;
        {
            std::unique_lock lock(mutex_);
            working_ = false;
            idle_.notify_all();
            wake_.wait(lock, [this] { return quit_ || !waiting_.empty(); });
            if (quit_)
                break;
            position = waiting_.front();
            waiting_.pop_front();
            working_ = true;
        }
        if (position >= count)
            continue;
        const std::uint64_t index = group.IndexAt(*catalogue, position);
        EntryTileMaker& maker = makers.For(std::string(catalogue->TokenAt(index)));
        if (!tried && maker.NeedsVolume()) {
            tried = true;  // opened once, on the first picture asked for
            opened = opener && reader.Open(opener).ok();
        }
        std::optional<QImage> tile = maker.Make(*catalogue, index, opened ? &reader : nullptr, stop_);
        if (stop_.load())
            break;
        // A row always has an item here: one whose picture cannot be made shows a blank tile.
        emit TileMade(generation, position, tile ? *tile : MakeTile(DecodedImage()));
    }
    std::lock_guard lock(mutex_);
    working_ = false;
    idle_.notify_all();
}

}  // namespace quorvex::preview
