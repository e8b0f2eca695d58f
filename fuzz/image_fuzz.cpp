// libFuzzer target: the image service decoding one format (chosen when built) from a byte source,
// as the thumbnails do, then drawing it into a tile.
#include "DecodedImage.h"
#include "ThumbnailTile.h"

#include <QBuffer>
#include <QGuiApplication>
#include <cstddef>
#include <cstdint>

#ifndef QUORVEX_FUZZ_FORMAT
#error "QUORVEX_FUZZ_FORMAT names the image format identifier to fuzz"
#endif

using namespace quorvex::preview;

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    const DecodedImage image(&buffer, QUORVEX_FUZZ_FORMAT, QSize(kTileSize, kTileSize));
    const QImage tile = MakeTile(image);
    return tile.isNull() ? 1 : 0;
}
