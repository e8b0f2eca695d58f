#pragma once

#include "FoundFileReader.h"

#include <QIODevice>
#include <cstdint>
#include <vector>

namespace quorvex::preview {

// A found file read straight from the volume, as a random-access device: its pieces of the
// volume laid end to end (the catalogue says which). Sectors that cannot be read come back as
// zeros; nothing outside the pieces is ever read.
class ExtentDevice : public QIODevice {
public:
    ExtentDevice(VolumeReader& reader, std::vector<ByteRange> pieces);
    // Sectors [startSector, startSector + sectorCount).
    ExtentDevice(VolumeReader& reader, std::uint64_t startSector, std::uint64_t sectorCount);

    bool isSequential() const override { return false; }
    qint64 size() const override { return static_cast<qint64>(file_.Size()); }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    FoundFileReader file_;
};

}  // namespace quorvex::preview
