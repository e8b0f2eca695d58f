#pragma once

#include <cstddef>
#include <string>

namespace quorvex {

// A file created (or emptied) for writing bytes unchanged, closed when the object goes away.
class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile() { Close(); }
    OutputFile(OutputFile&& other) noexcept;
    OutputFile& operator=(OutputFile&& other) noexcept;
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates `path`, or empties it if it exists. Returns 0 or the errno of the failure.
    int Create(const std::string& path);

    // Writes all `size` bytes. Returns 0 or the errno of the failure (ENOSPC for a full disk).
    int Write(const void* data, std::size_t size);

    // Closes the file. Returns 0 or the errno of a failure reported at close (a late write error).
    int Close();

    bool IsOpen() const { return fd_ >= 0; }

private:
    int fd_ = -1;
};

}  // namespace quorvex
