#include "KeptScans.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QMetaObject>
#include <QStringList>
#include <mutex>

namespace quorvex::app {

namespace {

QString Count(std::uint64_t n)
{
    return QLocale(QLocale::English, QLocale::UnitedStates).toString(static_cast<qulonglong>(n));
}

}  // namespace

QString WhatWasFound(const FoundFileCatalogue& catalogue)
{
    QStringList types;
    for (const TypeSelection& type : catalogue.Selection().Entries())
        if (const std::uint64_t n = catalogue.CountOfType(type.token); n > 0)
            types << QString::fromStdString(type.token) + " " + Count(n);
    const QString files = catalogue.FoundCount() == 1 ? "1 file" : Count(catalogue.FoundCount()) + " files";
    return types.isEmpty() ? files : files + " (" + types.join(", ") + ")";
}

int PercentReached(const ScanSession& session)
{
    const std::uint64_t sectors = session.source.sizeBytes / kSectorSize;
    return sectors == 0 ? 0 : static_cast<int>(std::min<std::uint64_t>(session.checkpoint.nextSector, sectors) * 100 / sectors);
}

// Where a running scan's checkpoints go: the drive's session file (when there is one) and the
// last checkpoint, kept for Save Scan Results. Called on the scan thread; a file that cannot be
// written is told once, on the window's thread.
class KeptScans::CheckpointKeeper final : public ScanCheckpointSink {
public:
    CheckpointKeeper(const MainDialogEnvironment& env, QObject* context, const QString& path,
                     const SourceIdentity& identity)
    {
        if (!path.isEmpty())
            writer_.emplace(QFile::encodeName(path).toStdString(), identity, [&env, context](const std::string& why) {
                QMetaObject::invokeMethod(
                    context,
                    [&env, why] {
                        env.notice("The scan goes on, but if it is interrupted it cannot be resumed: its "
                                   "progress cannot be saved.<br><br>" +
                                   QString::fromStdString(why).toHtmlEscaped());
                    },
                    Qt::QueuedConnection);
            });
    }
    void SaveCheckpoint(const FoundFileCatalogue& catalogue, const ScanCheckpoint& checkpoint) override
    {
        {
            std::lock_guard lock(mutex_);
            last_ = checkpoint;
        }
        if (writer_)
            writer_->SaveCheckpoint(catalogue, checkpoint);
    }
    ScanCheckpoint Last() const
    {
        std::lock_guard lock(mutex_);
        return last_;
    }

private:
    std::optional<ScanSessionWriter> writer_;
    mutable std::mutex mutex_;
    ScanCheckpoint last_;
};

KeptScans::KeptScans(const MainDialogEnvironment& env, QObject* context) : env_(env), context_(context) {}

KeptScans::~KeptScans() = default;

std::optional<SourceIdentity> KeptScans::IdentifyDrive(const VolumeDescription& drive) const
{
    VolumeReader reader;
    if (!reader.Open(env_.openerFor(drive)).ok())
        return std::nullopt;
    return IdentifySource(reader, drive.path);
}

QString KeptScans::KeptSessionPath(const SourceIdentity& identity) const
{
    if (env_.sessionFolder.isEmpty())
        return {};
    // One file per medium: another card in the same reader has a session of its own.
    return QDir(env_.sessionFolder)
        .filePath(QString("%1-%2.qvxscan").arg(identity.sizeBytes).arg(identity.fingerprint, 16, 16, QChar('0')));
}

void KeptScans::SelectDrive(const VolumeDescription& drive)
{
    identity_ = IdentifyDrive(drive);
    sessionPath_ = identity_ ? KeptSessionPath(*identity_) : QString();
}

std::optional<TakenScan> KeptScans::OfferKeptSession(const VolumeDescription& drive)
{
    if (!identity_ || sessionPath_.isEmpty() || !QFile::exists(sessionPath_))
        return std::nullopt;
    TakenScan taken;
    ScanSession& session = taken.session;
    if (const SessionCheck check = ReadSessionFile(QFile::encodeName(sessionPath_).toStdString(), session); !check.ok()) {
        // Kept aside, never overwritten: the new scan gets a fresh file.
        const QString aside = sessionPath_ + ".unusable";
        QFile::remove(aside);
        QFile::rename(sessionPath_, aside);
        env_.notice("The earlier scan of this drive cannot be used: " +
                    QString::fromStdString(check.reason).toHtmlEscaped() + "<br><br>It was kept as " +
                    aside.toHtmlEscaped() + "; a new scan starts afresh.");
        return std::nullopt;
    }
    if (!session.source.SameMedium(*identity_))
        return std::nullopt;
    const QString name = QString::fromStdString(drive.RowText()).toHtmlEscaped();
    const QString what = WhatWasFound(session.catalogue);
    if (session.checkpoint.finished) {
        if (!env_.ask(QString("%1 was scanned before: %2 were found.<br><br>Show those files without scanning "
                              "again? (No: choose the types and scan it again.)")
                          .arg(name, what)))
            return std::nullopt;
        return taken;
    }
    if (!env_.ask(QString("A scan of %1 stopped at %2% after finding %3.<br><br>Go on with it from there? (No: "
                          "choose the types and start a new scan.)")
                      .arg(name)
                      .arg(PercentReached(session))
                      .arg(what)))
        return std::nullopt;
    taken.resume = true;
    return taken;
}

std::optional<KeptScans::OpenedScan> KeptScans::OpenResults(const std::vector<VolumeDescription>& volumes,
                                                            const std::function<bool(const VolumeDescription&)>& ensureReadable)
{
    const QString file = env_.chooseResultsFileToOpen ? env_.chooseResultsFileToOpen() : QString();
    if (file.isEmpty())
        return std::nullopt;
    TakenScan taken;
    ScanSession& session = taken.session;
    if (const SessionCheck check = ReadSessionFile(QFile::encodeName(file).toStdString(), session); !check.ok()) {
        env_.notice(QString::fromStdString(check.reason).toHtmlEscaped());
        return std::nullopt;
    }
    // The files are read from the drive the scan saw: it must be here, and unchanged.
    std::optional<VolumeDescription> drive;
    for (const VolumeDescription& volume : volumes)
        if (volume.path == session.source.path)
            drive = volume;
    if (!drive && QFileInfo(QString::fromStdString(session.source.path)).isFile())
        drive = DescribeDiskImage(session.source.path);
    const QString sourceName = QString::fromStdString(session.source.path).toHtmlEscaped();
    if (drive && ensureReadable && !ensureReadable(*drive))
        return std::nullopt;
    const std::optional<SourceIdentity> identity = drive ? IdentifyDrive(*drive) : std::nullopt;
    if (!identity) {
        env_.notice("These results are of " + sourceName + ", which is not here now. Connect it and try again.");
        return std::nullopt;
    }
    if (!session.source.SameMedium(*identity)) {
        env_.notice(sourceName + " is not the drive these results were found on (another card, or it has changed "
                                 "since): its files cannot be shown from them.");
        return std::nullopt;
    }
    identity_ = identity;
    sessionPath_ = KeptSessionPath(*identity);
    if (!session.checkpoint.finished)
        taken.resume = env_.ask(QString("This scan stopped at %1% after finding %2.<br><br>Go on with it from there? "
                                        "(No: show the files found so far.)")
                                    .arg(PercentReached(session))
                                    .arg(WhatWasFound(session.catalogue)));
    return OpenedScan{*drive, std::move(taken)};
}

void KeptScans::SaveResults(const FoundFileCatalogue& catalogue, const VolumeDescription& drive) const
{
    if (!identity_) {
        env_.notice("The results cannot be saved: the drive could not be read to tell it from others.");
        return;
    }
    const QString file = env_.chooseResultsFileToSave
                             ? env_.chooseResultsFileToSave(QString::fromStdString(drive.name) + ".qvxscan")
                             : QString();
    if (file.isEmpty())
        return;
    const std::string failure =
        WriteSessionFile(QFile::encodeName(file).toStdString(), *identity_, catalogue, lastCheckpoint_);
    if (!failure.empty())
        env_.notice("The results could not be saved:<br><br>" + QString::fromStdString(failure).toHtmlEscaped());
    else if (env_.giveToUser)
        env_.giveToUser(file);
}

ScanCheckpointSink* KeptScans::BeginScan()
{
    if (!sessionPath_.isEmpty())
        QDir().mkpath(QFileInfo(sessionPath_).absolutePath());  // a failure is told by the first checkpoint
    keeper_ = std::make_unique<CheckpointKeeper>(env_, context_, sessionPath_, identity_.value_or(SourceIdentity{}));
    return keeper_.get();
}

void KeptScans::EndScan()
{
    if (keeper_)
        lastCheckpoint_ = keeper_->Last();
    if (env_.giveToUser && !sessionPath_.isEmpty() && QFile::exists(sessionPath_))
        env_.giveToUser(sessionPath_);
}

}  // namespace quorvex::app
