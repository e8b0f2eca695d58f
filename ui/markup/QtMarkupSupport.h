#pragma once

#include "MarkupImages.h"
#include "MarkupStyle.h"

#include <QImage>
#include <QString>
#include <map>

namespace quorvex::markup {

// The desktop's colours for the markup's system colour names, from the application palette.
Colorref PaletteSystemColor(SystemColor color);

ArgbImage ToArgbImage(const QImage& image);

// Pictures and strings for the markup from Qt: the program's resource table (numbers mapped to
// resource paths such as ":/res/logo.png"), image files, registered handles and strings.
class QtMarkupImageProvider : public MarkupImageProvider {
public:
    void SetResourceImage(int id, QString path) { resourceImages_[id] = std::move(path); }
    void SetResourceString(int id, std::string text) { strings_[id] = std::move(text); }
    void RegisterHandle(std::uint64_t handle, QImage image) { handles_[handle] = std::move(image); }

    std::optional<ArgbImage> ResourceImage(ImageTagKind kind, int id) override;
    std::optional<ArgbImage> FileImage(const std::string& path) override;
    std::optional<ArgbImage> HandleImage(std::uint64_t handle) override;
    std::optional<std::string> ResourceString(int id) override;
    Size SystemIconSize() override;

private:
    std::map<int, QString> resourceImages_;
    std::map<int, std::string> strings_;
    std::map<std::uint64_t, QImage> handles_;
};

// Opens an "href" target with the desktop's launcher (web pages, files, mail addresses).
void OpenWithDesktop(const std::string& target);

}  // namespace quorvex::markup
