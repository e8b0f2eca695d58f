#pragma once

#include "VolumeReader.h"

#include <QIODevice>
#include <cstdint>
#include <memory>

namespace quorvex::preview {

// The bytes of a found file's extent read straight from the volume, as a random-access device:
// sectors [startSector, startSector + sectorCount). Sectors that cannot be read come back as
// zeros; nothing beyond the extent is ever read.
class ExtentDevice : public QIODevice {
public:
    ExtentDevice(VolumeReader& reader, std::uint64_t startSector, std::uint64_t sectorCount);

    bool isSequential() const override { return false; }
    qint64 size() const override { return static_cast<qint64>(sectorCount_ * kSectorSize); }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    VolumeReader& reader_;
    std::uint64_t startSector_;
    std::uint64_t sectorCount_;
    std::unique_ptr<SectorBuffer> block_;
    std::uint64_t blockFirstSector_ = UINT64_MAX;  // the extent sector the block holds first
    std::size_t blockSectors_ = 0;
};

}  // namespace quorvex::preview
