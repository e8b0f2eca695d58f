#include "MemoryVolumeSource.h"

#include <stdexcept>
#include <string>

namespace quorvex::testing {

VolumeOpener FailingOpener(OpenFailure failure, std::string message)
{
    return [failure, message = std::move(message)] {
        VolumeOpenResult result;
        result.failure = failure;
        result.message = message;
        return result;
    };
}

std::vector<unsigned char> MakeVolumeBytes(std::size_t sectorCount, unsigned char fill)
{
    return std::vector<unsigned char>(sectorCount * kSectorSize, fill);
}

void PutAtSector(std::vector<unsigned char>& volume, std::uint64_t sector, std::span<const unsigned char> bytes)
{
    const std::size_t offset = sector * kSectorSize;
    if (offset + bytes.size() > volume.size())
        throw std::out_of_range("PutAtSector beyond the volume");
    std::memcpy(volume.data() + offset, bytes.data(), bytes.size());
}

std::vector<unsigned char> SignatureOf(std::string_view token)
{
    auto bytes = [](std::initializer_list<int> values) {
        std::vector<unsigned char> out;
        for (int v : values)
            out.push_back(static_cast<unsigned char>(v));
        return out;
    };
    auto text = [](std::string_view s) { return std::vector<unsigned char>(s.begin(), s.end()); };
    if (token == "JPG")
        return bytes({0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00, 0x01, 0x01});
    if (token == "BMP")
        return bytes({'B', 'M', 0x36, 0x10, 0, 0});
    if (token == "TIF")
        return bytes({'I', 'I', 0x2A, 0x00, 0x08, 0, 0, 0});
    if (token == "PNG")
        return bytes({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 0x0D});
    if (token == "GIF")
        return text("GIF89a");
    if (token == "RIFF")
        return bytes({'R', 'I', 'F', 'F', 0x24, 0x08, 0, 0, 'W', 'A', 'V', 'E'});
    if (token == "RAF")
        return text("FUJIFILMCCD-RAW 0201");
    if (token == "MRW")
        return bytes({0x00, 'M', 'R', 'M', 0x00, 0x01, 0x00, 0x00});
    if (token == "CRW")
        return bytes({'I', 'I', 0x1A, 0, 0, 0, 'H', 'E', 'A', 'P', 'C', 'C', 'D', 'R', 0x01, 0x00});
    throw std::invalid_argument("no signature for " + std::string(token));
}

}  // namespace quorvex::testing
