#pragma once

#include <QImage>
#include <QString>
#include <cstdint>

class QIODevice;

namespace quorvex::preview {

// A decoded picture of a found file. Every failure (missing file, wrong format, truncated or
// forged data) gives the empty image: width and height 0, and Stretch draws nothing. Whatever
// follows the picture's own data is ignored, and nothing past the end of the source is read.
class DecodedImage {
public:
    // Decoders refuse pictures that would need more memory than this.
    static constexpr int kAllocationLimitMib = 256;

    DecodedImage() = default;
    // Decodes the file as `format` (an identifier of ImageFormatFromFileName).
    DecodedImage(const QString& fileName, std::uint32_t format);
    // Decodes from a byte source; the source must be open for reading and may be sequential.
    // With `drawSize` the decoder may decode at a reduced size (JPEG's scaled decoding) no smaller
    // than needed to fill it; GetWidth and GetHeight still give the picture's own size. `reuse`,
    // when given, lends its pixel buffer to the decoder when the sizes agree.
    DecodedImage(QIODevice* source, std::uint32_t format, QSize drawSize = QSize(), QImage* reuse = nullptr);
    // A picture decoded elsewhere (a video's frame).
    explicit DecodedImage(QImage pixels);

    std::uint32_t GetWidth() const { return width_; }
    std::uint32_t GetHeight() const { return height_; }
    bool IsEmpty() const { return width_ == 0 || height_ == 0; }

    // Draws the whole picture scaled to width × height at (x, y) of `target`, picking whole source
    // pixels (no smoothing); the drawn pixels replace what was there. The empty image draws nothing.
    void Stretch(QImage& target, int x, int y, int width, int height) const;

    // Turns the picture upright as an Exif orientation (1 to 8) says it was stored; 5 to 8 swap
    // its width and height. Other values leave it as it is.
    void Orient(int orientation);

    // Frees the decoded pixels; the image becomes empty.
    void Destroy();

    const QImage& Pixels() const { return pixels_; }

private:
    void Decode(QIODevice* source, std::uint32_t format, QSize drawSize, QImage* reuse);
    // HEIC and AVIF through libheif (Qt has no reader of its own for them).
    void DecodeHeif(QIODevice* source);

    std::uint32_t width_ = 0, height_ = 0;
    QImage pixels_;
};

}  // namespace quorvex::preview
