#include "TerminalProgress.h"

#include <unistd.h>

namespace quorvex::cli {

TerminalProgress::TerminalProgress(std::FILE* stream) : stream_(stream), enabled_(::isatty(::fileno(stream)) != 0) {}

void TerminalProgress::Show(const std::string& label, int percent, const std::string& detail)
{
    if (!enabled_)
        return;
    constexpr int kWidth = 30;
    const int filled = percent * kWidth / 100;
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(kWidth - filled), '.');
    std::string text = detail.size() > 40 ? "..." + detail.substr(detail.size() - 37) : detail;
    std::fprintf(stream_, "\r\033[K%-8s [%s] %3d%%  %s", label.c_str(), bar.c_str(), percent, text.c_str());
    std::fflush(stream_);
    shown_ = true;
}

void TerminalProgress::Clear()
{
    if (!shown_)
        return;
    std::fprintf(stream_, "\r\033[K");
    std::fflush(stream_);
    shown_ = false;
}

std::string HumanSize(std::uint64_t bytes)
{
    if (bytes < 1024)
        return std::to_string(bytes) + " bytes";
    static const char* units[] = {"KB", "MB", "GB", "TB", "PB"};
    double value = static_cast<double>(bytes) / 1024.0;
    int unit = 0;
    while (value >= 1024.0 && unit < 4) {
        value /= 1024.0;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
    return text;
}

}  // namespace quorvex::cli
