#include "SaveWorkflow.h"

#include "SaveProgressDialog.h"

#include <QDir>
#include <QFile>

namespace quorvex::app {

std::optional<SaveReport> SaveWorkflow::Save(const SaveRequest& request)
{
    const FoundFileCatalogue& catalogue = *request.catalogue;
    SaveProgressDialog::Job job;
    job.catalogue = &catalogue;
    job.opener = env_.openerFor(request.drive);
    job.saveAll = request.all;
    job.names = request.names;
    const bool exact = catalogue.Mode() == RecoveryMode::Exact;
    const DuplicateMap* leftOut = exact && request.photoSaving.skipDuplicates ? request.duplicates : nullptr;
    const std::uint64_t needed =
        request.all ? SpaceNeeded(catalogue, leftOut) : SpaceNeeded(catalogue, job.names, leftOut);
    QString folder;
    for (;;) {
        folder = ChooseSaveFolder(request.drive);
        if (folder.isEmpty())
            return std::nullopt;
        const auto free = FreeBytesAt(QFile::encodeName(folder).toStdString());
        if (!free || needed <= *free)
            break;
        if (env_.ask(QString("The files need %1 MB, but only %2 MB are free in %3.<br><br>Save as many of them as "
                             "fit, in order? (No: choose another folder.)")
                         .arg(static_cast<double>(needed) / (1024.0 * 1024.0), 0, 'f', 1)
                         .arg(static_cast<double>(*free) / (1024.0 * 1024.0), 0, 'f', 1)
                         .arg(folder.toHtmlEscaped()))) {
            job.spaceBudget = *free;
            break;
        }
    }
    job.destinationFolder = QFile::encodeName(folder).toStdString();
    if (exact) {
        job.nameByCaptureDate = request.photoSaving.nameByCaptureDate;
        job.skipDuplicates = request.photoSaving.skipDuplicates;
        job.keepCardNames = request.photoSaving.keepCardNames;
        job.duplicates = request.duplicates;
    }
    SaveProgressDialog dialog(std::move(job), env_.ask, parent_);
    dialog.exec();
    if (env_.giveToUser)
        env_.giveToUser(QDir(folder).filePath(kRecoveryFolderName));
    return dialog.Report();
}

void SaveWorkflow::TellWhatWasNotSaved(const SaveReport& report)
{
    if (report.outcome == SaveOutcome::VolumeUnavailable) {
        env_.notice("The drive could not be read, so nothing was saved.<br><br>" +
                    QString::fromStdString(report.message).toHtmlEscaped());
        return;
    }
    if (report.notSaved > 0) {
        QString text = QString(report.outcome == SaveOutcome::DiskFull ? "The destination is full. Saved %1 of %2 files."
                                                                        : "Saved %1 of %2 files, as many as fit.")
                           .arg(report.saved)
                           .arg(report.saved + report.failed + report.notSaved);
        text += QString("<br><br>%1 files were not saved; they need %2 MB more:")
                    .arg(report.notSaved)
                    .arg(static_cast<double>(report.bytesStillNeeded) / (1024.0 * 1024.0), 0, 'f', 1);
        for (std::size_t i = 0; i < report.unsavedNames.size() && i < 5; ++i)
            text += "<br>" + QString::fromStdString(report.unsavedNames[i]).toHtmlEscaped();
        if (report.notSaved > 5)
            text += "<br>...";
        env_.notice(text);
    }
    if (report.failed > 0) {
        QString text = QString("%1 of the files could not be written:").arg(report.failed);
        for (std::size_t i = 0; i < report.failures.size() && i < 5; ++i)
            text += "<br>" + QString::fromStdString(report.failures[i].path + ": " + report.failures[i].reason).toHtmlEscaped();
        if (report.failed > 5)
            text += "<br>...";
        env_.notice(text);
    }
}

QString SaveWorkflow::ChooseSaveFolder(const VolumeDescription& drive)
{
    for (;;) {
        const QString folder = env_.chooseFolder ? env_.chooseFolder() : QString();
        if (folder.isEmpty())
            return {};
        const DestinationCheck check =
            CheckDestination(QFile::encodeName(folder).toStdString(), drive.path, env_.systemTables);
        if (check.ok())
            return folder;
        env_.notice(QString::fromStdString(check.reason).toHtmlEscaped());
    }
}

}  // namespace quorvex::app
