#pragma once

#include "CheckingPipeline.h"
#include "FormatWalk.h"
#include "FoundFileVerdict.h"
#include "SectorTypeDetector.h"
#include "TypeSelection.h"

#include <array>
#include <cstdint>
#include <memory>
#include <optional>

namespace quorvex {

// A file that begins at a sector, as a recogniser sees it.
struct RecognisedFile {
    std::size_t typeIndex = 0;           // into the scan's selection
    std::uint64_t lengthBytes = 0;       // exact recovery: the file's length; 0 in the described mode
    Verdict verdict = Verdict::None;     // exact recovery: what the walk and the decode said
    // Sectors after the first that need no test of their own: those of a file whose every byte
    // a decoder has checked (a JPEG, PNG or GIF). A file no decoder could check through (a
    // bitmap, a TIFF or raw file, a RIFF) may hold another file written over it, so its sectors
    // are still tested.
    std::uint64_t sectorsInside = 0;
    // Exact recovery through a checking pipeline: the decode still to run. Until it has, verdict
    // and sectorsInside say what they will be if it comes back clean;
    // ExactRecogniser::SettleCheckedFile makes them final.
    std::shared_ptr<FileCheck> check;
    WalkEnd end = WalkEnd::Closed;
    bool cleanDecodeCoversFile = false;
    bool walkCoversFile = false;  // the walk vouched for every byte: the inside is passed over anyway
};

// What the scan asks of every sector: does a file of a selected type begin here? Chosen once per
// scan: the described mode's first-bytes detectors, or exact recovery.
class SectorRecogniser {
public:
    virtual ~SectorRecogniser() = default;

    // Whether a file of a selected type can begin with this byte; Examine is asked only then.
    bool MayBegin(unsigned char firstByte) const { return leadBytes_[firstByte]; }

    // `sector` holds the 512 bytes of sector `sectorNumber`.
    virtual std::optional<RecognisedFile> Examine(const unsigned char* sector, std::uint64_t sectorNumber) = 0;

protected:
    std::array<bool, 256> leadBytes_{};
};

// The described mode: a type's signature in the first bytes of the sector, nothing more.
class DescribedRecogniser final : public SectorRecogniser {
public:
    explicit DescribedRecogniser(const SelectedTypes& selection);

    std::optional<RecognisedFile> Examine(const unsigned char* sector, std::uint64_t) override
    {
        const int typeIndex = detector_.Detect(sector);
        if (typeIndex == SectorTypeDetector::kNoType)
            return std::nullopt;
        RecognisedFile found;
        found.typeIndex = static_cast<std::size_t>(typeIndex);
        return found;
    }

private:
    SectorTypeDetector detector_;
};

}  // namespace quorvex
