#pragma once

#include "FoundFileGroup.h"

#include "PhotoFactsTable.h"

#include "EntryTileMaker.h"
#include "FoundFileCatalogue.h"
#include "VolumeSource.h"

#include <QImage>
#include <QObject>
#include <QString>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>

namespace quorvex::preview {

// Makes the tiles the results list asks for, on a worker thread of its own: the rows asked for
// last come first (they are the ones in view), and when the user scrolls faster than tiles are
// made the oldest requests are dropped, never the newest. Tiles come as queued signals.
class TileFetcher : public QObject {
    Q_OBJECT
public:
    // How many asked-for rows wait at most; more than a few screens of tiles.
    static constexpr std::size_t kMaxWaiting = 256;

    explicit TileFetcher(QObject* parent = nullptr);
    ~TileFetcher() override;

    // Serves the files of `group` in `catalogue` from now on; the catalogue must not change
    // until Stop. Returns the generation that the tiles made for it carry.
    std::uint64_t Begin(const FoundFileCatalogue& catalogue, FoundFileGroup group, VolumeOpener opener,
                        QString placeholderFolder, PhotoFactsTable* facts = nullptr);
    // Asks for the tiles of these rows (positions among the group's files), first ones first,
    // ahead of what was asked before.
    void Ask(const std::vector<std::uint64_t>& positions);
    // Drops every request and waits for the worker to end; the catalogue may change after it.
    void Stop();
    bool Serving() const { return thread_.joinable(); }
    // Waits until every request asked so far has been served (for tests and benchmarks).
    void WaitUntilIdle();

signals:
    void TileMade(qulonglong generation, qulonglong position, const QImage& tile);

private:
    void Run(const FoundFileCatalogue* catalogue, FoundFileGroup group, VolumeOpener opener, QString placeholderFolder,
             PhotoFactsTable* facts, std::uint64_t generation);

    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable wake_, idle_;
    std::deque<std::uint64_t> waiting_;  // guarded by mutex_
    bool quit_ = false;                  // guarded by mutex_
    bool working_ = false;               // guarded by mutex_
    std::atomic<int> stop_{0};           // seen during a picture's read
    std::uint64_t generation_ = 0;
};

}  // namespace quorvex::preview
