#include "SectorRecogniser.h"

namespace quorvex {

DescribedRecogniser::DescribedRecogniser(const SelectedTypes& selection) : detector_(selection)
{
    for (int b = 0; b < 256; ++b)
        leadBytes_[static_cast<std::size_t>(b)] = detector_.HasCandidates(static_cast<unsigned char>(b));
}

}  // namespace quorvex
