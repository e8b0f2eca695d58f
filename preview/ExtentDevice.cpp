#include "ExtentDevice.h"

namespace quorvex::preview {

ExtentDevice::ExtentDevice(VolumeReader& reader, std::vector<ByteRange> pieces) : file_(reader, std::move(pieces)) {}

ExtentDevice::ExtentDevice(VolumeReader& reader, std::uint64_t startSector, std::uint64_t sectorCount)
    : ExtentDevice(reader, {ByteRange{startSector * kSectorSize, sectorCount * kSectorSize}})
{
}

qint64 ExtentDevice::readData(char* data, qint64 maxSize)
{
    if (maxSize <= 0)
        return 0;
    return static_cast<qint64>(file_.ReadAt(static_cast<std::uint64_t>(pos()),
                                            {reinterpret_cast<unsigned char*>(data), static_cast<std::size_t>(maxSize)}));
}

}  // namespace quorvex::preview
