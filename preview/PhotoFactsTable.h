#pragma once

#include "PhotoMetadata.h"

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace quorvex::preview {

// What the found files' metadata said, by catalogue index, for the entries read so far: the
// tile workers and the facts reader put, the results list reads. Safe from any thread. An entry
// costs a few dozen bytes (camera names are kept once each), so a million of them fit.
class PhotoFactsTable {
public:
    void Clear();
    void Put(std::uint64_t index, const PhotoFacts& facts);
    std::optional<PhotoFacts> Get(std::uint64_t index) const;
    bool Has(std::uint64_t index) const;
    // The capture time alone (what ordering by date needs), when it is known.
    std::optional<CaptureTime> CapturedAt(std::uint64_t index) const;

private:
    struct Stored {
        std::optional<CaptureTime> captured;
        std::uint32_t camera = 0;  // in cameras_, 0 for none
        std::uint32_t width = 0, height = 0;
        std::uint8_t orientation = 1;
    };
    mutable std::mutex mutex_;
    std::unordered_map<std::uint64_t, Stored> facts_;
    std::vector<std::string> cameras_{std::string()};
    std::unordered_map<std::string, std::uint32_t> cameraIds_;
};

}  // namespace quorvex::preview
