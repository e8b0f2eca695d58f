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

    // Whether `samples`, in decode order, decode without an error. For video the first must be a
    // sync sample (the ones between it and the next may be left out: the frames they would have
    // given are missing, which is not counted as an error).
    bool DecodesCleanly(const std::vector<std::vector<unsigned char>>& samples) const;

private:
    int codec_ = 0;  // an AVCodecID; 0 for none
    std::vector<unsigned char> configuration_;
};

}  // namespace quorvex
