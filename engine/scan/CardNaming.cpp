#include "CardNaming.h"

#include "ExactFormats.h"
#include "ExactRecogniser.h"
#include "FoundFileReader.h"

#include <algorithm>

namespace quorvex {

CardName CardNameOf(const CardFile& file)
{
    return CardName{file.folder, file.name, file.deleted, file.modified};
}

CardNaming::CardNaming(CardFileSystems card) : files_(std::move(card.files)) {}

bool CardNaming::BytesAgree(std::string_view token, const CardFile& file, VolumeReader& reader) const
{
    const ExactFormat* format = ExactFormatOf(token);
    if (format == nullptr)
        return false;
    FoundFileReader bytes(reader, file.pieces);
    const FormatWalk walk = format->walk(bytes);
    if (!walk.recognised || walk.token != token || walk.end != WalkEnd::Closed || walk.length != file.sizeBytes)
        return false;
    DecodeResult decoded = walk.decoded;
    if (decoded == DecodeResult::NotChecked && format->decode != nullptr &&
        file.sizeBytes <= ExactRecogniser::kDecodeLimitBytes) {
        std::vector<unsigned char> data(static_cast<std::size_t>(file.sizeBytes));
        if (!ReadExactly(bytes, 0, data))
            return false;
        decoded = format->decode(data);
    }
    return decoded != DecodeResult::Faulty;
}

void CardNaming::NameFound(FoundFileCatalogue& catalogue, std::uint64_t index, VolumeReader& reader) const
{
    if (catalogue.Mode() != RecoveryMode::Exact)
        return;
    const std::uint64_t start = catalogue.StartSectorAt(index) * kSectorSize;
    const auto first = std::lower_bound(files_.begin(), files_.end(), start,
                                        [](const CardFile& file, std::uint64_t byte) { return file.FirstByte() < byte; });
    // Live entries first: a deleted entry may still point at clusters a live file took over.
    const CardFile* chosen = nullptr;
    bool inPieces = false;
    for (int pass = 0; pass < 2 && chosen == nullptr; ++pass) {
        for (auto at = first; at != files_.end() && at->FirstByte() == start; ++at) {
            if (at->deleted != (pass == 1))
                continue;
            if (at->pieces.size() == 1) {
                // The scan's own walk over the same bytes closed at the entry's size.
                if (catalogue.VerdictAt(index) == Verdict::Complete && catalogue.LengthAt(index) == at->sizeBytes &&
                    catalogue.PiecesAt(index).size() == 1) {
                    chosen = &*at;
                    break;
                }
            } else if (at->mapped && BytesAgree(catalogue.TokenAt(index), *at, reader)) {
                chosen = &*at;
                inPieces = true;
                break;
            }
        }
    }
    if (chosen == nullptr)
        return;
    if (inPieces && !catalogue.SetMappedPieces(index, chosen->pieces))
        return;
    catalogue.SetCardName(index, CardNameOf(*chosen));
}

}  // namespace quorvex
