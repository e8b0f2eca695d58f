#pragma once

#include "AccessReply.h"
#include "DestinationCheck.h"
#include "InvokingUser.h"
#include "VolumeDescription.h"
#include "VolumeSource.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace quorvex::app {

// What the main window asks of the world; tests replace any of it.
// How the photos of an exact recovery are saved.
struct PhotoSaving {
    bool nameByCaptureDate = false;  // YYYY-MM-DD_HH-MM-SS.<TOKEN>, file times set to it
    bool skipDuplicates = true;      // copies of a file saved in the same save are left out
    bool keepCardNames = true;       // files the card names saved in their folders, by their names
};

struct MainDialogEnvironment {
    std::function<std::vector<VolumeDescription>()> listVolumes;
    std::function<std::optional<std::uint64_t>(const VolumeDescription&)> volumeSize;
    std::function<VolumeOpener(const VolumeDescription&)> openerFor;
    std::function<bool(const QString&)> ask;      // a Yes/No question; true for Yes only
    std::function<void(const QString&)> notice;   // an information notice with OK
    std::function<void(int)> exitProcess;         // ends the process at once
    std::function<QString()> chooseDiskImage;     // a file chooser; empty when cancelled
    std::function<void(const QString&)> openUrl;  // the desktop's launcher
    std::function<void(const QString&)> plainNotice;  // a notice with OK and no icon
    std::function<QString()> chooseFolder;            // where to save; empty when cancelled
    std::function<void(const QString&)> openFile;     // a previewed picture, in the default viewer
    std::function<void(const QString&)> playMedia;    // a previewed RIFF file, in Media Preview
    // Asks the system for a read-only descriptor of a block device this process may not open
    // (UDisks2, else the open helper through pkexec; polkit asks for the password). Blocks until
    // answered, so the window calls it off its own thread; empty: no way to ask.
    std::function<access::AccessReply(const std::string& devicePath)> requestDeviceAccess;
    // Who started Quorvex as administrator (sudo, pkexec), if someone did: what is saved for them
    // becomes theirs (giveToUser), and they are told once that it is not needed.
    std::function<std::optional<access::InvokingUser>()> invokingUser;
    std::function<void(const QString& path)> giveToUser;
    // The "Exact recovery" choice, remembered between runs.
    std::function<bool()> loadExactRecovery;
    std::function<void(bool)> storeExactRecovery;
    // How an exact recovery's photos are saved (Settings), remembered between runs.
    std::function<PhotoSaving()> loadPhotoSaving;
    std::function<void(const PhotoSaving&)> storePhotoSaving;
    // Where to write a disk image (suggested: a file name); empty when cancelled.
    std::function<QString(const QString&)> chooseImageFile;
    // Where the system lists block devices and mounts: which drive a folder lives on.
    SystemTables systemTables;
    // Where the scan of each drive keeps its session, so that it can be resumed or its results
    // shown again (the user's data folder); empty: nowhere.
    QString sessionFolder;
    // Where to save a scan's results (suggested: a file name) and which saved results to open;
    // empty when cancelled.
    std::function<QString(const QString&)> chooseResultsFileToSave;
    std::function<QString()> chooseResultsFileToOpen;

    // The real machine: the kernel's block devices, the markup message box, the desktop.
    static MainDialogEnvironment Default();
};

}  // namespace quorvex::app
