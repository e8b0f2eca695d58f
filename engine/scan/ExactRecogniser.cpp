#include "ExactRecogniser.h"

#include "FoundFileReader.h"

#include <algorithm>

namespace quorvex {

namespace {

// The verdict of a walk and its decode, and the sectors inside the file that need no test: those
// of a file whose every byte a clean decode has checked.
void SetVerdict(RecognisedFile& found, DecodeResult decoded)
{
    found.verdict = VerdictOf(found.end, decoded);
    found.sectorsInside = 0;
    const bool checkedThrough = found.verdict == Verdict::Complete && decoded == DecodeResult::Clean &&
                                found.cleanDecodeCoversFile;
    if ((checkedThrough || found.walkCoversFile) && found.lengthBytes > kSectorSize)
        found.sectorsInside = (found.lengthBytes + kSectorSize - 1) / kSectorSize - 1;
}

}  // namespace

void ExactRecogniser::SettleCheckedFile(RecognisedFile& file)
{
    DecodeResult decoded = file.check->Result();
    if (const std::exception_ptr failure = file.check->Failure()) {
        try {
            std::rethrow_exception(failure);
        } catch (const std::bad_alloc&) {
            throw;
        } catch (...) {
            decoded = DecodeResult::NotChecked;
        }
    }
    SetVerdict(file, decoded);
    file.check.reset();
}

ExactRecogniser::ExactRecogniser(const SelectedTypes& selection, VolumeReader& reader, CheckingPipeline* pipeline)
    : selection_(selection), reader_(reader), pipeline_(pipeline), volumeBytes_(reader.TotalSectors() * kSectorSize)
{
    for (const ExactFormat& format : ExactFormatTable()) {
        std::uint64_t bound = 0;
        bool selected = false;
        for (std::string_view token : format.tokens) {
            if (token.empty() || !selection.IndexOf(token))
                continue;
            selected = true;
            bound = std::max(bound, ExtentSectors(selection.MaxSizeKbOf(token)) * kSectorSize);
        }
        if (!selected)
            continue;
        for (const char lead : format.leadBytes) {
            byLeadByte_[static_cast<unsigned char>(lead)].push_back({&format, bound});
            leadBytes_[static_cast<unsigned char>(lead)] = true;
        }
    }
}

std::optional<std::size_t> ExactRecogniser::SelectedIndex(std::string_view token) const
{
    return selection_.IndexOf(token);
}

std::optional<RecognisedFile> ExactRecogniser::Examine(const unsigned char* sector, std::uint64_t sectorNumber)
{
    const std::uint64_t start = sectorNumber * kSectorSize;
    for (const Candidate& candidate : byLeadByte_[sector[0]]) {
        if (!candidate.format->looksLikeStart(sector))
            continue;
        // The header is read even when the Maximum Size is smaller than it; the length is cut
        // to the Maximum Size below.
        const std::uint64_t limit =
            std::min(std::max(candidate.boundBytes, kSectorSize), volumeBytes_ > start ? volumeBytes_ - start : 0);
        FoundFileReader file(reader_, {ByteRange{start, limit}});
        FormatWalk walk = candidate.format->walk(file);
        if (!walk.recognised)
            continue;
        const auto typeIndex = SelectedIndex(walk.token);
        if (!typeIndex)
            continue;  // e.g. a NEF when only TIF is selected: not reported as anything
        // A TIFF walked under the largest bound of its three types is cut to its own type's.
        const std::uint64_t ownBound =
            std::min(limit, ExtentSectors(selection_.MaxSizeKbOf(walk.token)) * kSectorSize);
        if (walk.length > ownBound) {
            walk.length = ownBound;
            walk.end = WalkEnd::OutOfBound;
        }
        RecognisedFile found;
        found.typeIndex = *typeIndex;
        found.lengthBytes = walk.length;
        found.end = walk.end;
        found.cleanDecodeCoversFile = candidate.format->CleanDecodeCovers(walk.token);
        found.walkCoversFile = candidate.format->walkCoversFile;
        if (walk.end == WalkEnd::Closed && walk.decoded == DecodeResult::NotChecked &&
            candidate.format->decode != nullptr && walk.length <= kDecodeLimitBytes) {
            if (pipeline_ != nullptr) {
                FileBytes bytes = pipeline_->TakeBuffer();
                if (ReadExactly(file, 0, bytes.Resize(static_cast<std::size_t>(walk.length)))) {
                    found.check = std::make_shared<FileCheck>(candidate.format->decode, std::move(bytes));
                    SetVerdict(found, DecodeResult::Clean);
                    return found;
                }
            } else {
                // The buffer only grows (up to its bound below): a size set again for every file
                // would fill the new part with zeros each time before the read overwrites it.
                if (fileBytes_.size() < walk.length)
                    fileBytes_.resize(static_cast<std::size_t>(walk.length));
                const auto bytes = std::span(fileBytes_).first(static_cast<std::size_t>(walk.length));
                if (ReadExactly(file, 0, bytes))
                    walk.decoded = candidate.format->decode(bytes);
                if (fileBytes_.capacity() > kDecodeLimitBytes / 4)
                    std::vector<unsigned char>().swap(fileBytes_);  // do not keep a large file's memory
            }
        }
        SetVerdict(found, walk.decoded);
        return found;
    }
    return std::nullopt;
}

}  // namespace quorvex
