#pragma once

// A test world for the main window: fixed volumes, recorded questions and notices, answers chosen
// by the test, and what each scan or save reads.
#include "FaultyVolumeSource.h"
#include "MainDialog.h"

#include <QString>
#include <vector>

namespace quorvex::testing {

inline VolumeDescription Volume(VolumeKind kind, const std::string& name, std::optional<std::uint64_t> size)
{
    VolumeDescription v;
    v.kind = kind;
    v.name = name;
    v.path = "/dev/" + name;
    v.sizeBytes = size;
    return v;
}

// A test world: fixed volumes, recorded questions and notices, answers chosen by the test.
struct World {
    std::vector<VolumeDescription> volumes = {
        Volume(VolumeKind::Fixed, "sda1", 500ull << 30),
        Volume(VolumeKind::Removable, "sdb1", 256ull << 20),
        Volume(VolumeKind::Floppy, "fd0", std::nullopt),
        Volume(VolumeKind::Removable, "mmcblk0p1", 64ull << 30),
    };
    std::vector<QString> questions, notices;
    bool answer = true;
    std::vector<int> exits;
    std::vector<QString> plainNotices, openedFiles, playedFiles;
    std::vector<QString> givenToUser;  // what was handed to the person who ran Quorvex as root
    QString folder;               // what the folder chooser answers
    std::vector<QString> folders;  // answered first, one per question, before `folder`
    std::vector<QString> imageFiles;  // what the image file chooser answers, one per question
    QString sessionFolder;            // where scans are kept; empty: none kept
    QString resultsFile;              // what the Save/Open Scan Results choosers answer
    app::PhotoSaving photoSaving;     // what Settings remembered of saving photos
    // What each scan reads: a big virtual volume (slow enough to be stopped) unless set.
    std::function<VolumeOpenResult()> opener = [] {
        VolumeOpenResult result;
        result.source = std::make_unique<VirtualVolumeSource>(64ull << 30);
        return result;
    };

    app::MainDialogEnvironment Environment()
    {
        app::MainDialogEnvironment env;
        env.listVolumes = [this] { return volumes; };
        env.volumeSize = [](const VolumeDescription& v) { return v.sizeBytes; };
        env.openerFor = [this](const VolumeDescription&) { return VolumeOpener(opener); };
        env.ask = [this](const QString& q) {
            questions.push_back(q);
            return answer;
        };
        env.notice = [this](const QString& n) { notices.push_back(n); };
        env.exitProcess = [this](int status) { exits.push_back(status); };
        env.openUrl = [](const QString&) {};
        env.plainNotice = [this](const QString& n) { plainNotices.push_back(n); };
        env.chooseFolder = [this] {
            if (folders.empty())
                return folder;
            const QString next = folders.front();
            folders.erase(folders.begin());
            return next;
        };
        env.chooseImageFile = [this](const QString&) {
            if (imageFiles.empty())
                return QString();
            const QString next = imageFiles.front();
            imageFiles.erase(imageFiles.begin());
            return next;
        };
        env.sessionFolder = sessionFolder;
        env.chooseResultsFileToSave = [this](const QString&) { return resultsFile; };
        env.chooseResultsFileToOpen = [this] { return resultsFile; };
        // No machine's real disks decide where a test may save.
        env.systemTables = {"/nonexistent/sys/class/block", "/nonexistent/mountinfo"};
        env.openFile = [this](const QString& path) { openedFiles.push_back(path); };
        env.playMedia = [this](const QString& path) { playedFiles.push_back(path); };
        env.loadPhotoSaving = [this] { return photoSaving; };
        env.storePhotoSaving = [this](const app::PhotoSaving& saving) { photoSaving = saving; };
        env.giveToUser = [this](const QString& path) { givenToUser.push_back(path); };
        return env;
    }
};

}  // namespace quorvex::testing
