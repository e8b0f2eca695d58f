#include "EntryTileMaker.h"

#include "DecodedImage.h"
#include "ExtentDevice.h"
#include "ImageFormat.h"
#include "ThumbnailTile.h"
#include "VideoFrame.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <algorithm>

namespace quorvex::preview {

namespace {

// An extent device that gives up when a stop is requested, so a long read ends early.
class StoppableExtentDevice : public ExtentDevice {
public:
    StoppableExtentDevice(VolumeReader& reader, std::vector<ByteRange> pieces, const std::atomic<int>& stop)
        : ExtentDevice(reader, std::move(pieces)), stop_(stop)
    {
    }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        if (stop_.load(std::memory_order_relaxed))
            return -1;
        return ExtentDevice::readData(data, maxSize);
    }

private:
    const std::atomic<int>& stop_;
};

}  // namespace

TileKind TileKindOf(std::string_view token)
{
    static constexpr std::string_view kRaws[] = {"RAF", "NEF", "MRW", "DCR", "CRW", "CR2",
                                                 "CR3", "ARW", "DNG", "ORF", "RW2", "PEF"};
    static constexpr std::string_view kVideos[] = {"MP4", "MOV", "3GP", "MTS", "AVI"};
    if (token == "RIFF" || token == "WAV")
        return TileKind::MediaPlaceholder;
    if (std::find(std::begin(kRaws), std::end(kRaws), token) != std::end(kRaws))
        return TileKind::CameraPlaceholder;
    if (std::find(std::begin(kVideos), std::end(kVideos), token) != std::end(kVideos))
        return TileKind::Video;
    return TileKind::Picture;
}

bool PlaysAsMedia(std::string_view token)
{
    const TileKind kind = TileKindOf(token);
    return kind == TileKind::MediaPlaceholder || kind == TileKind::Video;
}

EntryTileMaker::EntryTileMaker(std::string token, QString placeholderFolder, PhotoFactsTable* facts)
    : token_(std::move(token)), facts_(facts), placeholderFolder_(std::move(placeholderFolder)), kind_(TileKindOf(token_)),
      format_(ImageFormatFromFileName("temp." + token_))
{
}

QImage EntryTileMaker::PlaceholderTile(TileKind kind, const QString& placeholderFolder)
{
    // The given folder (the current directory), then the installed data folder, then the
    // pictures built into the program.
    const QString name = kind == TileKind::CameraPlaceholder ? "camera.bmp" : "mpg2.bmp";  // media and video
    QString path = ":/res/" + name;
    const QString installed = QCoreApplication::applicationDirPath() + "/../share/quorvex/" + name;
    if (!placeholderFolder.isEmpty() && QFile::exists(QDir(placeholderFolder).filePath(name)))
        path = QDir(placeholderFolder).filePath(name);
    else if (QFile::exists(installed))
        path = installed;
    return MakeTile(DecodedImage(path, ImageFormatFromFileName(name.toStdString())));
}

bool EntryTileMaker::ReadsMetadata() const
{
    return MetadataBytesOf(token_, 1) > 0;
}

QImage EntryTileMaker::Placeholder(Verdict verdict)
{
    QImage& placeholder = placeholders_[static_cast<int>(verdict)];
    if (placeholder.isNull()) {
        placeholder = PlaceholderTile(kind_, placeholderFolder_);
        DrawVerdictMark(placeholder, verdict);
    }
    return placeholder;  // the same image, shared by every item
}

std::optional<QImage> EntryTileMaker::Make(const FoundFileCatalogue& catalogue, std::uint64_t index,
                                           VolumeReader* reader, const std::atomic<int>& stop)
{
    const Verdict verdict = catalogue.VerdictAt(index);
    std::optional<PhotoMetadata> metadata;
    if (facts_ != nullptr && reader != nullptr && catalogue.Mode() == RecoveryMode::Exact && ReadsMetadata()) {
        // A raw file's preview is asked for as wide as a tile; pictures decode their own pixels.
        metadata = ReadFoundFileMetadata(*reader, catalogue, index, kind_ == TileKind::Picture ? 0 : kTileSize);
        facts_->Put(index, metadata->facts);
        if (stop.load())
            return std::nullopt;
    }
    const int orientation = metadata ? metadata->facts.orientation : 1;
    if (kind_ == TileKind::Video) {
        if (reader != nullptr) {
            StoppableExtentDevice device(*reader, catalogue.PiecesAt(index), stop);
            device.open(QIODevice::ReadOnly);
            QImage frame = FirstVideoFrame(&device, QSize(kTileSize, kTileSize));
            if (stop.load())
                return std::nullopt;
            if (!frame.isNull()) {
                QImage tile = MakeTile(DecodedImage(std::move(frame)));
                DrawFilmMark(tile);
                DrawVerdictMark(tile, verdict);
                return tile;
            }
        }
        return Placeholder(verdict);
    }
    if (kind_ != TileKind::Picture) {
        if (metadata && !metadata->preview.empty()) {
            QByteArray bytes(reinterpret_cast<const char*>(metadata->preview.data()),
                             static_cast<qsizetype>(metadata->preview.size()));
            QBuffer device(&bytes);
            device.open(QIODevice::ReadOnly);
            DecodedImage picture(&device, ImageFormatFromFileName("preview.JPG"), QSize(kTileSize, kTileSize));
            if (!picture.IsEmpty()) {
                picture.Orient(orientation);
                QImage tile = MakeTile(picture);
                DrawVerdictMark(tile, verdict);
                return tile;
            }
        }
        return Placeholder(verdict);
    }
    if (format_ == 0)
        return std::nullopt;  // a token whose name maps to no picture format gets no item
    if (reader == nullptr) {
        if (token_ == "JPG")
            return MakeTile(DecodedImage());
        return std::nullopt;
    }
    StoppableExtentDevice device(*reader, catalogue.PiecesAt(index), stop);
    device.open(QIODevice::ReadOnly);
    DecodedImage picture(&device, format_, QSize(kTileSize, kTileSize), &decodeBuffer_);
    if (stop.load())
        return std::nullopt;
    picture.Orient(orientation);
    QImage tile = MakeTile(picture);
    DrawVerdictMark(tile, verdict);
    return tile;
}

}  // namespace quorvex::preview
