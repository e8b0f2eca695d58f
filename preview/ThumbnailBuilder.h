#pragma once

#include "FoundFileGroup.h"

#include "PhotoFactsTable.h"

#include "EntryTileMaker.h"
#include "FoundFileCatalogue.h"
#include "ScanEngine.h"
#include "VolumeSource.h"

#include <QImage>
#include <QObject>
#include <QString>
#include <atomic>
#include <thread>

namespace quorvex::preview {

// Builds the tiles of a group's found files (a type's, or a card folder's), one after the other, on a worker thread (the
// results list of a type with few files fills as they come). Reports come as queued signals, in
// order; a stop request is seen before each entry and while a picture is being read.
class ThumbnailBuilder : public QObject, public Stoppable {
    Q_OBJECT
public:
    explicit ThumbnailBuilder(QObject* parent = nullptr);
    ~ThumbnailBuilder() override;

    // Starts the pass over `catalogue` for the files of `group`. The catalogue must not change
    // until Finished.
    void Start(const FoundFileCatalogue& catalogue, FoundFileGroup group, VolumeOpener opener, QString placeholderFolder,
               PhotoFactsTable* facts = nullptr);
    void RequestStop() noexcept override { stopRequested_.store(1); }
    // Waits for the worker thread (it never waits for the UI thread, so this cannot deadlock).
    void Wait();
    bool IsRunning() const { return running_.load() != 0; }

signals:
    // Position among the group's files, in percent, only when it changes.
    void Progress(int percent);
    // The tile of the group's file at `position` (from 0, in catalogue order).
    void TileReady(qulonglong position, const QImage& tile);
    void Finished(bool stopped);

private:
    void Run(const FoundFileCatalogue* catalogue, FoundFileGroup group, VolumeOpener opener, QString placeholderFolder,
             PhotoFactsTable* facts);

    std::thread thread_;
    std::atomic<int> running_{0};
    std::atomic<int> stopRequested_{0};
};

}  // namespace quorvex::preview
