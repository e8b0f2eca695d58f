#include "DecodedImage.h"

#include "ImageFormat.h"

#include <QFile>
#include <QImageReader>
#include <QTransform>
#include <cstring>
#include <libheif/heif.h>

namespace quorvex::preview {

namespace {

QByteArray ReaderFormat(std::uint32_t format)
{
    switch (format) {
    case format::kBmp:
        return "bmp";
    case format::kGif:
        return "gif";
    case format::kJpeg:
        return "jpeg";
    case format::kPng:
        return "png";
    case format::kIco:
        return "ico";
    case format::kTiff:
        return "tiff";
    case format::kTga:
        return "tga";
    case format::kPnm:
        return "ppm";
    case format::kJp2:
    case format::kJpc:
        return "jp2";
    case format::kWebp:
        return "webp";
    default:
        return {};
    }
}

}  // namespace

DecodedImage::DecodedImage(const QString& fileName, std::uint32_t format)
{
    QFile file(fileName);
    if (file.open(QIODevice::ReadOnly))
        Decode(&file, format, QSize(), nullptr);
}

DecodedImage::DecodedImage(QIODevice* source, std::uint32_t format, QSize drawSize, QImage* reuse)
{
    if (source != nullptr && source->isReadable())
        Decode(source, format, drawSize, reuse);
}

DecodedImage::DecodedImage(QImage pixels)
{
    if (pixels.isNull())
        return;
    width_ = static_cast<std::uint32_t>(pixels.width());
    height_ = static_cast<std::uint32_t>(pixels.height());
    pixels_ = std::move(pixels);
}

void DecodedImage::DecodeHeif(QIODevice* source)
{
    const QByteArray bytes = source->read(static_cast<qint64>(kAllocationLimitMib) << 20);
    heif_context* context = heif_context_alloc();
    heif_image_handle* handle = nullptr;
    heif_image* image = nullptr;
    if (heif_context_read_from_memory_without_copy(context, bytes.constData(), static_cast<size_t>(bytes.size()), nullptr)
                .code == heif_error_Ok &&
        heif_context_get_primary_image_handle(context, &handle).code == heif_error_Ok) {
        const int width = heif_image_handle_get_width(handle), height = heif_image_handle_get_height(handle);
        // The same memory bound as Qt's decoders: 4 bytes a pixel.
        const bool allowed = width > 0 && height > 0 &&
                             static_cast<long long>(width) * height * 4 <= (static_cast<long long>(kAllocationLimitMib) << 20);
        if (allowed && heif_decode_image(handle, &image, heif_colorspace_RGB, heif_chroma_interleaved_RGB, nullptr).code ==
                           heif_error_Ok) {
            int stride = 0;
            const std::uint8_t* plane = heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
            if (plane != nullptr) {
                QImage decoded(width, height, QImage::Format_RGB888);
                for (int y = 0; y < height; ++y)
                    std::memcpy(decoded.scanLine(y), plane + static_cast<std::ptrdiff_t>(y) * stride,
                                static_cast<std::size_t>(width) * 3);
                width_ = static_cast<std::uint32_t>(width);
                height_ = static_cast<std::uint32_t>(height);
                pixels_ = std::move(decoded);
            }
        }
    }
    heif_image_release(image);
    heif_image_handle_release(handle);
    heif_context_free(context);
}

void DecodedImage::Decode(QIODevice* source, std::uint32_t format, QSize drawSize, QImage* reuse)
{
    if (format == format::kHeif) {
        DecodeHeif(source);
        return;
    }
    const QByteArray name = ReaderFormat(format);
    if (name.isEmpty())
        return;
    QImageReader reader(source, name);
    reader.setAllocationLimit(kAllocationLimitMib);
    reader.setDecideFormatFromContent(false);
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty())
        return;
    // A JPEG can be decoded at 1/2, 1/4 or 1/8 of its size by the codec itself: ask for the
    // smallest size that still covers the tile, so a 12-megapixel photo is never decoded whole
    // for a 100-pixel tile.
    if (drawSize.isValid() && !drawSize.isEmpty() && reader.supportsOption(QImageIOHandler::ScaledSize) &&
        format == format::kJpeg) {
        int divisor = 1;
        while (divisor < 8 && size.width() / (divisor * 2) >= drawSize.width() &&
               size.height() / (divisor * 2) >= drawSize.height())
            divisor *= 2;
        if (divisor > 1)
            reader.setScaledSize(QSize((size.width() + divisor - 1) / divisor, (size.height() + divisor - 1) / divisor));
    }
    QImage decoded;
    QImage* target = reuse != nullptr ? reuse : &decoded;
    if (!reader.read(target) || target->isNull())
        return;
    pixels_ = reuse != nullptr ? *reuse : std::move(decoded);
    width_ = static_cast<std::uint32_t>(size.width());
    height_ = static_cast<std::uint32_t>(size.height());
}

void DecodedImage::Stretch(QImage& target, int x, int y, int width, int height) const
{
    if (IsEmpty() || pixels_.isNull() || width <= 0 || height <= 0)
        return;
    const QImage source = pixels_.convertToFormat(QImage::Format_RGB888);
    const int sw = source.width(), sh = source.height();
    for (int ty = 0; ty < height; ++ty) {
        const int dy = y + ty;
        if (dy < 0 || dy >= target.height())
            continue;
        const int sy = static_cast<int>(static_cast<long long>(ty) * sh / height);
        const uchar* sourceRow = source.constScanLine(sy);
        for (int tx = 0; tx < width; ++tx) {
            const int dx = x + tx;
            if (dx < 0 || dx >= target.width())
                continue;
            const int sx = static_cast<int>(static_cast<long long>(tx) * sw / width);
            const uchar* p = sourceRow + 3 * sx;
            target.setPixel(dx, dy, qRgb(p[0], p[1], p[2]));
        }
    }
}

void DecodedImage::Destroy()
{
    pixels_ = QImage();
    width_ = height_ = 0;
}

void DecodedImage::Orient(int orientation)
{
    if (IsEmpty() || orientation < 2 || orientation > 8)
        return;
    // Orientations 2 to 8: mirrored, turned half way, mirrored upside down, transposed, turned a
    // quarter clockwise, transversed, turned a quarter counter-clockwise.
    const bool mirror = orientation == 2 || orientation == 4 || orientation == 5 || orientation == 7;
    const int turn[] = {0, 0, 0, 180, 180, 270, 90, 90, 270};
    if (mirror)
        pixels_ = pixels_.mirrored(true, false);
    if (turn[orientation] != 0)
        pixels_ = pixels_.transformed(QTransform().rotate(turn[orientation]));
    if (orientation >= 5)
        std::swap(width_, height_);
}

}  // namespace quorvex::preview
