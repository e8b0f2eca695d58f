#pragma once

#include "FoundFileCatalogue.h"
#include "ScanEngine.h"
#include "VolumeSource.h"

#include <QImage>
#include <QObject>
#include <QString>
#include <atomic>
#include <thread>

namespace quorvex::preview {

// Which tokens get a fixed placeholder tile instead of a picture of the file.
enum class TileKind { Picture, CameraPlaceholder, MediaPlaceholder };
TileKind TileKindOf(std::string_view token);

// Builds the 100 × 100 tiles of one type's found files on a worker thread. Pictures are decoded
// straight from the volume, bounded to the bytes the catalogue gives each file (its extent, or in
// exact recovery its own length), so no temporary copy is written; RIFF and camera raw files share
// one placeholder tile. In exact recovery every tile carries its file's verdict mark. Reports come
// as queued signals, in order; a stop request is seen before each entry and while a picture is
// being read.
class ThumbnailBuilder : public QObject, public Stoppable {
    Q_OBJECT
public:
    explicit ThumbnailBuilder(QObject* parent = nullptr);
    ~ThumbnailBuilder() override;

    // Starts the pass over `catalogue` for `token`. The catalogue must not change until Finished.
    // `placeholderFolder` is looked in first for camera.bmp and mpg2.bmp, then the installed data
    // folder; the built-in pictures serve when they are in neither.
    void Start(const FoundFileCatalogue& catalogue, std::string token, VolumeOpener opener, QString placeholderFolder);
    void RequestStop() noexcept override { stopRequested_.store(1); }
    // Waits for the worker thread (it never waits for the UI thread, so this cannot deadlock).
    void Wait();
    bool IsRunning() const { return running_.load() != 0; }

    // The tile of one picture (for tests and the preview of a single file).
    static QImage PlaceholderTile(TileKind kind, const QString& placeholderFolder);

signals:
    // Position among the type's entries, in percent, only when it changes.
    void Progress(int percent);
    // Item `index` of the list: the entry's name and its tile.
    void TileReady(int index, const QString& name, const QImage& tile);
    void Finished(bool stopped);

private:
    void Run(const FoundFileCatalogue* catalogue, std::string token, VolumeOpener opener, QString placeholderFolder);

    std::thread thread_;
    std::atomic<int> running_{0};
    std::atomic<int> stopRequested_{0};
};

}  // namespace quorvex::preview
