#include "ThumbnailBuilder.h"

#include "DecodedImage.h"
#include "ExtentDevice.h"
#include "ImageFormat.h"
#include "ThumbnailTile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

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
    if (token == "RIFF")
        return TileKind::MediaPlaceholder;
    if (token == "RAF" || token == "NEF" || token == "MRW" || token == "DCR" || token == "CRW")
        return TileKind::CameraPlaceholder;
    return TileKind::Picture;
}

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

QImage ThumbnailBuilder::PlaceholderTile(TileKind kind, const QString& placeholderFolder)
{
    // The given folder (the current directory), then the installed data folder, then the
    // pictures built into the program.
    const QString name = kind == TileKind::CameraPlaceholder ? "camera.bmp" : "mpg2.bmp";
    QString path = ":/res/" + name;
    const QString installed = QCoreApplication::applicationDirPath() + "/../share/quorvex/" + name;
    if (!placeholderFolder.isEmpty() && QFile::exists(QDir(placeholderFolder).filePath(name)))
        path = QDir(placeholderFolder).filePath(name);
    else if (QFile::exists(installed))
        path = installed;
    return MakeTile(DecodedImage(path, ImageFormatFromFileName(name.toStdString())));
}

void ThumbnailBuilder::Start(const FoundFileCatalogue& catalogue, std::string token, VolumeOpener opener,
                             QString placeholderFolder)
{
    RequestStop();
    Wait();
    stopRequested_.store(0);
    running_.store(1);
    thread_ = std::thread([this, &catalogue, token = std::move(token), opener = std::move(opener),
                           folder = std::move(placeholderFolder)]() mutable {
        Run(&catalogue, std::move(token), std::move(opener), std::move(folder));
    });
}

void ThumbnailBuilder::Run(const FoundFileCatalogue* catalogue, std::string token, VolumeOpener opener,
                           QString placeholderFolder)
{
    const TileKind kind = TileKindOf(token);
    const std::uint32_t format = ImageFormatFromFileName("temp." + token);
    const std::uint64_t count = catalogue->CountOfType(token);
    VolumeReader reader;
    bool opened = false;
    if (kind == TileKind::Picture)
        opened = reader.Open(opener).ok();
    QImage placeholders[4];  // one per verdict mark, each shared by every item that has it
    QImage decodeBuffer;  // lent to every decode, so large pictures do not allocate anew each time
    int lastPercent = -1;
    int index = 0;
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
        const std::uint64_t i = catalogue->IndexOfTypeEntry(token, position);
        const FoundFileEntry entry = catalogue->EntryAt(i);
        const QString name = QString::fromStdString(entry.name);
        if (kind != TileKind::Picture) {
            QImage& placeholder = placeholders[static_cast<int>(entry.verdict)];
            if (placeholder.isNull()) {
                placeholder = PlaceholderTile(kind, placeholderFolder);
                DrawVerdictMark(placeholder, entry.verdict);
            }
            emit TileReady(index, name, placeholder);  // the same image, shared by every item
        } else if (format == 0) {
            // A token whose name maps to no picture format gets no item.
        } else if (!opened) {
            if (token == "JPG")
                emit TileReady(index, name, MakeTile(DecodedImage()));
        } else {
            StoppableExtentDevice device(reader, catalogue->PiecesAt(i), stopRequested_);
            device.open(QIODevice::ReadOnly);
            const DecodedImage picture(&device, format, QSize(kTileSize, kTileSize), &decodeBuffer);
            if (stopRequested_.load()) {
                stopped = true;
                break;
            }
            QImage tile = MakeTile(picture);
            DrawVerdictMark(tile, entry.verdict);
            emit TileReady(index, name, tile);
        }
        ++index;
    }
    running_.store(0);
    stopRequested_.store(0);
    emit Finished(stopped);
}

}  // namespace quorvex::preview
