#pragma once

#include "VolumeDescription.h"

#include <QString>
#include <cstdint>
#include <optional>

namespace quorvex::app {

// The four property values the drive page shows for a volume.
struct DriveProperties {
    QString status;
    QString type;
    QString capacity;
    QString bytesPerSector;
    bool ready = false;  // the size could be read: Next may be offered
};

// The properties of a volume of `kind` whose total size is `sizeBytes` (absent when the size
// query failed). Sizes are shown as single-precision floats with six decimals: "%f GB" for a
// gibibyte or more (and for 0), else "%f MB"; the floppy's types keep their two spellings.
DriveProperties DescribeDrive(VolumeKind kind, std::optional<std::uint64_t> sizeBytes);

// What the page shows for a click below the last row.
DriveProperties NoDriveProperties();

}  // namespace quorvex::app
