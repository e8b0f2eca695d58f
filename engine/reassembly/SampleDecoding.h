#pragma once

#include "BmffFormat.h"

#include <vector>

namespace quorvex {

// Decodes a movie track's samples (H.264, HEVC, AAC) to tell whether bytes laid one way or
// another hold together: coded data with other bytes inside it (a break between a movie's
// pieces) sets the decoder's error flags on the frame, or makes it refuse the packet.
class SampleDecoding {
public:
    explicit SampleDecoding(const MovieTrack& track);

    // Whether a decoder for the track's codec is there.
    bool CanDecode() const { return codec_ != 0; }

    enum class Check {
        Clean,     // every sample decoded without an error
        Broken,    // one of them did not
        Unproven,  // a video sample gave no picture (it needs frames that were left out)
    };
    // How `samples`, in decode order, decode. For video the first must be a sync sample; with
    // `framesLeftOut` the ones between it and the next were left out: the frames they would have
    // given are missing, which is not counted as an error (a slice whose data breaks off is: its
    // frame is then concealed).
    Check Decode(const std::vector<std::vector<unsigned char>>& samples, bool framesLeftOut = false) const;
    bool DecodesCleanly(const std::vector<std::vector<unsigned char>>& samples) const
    {
        return Decode(samples) == Check::Clean;
    }

private:
    int codec_ = 0;  // an AVCodecID; 0 for none
    std::vector<unsigned char> configuration_;
};

}  // namespace quorvex
