#pragma once

#include "MainDialogEnvironment.h"
#include "VolumeDescription.h"

#include <QString>

class QWidget;

namespace quorvex::app {

// File > Create Disk Image...: asks for an image file that may be written (not on the drive being
// copied; an existing file only to go on with a stopped copy), copies the drive in "Creating Disk
// Image", says how it went, and offers to scan the image.
class DiskImaging {
public:
    DiskImaging(const MainDialogEnvironment& env, QWidget* parent) : env_(env), parent_(parent) {}

    // Copies `volume`; the image to scan when the copy ended and the user wants it scanned, empty
    // otherwise.
    QString CreateImageOf(const VolumeDescription& volume);

private:
    // Asks until a file is chosen that can be written or continued; empty when cancelled.
    QString ChooseImageFile(const VolumeDescription& volume);

    const MainDialogEnvironment& env_;
    QWidget* parent_;
};

}  // namespace quorvex::app
