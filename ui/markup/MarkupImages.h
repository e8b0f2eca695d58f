#pragma once

#include "MarkupCanvas.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorvex::markup {

enum class ImageTagKind { Bitmap, Icon, ImageList };

// Where the markup's pictures and strings come from: the program's resource table by number, image
// files, and handles registered by the program. Answers nothing for what it does not have.
class MarkupImageProvider {
public:
    virtual ~MarkupImageProvider() = default;
    virtual std::optional<ArgbImage> ResourceImage(ImageTagKind kind, int id) = 0;
    virtual std::optional<ArgbImage> FileImage(const std::string& path) = 0;
    virtual std::optional<ArgbImage> HandleImage(std::uint64_t handle) = 0;
    virtual std::optional<std::string> ResourceString(int id) = 0;
    // The size an icon takes when the markup gives none.
    virtual Size SystemIconSize() { return {32, 32}; }
};

// The image transformed by the style letters: "g" grey (0.299 R + 0.587 G + 0.114 B), "d"
// darker (× 0.75), "l" lighter (× 1.25, at most 255), applied in that order. Pixels of the mask
// colour (when given) become fully transparent.
ArgbImage ApplyImageStyle(const ArgbImage& image, std::string_view letters, std::optional<Colorref> mask);

// The shape of `image` (its alpha) filled with `color`; with `soft`, blurred by a box of
// blurX × blurY and grown by the blur on every side (the returned offset says by how much).
struct ShadowImage {
    ArgbImage image;
    Point offset;  // where the shadow's top-left lies relative to the image's
};
ShadowImage MakeShadow(const ArgbImage& image, Colorref color, bool soft, int blurX, int blurY);

// Frame `index` of a strip of frames `frameWidth` × `frameHeight`, left to right then top to
// bottom; empty when the strip has no such frame.
ArgbImage StripFrame(const ArgbImage& strip, int frameWidth, int frameHeight, int index);

}  // namespace quorvex::markup
