#include "SectorTypeDetector.h"

#include "FileTypeInfo.h"

#include <stdexcept>

namespace quorvex {

std::optional<std::string_view> DetectSectorType(const unsigned char* sector, const SelectedTypes& selection)
{
    for (const TypeSelection& entry : selection.Entries()) {
        const FileTypeInfo* info = FindFileType(entry.token);
        if (info != nullptr && info->detector != nullptr && info->detector(sector))
            return info->token;
    }
    return std::nullopt;
}

SectorTypeDetector::SectorTypeDetector(const SelectedTypes& selection)
{
    for (std::size_t index = 0; index < selection.Count(); ++index) {
        const FileTypeInfo* info = FindFileType(selection[index].token);
        if (info == nullptr || info->detector == nullptr)
            continue;
        for (const char lead : info->leadBytes) {
            Candidates& candidates = byLeadByte_[static_cast<unsigned char>(lead)];
            // A token selected twice is found under its first entry; the second can never answer.
            bool already = false;
            for (std::uint8_t i = 0; i < candidates.count; ++i)
                already = already || candidates.detectors[i] == info->detector;
            if (already)
                continue;
            if (candidates.count == kMaxCandidates)
                throw std::logic_error("too many signatures share one first byte");
            candidates.detectors[candidates.count] = info->detector;
            candidates.selectionIndex[candidates.count] = static_cast<std::int8_t>(index);
            ++candidates.count;
        }
    }
}

}  // namespace quorvex
