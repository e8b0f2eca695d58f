#pragma once

#include "ScanObserver.h"

#include <QObject>
#include <QString>

namespace quorvex::app {

// Hands the scan thread's reports to the UI thread as queued signals, in the order they came.
class ScanUiBridge : public QObject, public ScanObserver {
    Q_OBJECT
public:
    void OnScanProgress(int percent) override { emit Progress(percent); }
    void OnTypeFound(const std::string& token) override { emit TypeFound(QString::fromStdString(token)); }
    void OnFoundCounts(const std::vector<TypeCount>& counts) override { emit FoundCounts(counts); }
    void OnUnreadableSectors(std::uint64_t total) override { emit UnreadableSectors(static_cast<qulonglong>(total)); }
    void OnReassemblyProgress(std::uint64_t searched, std::uint64_t toSearch) override
    {
        emit ReassemblyProgress(static_cast<qulonglong>(searched), static_cast<qulonglong>(toSearch));
    }
    void OnScanFinished(const ScanSummary& summary) override
    {
        emit Reassembled(static_cast<qulonglong>(summary.reassembled));
        emit Finished(static_cast<int>(summary.outcome), static_cast<int>(summary.openFailure),
                      QString::fromStdString(summary.message));
    }

signals:
    void Progress(int percent);
    void TypeFound(const QString& token);
    void FoundCounts(const std::vector<quorvex::TypeCount>& counts);
    void UnreadableSectors(qulonglong total);
    void ReassemblyProgress(qulonglong searched, qulonglong toSearch);
    void Reassembled(qulonglong count);
    void Finished(int outcome, int openFailure, const QString& message);
};

}  // namespace quorvex::app
