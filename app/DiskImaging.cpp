#include "DiskImaging.h"

#include "ImagingDialog.h"

#include <QFile>
#include <QFileInfo>

namespace quorvex::app {

QString DiskImaging::ChooseImageFile(const VolumeDescription& volume)
{
    for (;;) {
        const QString image =
            env_.chooseImageFile ? env_.chooseImageFile(QString::fromStdString(volume.name) + ".img") : QString();
        if (image.isEmpty())
            return {};
        const std::string folder = QFileInfo(image).absolutePath().toStdString();
        if (const DestinationCheck check = CheckDestination(folder, volume.path, env_.systemTables); !check.ok()) {
            env_.notice(QString::fromStdString(check.reason).toHtmlEscaped());
            continue;
        }
        if (!QFile::exists(image))
            return image;
        if (QFile::exists(image + ".map")) {
            if (env_.ask("Copying into " + image.toHtmlEscaped() + " was stopped before it ended. Go on from where "
                                                                   "it stopped? (No: choose another file.)"))
                return image;
            continue;
        }
        env_.notice(image.toHtmlEscaped() + " exists already. Choose another name: Quorvex does not overwrite it.");
    }
}

QString DiskImaging::CreateImageOf(const VolumeDescription& volume)
{
    const QString image = ChooseImageFile(volume);
    if (image.isEmpty())
        return {};
    ImagingDialog::Job job;
    job.source = env_.openerFor(volume);
    job.sourceName = QString::fromStdString(volume.RowText());
    job.imagePath = QFile::encodeName(image).toStdString();
    job.mapPath = job.imagePath + ".map";
    ImagingDialog dialog(std::move(job), env_.ask, parent_);
    dialog.exec();
    if (env_.giveToUser) {
        env_.giveToUser(image);
        env_.giveToUser(image + ".map");
    }
    const ImagingReport& report = dialog.Report();
    QString done;
    switch (report.outcome) {
    case ImagingOutcome::Complete:
        done = "The drive was copied into " + image.toHtmlEscaped() + ".";
        break;
    case ImagingOutcome::SomeUnreadable:
        done = QString("The drive was copied into %1; %2 sectors could not be read and are zeros in the image.")
                   .arg(image.toHtmlEscaped())
                   .arg(report.unreadableBytes / kSectorSize);
        break;
    case ImagingOutcome::Stopped:
        env_.notice("Copying stopped. To go on later, choose File &gt; Create Disk Image... and the same file: "
                    "what was copied is kept in " + image.toHtmlEscaped() + ".map.");
        return {};
    default:
        env_.notice("The image could not be made.<br><br>" + QString::fromStdString(report.message).toHtmlEscaped());
        return {};
    }
    return env_.ask(done + "<br><br>Scan the image now?") ? image : QString();
}

}  // namespace quorvex::app
