#include "ImageFormat.h"

#include <cctype>

namespace quorvex::preview {

namespace {

bool EndsWithNoCase(std::string_view name, std::string_view suffix)
{
    if (name.size() < suffix.size())
        return false;
    const std::string_view tail = name.substr(name.size() - suffix.size());
    for (std::size_t i = 0; i < suffix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(tail[i])) != suffix[i])
            return false;
    return true;
}

}  // namespace

std::uint32_t ImageFormatFromFileName(std::string_view name)
{
    struct Rule {
        std::string_view suffix;
        std::uint32_t format;
    };
    // In this order; the first match decides.
    static constexpr Rule kRules[] = {
        {"bmp", format::kBmp},  {"gif", format::kGif},  {"jpg", format::kJpeg}, {"jpeg", format::kJpeg},
        {"png", format::kPng},  {"ico", format::kIco},  {"tif", format::kTiff}, {"tiff", format::kTiff},
        {"tga", format::kTga},  {"pcx", format::kPcx},  {"wmf", format::kWmf},  {"emf", format::kWmf},
        {"j2k", format::kJp2},  {"jp2", format::kJp2},  {"j2c", format::kJpc},  {"jpc", format::kJpc},
        {"pgx", format::kPgx},  {"pnm", format::kPnm},  {"pgm", format::kPnm},  {"ppm", format::kPnm},
        {"ras", format::kRas},  {"webp", format::kWebp}, {"heic", format::kHeif}, {"heif", format::kHeif},
        {"avif", format::kHeif},
    };
    for (const Rule& rule : kRules)
        if (EndsWithNoCase(name, rule.suffix))
            return rule.format;
    return format::kUnknown;
}

}  // namespace quorvex::preview
