#pragma once

#include "SectorRecogniser.h"
#include "VolumeReader.h"
#include "ExactFormats.h"

#include <vector>

namespace quorvex {

// Exact recovery: a file is found where a format's header validates, its end is where its
// structure ends (within its type's Maximum Size and the volume), and its verdict comes from
// the walk and a decode of its bytes. Reads what it needs through the scan's own reader.
class ExactRecogniser final : public SectorRecogniser {
public:
    // Files larger than this are not decoded for their verdict; their structure decides.
    static constexpr std::uint64_t kDecodeLimitBytes = 64ull << 20;

    // With a pipeline, the decode that decides a file's verdict is left to it: the file found
    // carries its check, and its verdict is as if the check comes back clean until
    // SettleCheckedFile. Without one, files are decoded here.
    ExactRecogniser(const SelectedTypes& selection, VolumeReader& reader, CheckingPipeline* pipeline = nullptr);

    std::optional<RecognisedFile> Examine(const unsigned char* sector, std::uint64_t sectorNumber) override;

    // A file whose check has run: its verdict and the sectors inside it, as a decode here would
    // have given them. A check that ran out of memory throws std::bad_alloc here, as the decode
    // would have; any other failure of a check leaves the file unchecked (its walk decides).
    static void SettleCheckedFile(RecognisedFile& file);

private:
    struct Candidate {
        const ExactFormat* format;
        std::uint64_t boundBytes;  // the largest Maximum Size of the selected types it reports
    };

    // The selection index of the type a walk reported, if that type is selected.
    std::optional<std::size_t> SelectedIndex(std::string_view token) const;

    const SelectedTypes& selection_;
    VolumeReader& reader_;
    CheckingPipeline* pipeline_;
    std::uint64_t volumeBytes_;
    std::array<std::vector<Candidate>, 256> byLeadByte_;
    std::vector<unsigned char> fileBytes_;  // the file being decoded, reused between finds
};

}  // namespace quorvex
