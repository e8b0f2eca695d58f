#include "MainDialogEnvironment.h"

#include "DeviceAccess.h"
#include "FileVolumeSource.h"
#include "MediaPreviewDialog.h"
#include "ProgramMessages.h"
#include "VolumeLister.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QUrl>
#include <cstdlib>

namespace quorvex::app {

MainDialogEnvironment MainDialogEnvironment::Default()
{
    MainDialogEnvironment env;
    env.listVolumes = [] { return VolumeLister().List(); };
    env.volumeSize = [](const VolumeDescription& volume) -> std::optional<std::uint64_t> {
        if (volume.kind == VolumeKind::DiskImage)
            return DescribeDiskImage(volume.path).sizeBytes;
        for (const VolumeDescription& now : VolumeLister().List())
            if (now.name == volume.name)
                return now.sizeBytes;
        return std::nullopt;
    };
    env.openerFor = [](const VolumeDescription& volume) { return OpenerForPath(volume.path); };
    env.ask = [](const QString& text) { return msgbox::AskQuestion(text.toStdString()); };
    env.notice = [](const QString& text) { msgbox::ShowNotice(text.toStdString()); };
    env.exitProcess = [](int status) { std::_Exit(status); };
    env.chooseDiskImage = [] {
        return QFileDialog::getOpenFileName(nullptr, "Open Disk Image", QString(),
                                            "Disk images (*.img *.dd *.raw *.bin *.iso);;All files (*)");
    };
    env.openUrl = [](const QString& url) { QDesktopServices::openUrl(QUrl(url)); };
    env.plainNotice = [](const QString& text) { msgbox::ShowPlainNotice(text.toStdString()); };
    env.chooseFolder = [] {
        return QFileDialog::getExistingDirectory(nullptr, "Please select the path to save the files");
    };
    env.openFile = [](const QString& path) { QDesktopServices::openUrl(QUrl::fromLocalFile(path)); };
    env.requestDeviceAccess = [](const std::string& devicePath) {
        return access::RequestReadAccess(devicePath, access::DefaultAccessOptions());
    };
    env.invokingUser = [] { return access::FindInvokingUser(); };
    env.giveToUser = [](const QString& path) {
        if (const std::optional<access::InvokingUser> user = access::FindInvokingUser())
            access::GiveToInvokingUser(*user, QFile::encodeName(path).toStdString());
    };
    env.playMedia = [](const QString& path) {
        preview::MediaPreviewDialog dialog(path);
        dialog.exec();
    };
    env.chooseImageFile = [](const QString& suggested) {
        return QFileDialog::getSaveFileName(nullptr, "Create Disk Image", QDir::home().filePath(suggested),
                                            "Disk images (*.img);;All files (*)");
    };
    env.loadExactRecovery = [] { return QSettings().value("ExactRecovery", false).toBool(); };
    env.storeExactRecovery = [](bool exact) { QSettings().setValue("ExactRecovery", exact); };
    env.loadPhotoSaving = [] {
        const QSettings settings;
        PhotoSaving saving;
        saving.nameByCaptureDate = settings.value("NameByCaptureDate", saving.nameByCaptureDate).toBool();
        saving.skipDuplicates = settings.value("SkipDuplicates", saving.skipDuplicates).toBool();
        saving.keepCardNames = settings.value("KeepCardNames", saving.keepCardNames).toBool();
        return saving;
    };
    env.storePhotoSaving = [](const PhotoSaving& saving) {
        QSettings settings;
        settings.setValue("NameByCaptureDate", saving.nameByCaptureDate);
        settings.setValue("SkipDuplicates", saving.skipDuplicates);
        settings.setValue("KeepCardNames", saving.keepCardNames);
    };
    env.sessionFolder = QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) + "/sessions";
    env.chooseResultsFileToSave = [](const QString& suggested) {
        return QFileDialog::getSaveFileName(nullptr, "Save Scan Results", QDir::home().filePath(suggested),
                                            "Quorvex scan results (*.qvxscan);;All files (*)");
    };
    env.chooseResultsFileToOpen = [] {
        return QFileDialog::getOpenFileName(nullptr, "Open Scan Results", QDir::homePath(),
                                            "Quorvex scan results (*.qvxscan);;All files (*)");
    };
    return env;
}

}  // namespace quorvex::app
