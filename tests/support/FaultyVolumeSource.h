#pragma once

#include "VolumeSource.h"

#include <functional>
#include <memory>
#include <map>
#include <set>
#include <vector>

namespace quorvex::testing {

// Wraps another source and misbehaves on purpose: chosen sectors fail with EIO (a read that
// reaches one returns the sectors before it and the error), and reads can be cut short.
class FaultyVolumeSource : public VolumeSource {
public:
    explicit FaultyVolumeSource(std::unique_ptr<VolumeSource> inner) : inner_(std::move(inner)) {}

    void FailSector(std::uint64_t sector) { badSectors_.insert(sector); }
    void FailSectors(std::uint64_t first, std::uint64_t count)
    {
        for (std::uint64_t s = first; s < first + count; ++s)
            badSectors_.insert(s);
    }
    // Every read returns at most this many bytes, without an error, as a device at its end does.
    void LimitReadsTo(std::size_t bytes) { readLimit_ = bytes; }
    // Called before every read with its offset; tests use it to act in the middle of a run.
    void OnRead(std::function<void(std::uint64_t)> hook) { hook_ = std::move(hook); }
    // After this many reads every read fails with ENODEV, as when the card is pulled out.
    void GoneAfterReads(std::uint64_t reads) { goneAfter_ = reads; }

    std::uint64_t SizeBytes() const override { return inner_->SizeBytes(); }
    ReadOutcome ReadAt(std::uint64_t offset, std::span<unsigned char> destination) override;

private:
    std::unique_ptr<VolumeSource> inner_;
    std::set<std::uint64_t> badSectors_;
    std::size_t readLimit_ = SIZE_MAX;
    std::function<void(std::uint64_t)> hook_;
    std::uint64_t goneAfter_ = UINT64_MAX;
    std::uint64_t reads_ = 0;
};

// A volume of any size that holds no data but zeros and a few sectors planted at chosen
// positions; it lets tests reach sector numbers beyond 2^32 without a file of that size.
class VirtualVolumeSource : public VolumeSource {
public:
    explicit VirtualVolumeSource(std::uint64_t sizeBytes) : sizeBytes_(sizeBytes) {}

    void PlantSector(std::uint64_t sector, std::vector<unsigned char> bytes) { planted_[sector] = std::move(bytes); }
    std::uint64_t ReadCount() const { return readCount_; }

    std::uint64_t SizeBytes() const override { return sizeBytes_; }
    ReadOutcome ReadAt(std::uint64_t offset, std::span<unsigned char> destination) override;

private:
    std::uint64_t sizeBytes_;
    std::map<std::uint64_t, std::vector<unsigned char>> planted_;
    std::uint64_t readCount_ = 0;
    // Reads usually land in the same buffer: it is zeroed once, and afterwards only the bytes
    // this source planted there are cleared again, so gigabytes of zeros cost next to nothing.
    // That holds while the reader writes into its buffer only through reads, as the scan does.
    unsigned char* zeroedBuffer_ = nullptr;
    std::size_t zeroedSize_ = 0;
    std::vector<std::pair<std::size_t, std::size_t>> dirty_;
};

}  // namespace quorvex::testing
