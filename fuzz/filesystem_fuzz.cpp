// Fuzzes the reading of what a card's file system remembers: a volume whose first bytes are the
// fuzzer's (zeros after them, up to 4 MiB) read through The Sleuth Kit into our records, their
// lost first letters repaired, and each name made into the path it would be saved under. Every
// piece must lie on the volume and add up to the file's size, every name and folder be text that
// can be shown, and every path stay below the recovery folder.
#include "FuzzVolume.h"
#include "CardFileSystem.h"
#include "CardNames.h"
#include "CardNaming.h"
#include "CardPaths.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void Require(bool condition)
{
    if (!condition)
        std::abort();
}

bool PrintableUtf8(const std::string& text)
{
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7F)
            return false;
        const std::size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (length == 0 || i + length > text.size())
            return false;
        for (std::size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
                return false;
        i += length;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<unsigned char> bytes(data, data + size);
    bytes.resize(std::max<std::size_t>(size, 4 << 20), 0);
    FuzzVolume volume(std::move(bytes));
    quorvex::CardReadLimits limits;
    limits.maxFiles = 4096;
    limits.maxPiecesPerFile = 4096;
    quorvex::CardFileSystems card = quorvex::ReadCardFileSystems(volume, nullptr, limits);
    quorvex::RestoreLostFirstLetters(card.files);
    Require(card.files.size() <= limits.maxFiles);
    for (const quorvex::CardFile& file : card.files) {
        std::uint64_t total = 0;
        for (const quorvex::ByteRange& piece : file.pieces) {
            Require(piece.length > 0 && piece.offset <= volume.SizeBytes() * 2 && piece.length <= UINT64_MAX - total);
            total += piece.length;
        }
        Require(total == file.sizeBytes && !file.name.empty());
        Require(PrintableUtf8(file.name) && PrintableUtf8(file.folder));
        if (const std::optional<std::string> path = quorvex::SafeCardPath(quorvex::CardNameOf(file))) {
            Require(!path->empty() && path->front() != '/' && path->find('\\') == std::string::npos);
            std::size_t at = 0;
            while (at <= path->size()) {
                const std::size_t end = std::min(path->find('/', at), path->size());
                const std::string part = path->substr(at, end - at);
                Require(!part.empty() && part != "." && part != ".." && part.size() <= 255);
                at = end + 1;
            }
        }
    }
    return 0;
}
