#include "DriveProperties.h"

#include <cmath>
#include <cstdio>

namespace quorvex::app {

namespace {

QString TypeName(VolumeKind kind, bool floopySpelling)
{
    switch (kind) {
    case VolumeKind::Fixed:
        return "Local Disk";
    case VolumeKind::Removable:
        return "Removable";
    case VolumeKind::Floppy:
        return floopySpelling ? "3 1/2 Floopy" : "3 1/2 Floppy";
    case VolumeKind::DiskImage:
        return "Disk Image";
    }
    return {};
}

QString Printf(const char* format, float value)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, static_cast<double>(value));
    return QString::fromLatin1(buffer);
}

}  // namespace

DriveProperties DescribeDrive(VolumeKind kind, std::optional<std::uint64_t> sizeBytes)
{
    DriveProperties properties;
    if (!sizeBytes) {
        properties.status = "Not Ready";
        properties.type = TypeName(kind, true);
        return properties;
    }
    const float gib = static_cast<float>(*sizeBytes) * std::ldexp(1.0f, -30);
    if (!(gib > 0.0f) || gib >= 1.0f) {
        properties.capacity = Printf("%f GB", gib);
        properties.type = TypeName(kind, false);
    } else {
        properties.capacity = Printf("%f MB", static_cast<float>(*sizeBytes) * std::ldexp(1.0f, -20));
        properties.type = TypeName(kind, true);
    }
    properties.bytesPerSector = "512";
    properties.status = "Ready";
    properties.ready = true;
    return properties;
}

DriveProperties NoDriveProperties()
{
    DriveProperties properties;
    properties.status = "Not Ready";
    return properties;
}

}  // namespace quorvex::app
