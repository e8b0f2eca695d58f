#pragma once

#include "VolumeSource.h"

#include <algorithm>
#include <cstring>
#include <vector>

// A volume of the fuzzer's bytes, for the targets that read one.
class FuzzVolume final : public quorvex::VolumeSource {
public:
    explicit FuzzVolume(std::vector<unsigned char> bytes) : bytes_(std::move(bytes)) {}
    std::uint64_t SizeBytes() const override { return bytes_.size(); }
    quorvex::ReadOutcome ReadAt(std::uint64_t offset, std::span<unsigned char> destination) override
    {
        if (offset >= bytes_.size())
            return {0, 0};
        const std::size_t n = std::min<std::uint64_t>(destination.size(), bytes_.size() - offset);
        if (n > 0)
            std::memcpy(destination.data(), bytes_.data() + offset, n);
        return {n, 0};
    }

private:
    std::vector<unsigned char> bytes_;
};
