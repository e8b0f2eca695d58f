#pragma once

#include "VolumeSource.h"

#include <cstring>
#include <mutex>
#include <vector>

namespace quorvex::testing {

// A volume held in memory; every read is recorded so tests can check where the engine read. It
// may be read from two threads at once (a scan and its reassembly worker, through two openers).
class MemoryVolumeSource : public VolumeSource {
public:
    explicit MemoryVolumeSource(std::vector<unsigned char> bytes) : bytes_(std::move(bytes)) {}

    std::uint64_t SizeBytes() const override { return bytes_.size(); }

    ReadOutcome ReadAt(std::uint64_t offset, std::span<unsigned char> destination) override
    {
        {
            std::lock_guard lock(mutex_);
            reads_.push_back({offset, destination.size()});
        }
        if (offset >= bytes_.size())
            return {0, 0};
        const std::size_t n = std::min<std::uint64_t>(destination.size(), bytes_.size() - offset);
        std::memcpy(destination.data(), bytes_.data() + offset, n);
        return {n, 0};
    }

    struct Read {
        std::uint64_t offset;
        std::size_t length;
    };
    const std::vector<Read>& Reads() const { return reads_; }
    std::vector<unsigned char>& Bytes() { return bytes_; }

private:
    std::vector<unsigned char> bytes_;
    std::vector<Read> reads_;
    std::mutex mutex_;
};

// An opener that fails as a real one would, with this reason.
VolumeOpener FailingOpener(OpenFailure failure, std::string message);

// A volume of `sectorCount` sectors filled with `fill`, with signatures written at chosen sectors.
std::vector<unsigned char> MakeVolumeBytes(std::size_t sectorCount, unsigned char fill = 0);
void PutAtSector(std::vector<unsigned char>& volume, std::uint64_t sector, std::span<const unsigned char> bytes);

// The first bytes of a file of each kind, enough for its signature test.
std::vector<unsigned char> SignatureOf(std::string_view token);

}  // namespace quorvex::testing
