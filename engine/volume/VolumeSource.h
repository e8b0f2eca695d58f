#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

namespace quorvex {

// Every size on a volume is counted in sectors of this many bytes, whatever the device says.
inline constexpr std::size_t kSectorSize = 512;

// What one read at a byte offset really transferred.
// bytesRead < asked with error == 0 means the end of the volume was reached;
// error != 0 (an errno value) means the device failed after bytesRead bytes.
struct ReadOutcome {
    std::size_t bytesRead = 0;
    int error = 0;
};

// Where a volume's bytes come from: a block device, a disk image file, or a test double.
// Implementations are read-only; nothing is ever written through this interface.
class VolumeSource {
public:
    virtual ~VolumeSource() = default;

    // Size of the volume in bytes, as known when it was opened.
    virtual std::uint64_t SizeBytes() const = 0;

    // Reads up to destination.size() bytes starting at byte `offset`.
    virtual ReadOutcome ReadAt(std::uint64_t offset, std::span<unsigned char> destination) = 0;
};

enum class OpenFailure {
    None,
    NotFound,          // no such file or device
    PermissionDenied,  // raw devices need root or the disk group
    NotAVolume,        // a directory, a pipe, or another kind of file that holds no sectors
    EmptyVolume,       // size 0: no medium, or an empty image
    Other,
};

// Whether a volume could be opened, and if not, why.
struct OpenStatus {
    OpenFailure failure = OpenFailure::None;
    std::string message;  // a sentence for the user when the open failed

    bool ok() const { return failure == OpenFailure::None; }
};

// The result of opening a volume: an owning handle, or the reason why there is none.
struct VolumeOpenResult {
    std::unique_ptr<VolumeSource> source;
    OpenFailure failure = OpenFailure::None;
    std::string message;  // a sentence for the user when source is null

    bool ok() const { return source != nullptr; }
};

// Opens the volume anew for one worker run; every call gives an independent source, so two runs
// never share a file position or a buffer.
using VolumeOpener = std::function<VolumeOpenResult()>;

}  // namespace quorvex
