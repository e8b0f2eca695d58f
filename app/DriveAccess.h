#pragma once

#include "FileVolumeSource.h"
#include "MainDialogEnvironment.h"
#include "VolumeDescription.h"

#include <map>
#include <memory>
#include <string>

class QWidget;

namespace quorvex::app {

// Drives Quorvex may not open itself (raw devices need rights): with the user's agreement it asks
// the system for a read-only descriptor of one (polkit asks for the password), keeps it while
// Quorvex runs, and every reader of that drive reads through it. Quorvex never runs as
// administrator for it.
class DriveAccess {
public:
    // `plainOpener` opens a drive the ordinary way (the environment's openerFor).
    DriveAccess(const MainDialogEnvironment& env, std::function<VolumeOpener(const VolumeDescription&)> plainOpener,
                QWidget* window);

    // True when `drive` can be read: it opens, or it was granted now or before, or it fails for
    // another reason (which its reader reports). False when it needs rights that were not given:
    // the user declined, or was told why it was refused and what to do instead.
    bool EnsureReadable(const VolumeDescription& drive);

    // How to read `drive`: through its grant when there is one, the ordinary way otherwise.
    VolumeOpener OpenerFor(const VolumeDescription& drive) const;

private:
    access::AccessReply Request(const std::string& devicePath);

    const MainDialogEnvironment& env_;
    std::function<VolumeOpener(const VolumeDescription&)> plainOpener_;
    QWidget* window_;
    std::map<std::string, std::shared_ptr<const GrantedDevice>> grants_;  // by device path
};

}  // namespace quorvex::app
