#pragma once

#include "SignatureDetectors.h"
#include "TypeSelection.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace quorvex {

// The token of the first selected type, in list order, whose detector answers yes for the sector
// at `sector`, or nothing. A selected token without a detector answers no. This is the plain
// statement of the rule; the scan uses SectorTypeDetector, which gives the same answers.
std::optional<std::string_view> DetectSectorType(const unsigned char* sector, const SelectedTypes& selection);

// The detectors of one scan, chosen once from the selection. Each sector costs one table look-up
// by its first byte; only the detectors that can match that byte are run, in list order.
class SectorTypeDetector {
public:
    static constexpr int kNoType = -1;

    explicit SectorTypeDetector(const SelectedTypes& selection);

    // Whether a detector can answer yes for a sector that begins with this byte.
    bool HasCandidates(unsigned char firstByte) const { return byLeadByte_[firstByte].count > 0; }

    // The index into the selection of the type found at `sector`, or kNoType.
    int Detect(const unsigned char* sector) const
    {
        const Candidates& candidates = byLeadByte_[sector[0]];
        for (std::uint8_t i = 0; i < candidates.count; ++i)
            if (candidates.detectors[i](sector))
                return candidates.selectionIndex[i];
        return kNoType;
    }

private:
    // Four are enough: no byte begins the signatures of more than two types (TIFF and CRW share 'I').
    static constexpr std::size_t kMaxCandidates = 4;
    struct Candidates {
        std::uint8_t count = 0;
        std::array<SignatureDetector, kMaxCandidates> detectors{};
        std::array<std::int8_t, kMaxCandidates> selectionIndex{};
    };
    std::array<Candidates, 256> byLeadByte_{};
};

}  // namespace quorvex
