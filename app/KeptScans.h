#pragma once

#include "FoundFileCatalogue.h"
#include "MainDialogEnvironment.h"
#include "ScanSession.h"
#include "VolumeDescription.h"

#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QObject;

namespace quorvex::app {

// A scan taken up from a kept session or a results file: its findings, and whether the scan goes on.
struct TakenScan {
    ScanSession session;
    bool resume = false;
};

// The scans Quorvex keeps: each drive's session in the user's data folder (so that an interrupted
// scan can go on and a finished one be shown again without scanning), and File > Save / Open Scan
// Results. It asks and tells the user through the environment; it never touches the pages.
class KeptScans {
public:
    // `context` receives the queued notice that a running scan's session cannot be written.
    KeptScans(const MainDialogEnvironment& env, QObject* context);
    ~KeptScans();

    // The drive the next scan or results belong to: tells it from other media by its bytes, and
    // finds where its session is kept.
    void SelectDrive(const VolumeDescription& drive);
    // The selected drive's kept session, when there is one and the user takes it up.
    std::optional<TakenScan> OfferKeptSession(const VolumeDescription& drive);

    // File > Open Scan Results...: a results file of a drive in `volumes` (or a disk image), read
    // and checked against the drive as it is now; on success the drive is selected.
    struct OpenedScan {
        VolumeDescription drive;
        TakenScan scan;
    };
    // `ensureReadable` gets the drive's permission first when it needs one (false: not given).
    std::optional<OpenedScan> OpenResults(const std::vector<VolumeDescription>& volumes,
                                          const std::function<bool(const VolumeDescription&)>& ensureReadable = {});
    // File > Save Scan Results...: the catalogue and where the last scan got to, into a file.
    void SaveResults(const FoundFileCatalogue& catalogue, const VolumeDescription& drive) const;

    // Where a starting scan's checkpoints go (the selected drive's session file, when one is
    // kept); valid until the next BeginScan. Called on the window's thread.
    ScanCheckpointSink* BeginScan();
    // The scan has ended: its last checkpoint is what Save Scan Results writes.
    void EndScan();
    // Results shown from a session: where that scan got to.
    void SetLastCheckpoint(const ScanCheckpoint& checkpoint) { lastCheckpoint_ = checkpoint; }

    // Where the scan of the selected drive keeps its session (empty: none kept).
    QString SessionPath() const { return sessionPath_; }

private:
    class CheckpointKeeper;

    std::optional<SourceIdentity> IdentifyDrive(const VolumeDescription& drive) const;
    QString KeptSessionPath(const SourceIdentity& identity) const;

    const MainDialogEnvironment& env_;
    QObject* context_;
    std::optional<SourceIdentity> identity_;
    QString sessionPath_;
    std::unique_ptr<CheckpointKeeper> keeper_;
    ScanCheckpoint lastCheckpoint_;  // where the last scan got to (read once it has ended)
};

// "12,345 files (JPG 12,000, BMP 345)": what a kept scan holds, for a question.
QString WhatWasFound(const FoundFileCatalogue& catalogue);
// How far a kept scan got, in percent of its drive.
int PercentReached(const ScanSession& session);

}  // namespace quorvex::app
