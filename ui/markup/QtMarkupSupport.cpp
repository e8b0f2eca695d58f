#include "QtMarkupSupport.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImageReader>
#include <QPalette>
#include <QUrl>

namespace quorvex::markup {

namespace {
Colorref FromQColor(const QColor& c) { return MakeColorref(c.red(), c.green(), c.blue()); }

// Markup images are small pictures; a forged file must not make us allocate gigabytes.
constexpr int kImageAllocationLimitMib = 64;

std::optional<ArgbImage> ReadImage(const QString& path)
{
    QImageReader reader(path);
    reader.setAllocationLimit(kImageAllocationLimitMib);
    const QImage image = reader.read();
    if (image.isNull())
        return std::nullopt;
    return ToArgbImage(image);
}
}  // namespace

Colorref PaletteSystemColor(SystemColor color)
{
    const QPalette palette = QGuiApplication::palette();
    switch (color) {
    case SystemColor::ActiveCaption:
    case SystemColor::Highlight:
        return FromQColor(palette.color(QPalette::Active, QPalette::Highlight));
    case SystemColor::CaptionText:
    case SystemColor::HighlightText:
        return FromQColor(palette.color(QPalette::Active, QPalette::HighlightedText));
    case SystemColor::AppWorkspace:
    case SystemColor::ButtonShadow:
    case SystemColor::ThreeDShadow:
    case SystemColor::InactiveCaption:
        return FromQColor(palette.color(QPalette::Mid));
    case SystemColor::Background:
        return FromQColor(palette.color(QPalette::Dark));
    case SystemColor::ButtonFace:
    case SystemColor::ThreeDFace:
    case SystemColor::ActiveBorder:
    case SystemColor::InactiveBorder:
    case SystemColor::Menu:
    case SystemColor::Scrollbar:
    case SystemColor::InactiveCaptionText:
        return FromQColor(palette.color(QPalette::Button));
    case SystemColor::ButtonHighlight:
    case SystemColor::ThreeDHighlight:
        return FromQColor(palette.color(QPalette::Light));
    case SystemColor::ThreeDLightShadow:
        return FromQColor(palette.color(QPalette::Midlight));
    case SystemColor::ThreeDDarkShadow:
        return FromQColor(palette.color(QPalette::Shadow));
    case SystemColor::ButtonText:
    case SystemColor::MenuText:
        return FromQColor(palette.color(QPalette::ButtonText));
    case SystemColor::GrayText:
        return FromQColor(palette.color(QPalette::Disabled, QPalette::Text));
    case SystemColor::InfoBackground:
        return FromQColor(palette.color(QPalette::ToolTipBase));
    case SystemColor::InfoText:
        return FromQColor(palette.color(QPalette::ToolTipText));
    case SystemColor::Window:
        return FromQColor(palette.color(QPalette::Base));
    case SystemColor::WindowFrame:
    case SystemColor::WindowText:
        return FromQColor(palette.color(QPalette::Text));
    }
    return ClassicSystemColor(color);
}

ArgbImage ToArgbImage(const QImage& source)
{
    const QImage image = source.convertToFormat(QImage::Format_ARGB32);
    ArgbImage out;
    out.width = image.width();
    out.height = image.height();
    out.pixels.resize(static_cast<std::size_t>(out.width) * out.height);
    for (int y = 0; y < out.height; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        std::copy(row, row + out.width, out.pixels.begin() + static_cast<std::ptrdiff_t>(y) * out.width);
    }
    return out;
}

std::optional<ArgbImage> QtMarkupImageProvider::ResourceImage(ImageTagKind, int id)
{
    const auto it = resourceImages_.find(id);
    if (it == resourceImages_.end())
        return std::nullopt;
    return ReadImage(it->second);
}

std::optional<ArgbImage> QtMarkupImageProvider::FileImage(const std::string& path)
{
    const QString file = QString::fromStdString(path);
    if (!QFileInfo(file).isFile())
        return std::nullopt;
    return ReadImage(file);
}

std::optional<ArgbImage> QtMarkupImageProvider::HandleImage(std::uint64_t handle)
{
    const auto it = handles_.find(handle);
    if (it == handles_.end() || it->second.isNull())
        return std::nullopt;
    return ToArgbImage(it->second);
}

std::optional<std::string> QtMarkupImageProvider::ResourceString(int id)
{
    const auto it = strings_.find(id);
    if (it == strings_.end())
        return std::nullopt;
    return it->second;
}

Size QtMarkupImageProvider::SystemIconSize()
{
    return {32, 32};
}

void OpenWithDesktop(const std::string& target)
{
    const QString text = QString::fromStdString(target);
    const QUrl url = QFileInfo::exists(text) ? QUrl::fromLocalFile(text) : QUrl::fromUserInput(text);
    QDesktopServices::openUrl(url);
}

}  // namespace quorvex::markup
