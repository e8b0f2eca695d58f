#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace quorvex::cli {

// A one-line progress bar redrawn in place on a terminal; does nothing when the stream is not one.
class TerminalProgress {
public:
    explicit TerminalProgress(std::FILE* stream);
    ~TerminalProgress() { Clear(); }

    void Show(const std::string& label, int percent, const std::string& detail);
    // Erases the line so that ordinary output can follow.
    void Clear();

private:
    std::FILE* stream_;
    bool enabled_;
    bool shown_ = false;
};

// A size for people: "512 bytes", "12.5 KB", "3.1 MB", "1.8 GB" (powers of 1024).
std::string HumanSize(std::uint64_t bytes);

}  // namespace quorvex::cli
