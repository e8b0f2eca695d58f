#pragma once

#include "FoundFileSaver.h"
#include "ScanObserver.h"

#include <functional>
#include <string>
#include <vector>

namespace quorvex::testing {

// Keeps every call the scan makes, in order.
struct RecordingScanObserver : ScanObserver {
    std::vector<int> percents;
    std::vector<std::string> typesFound;
    std::vector<ScanSummary> finished;
    std::function<void(int)> onProgress;

    void OnScanProgress(int percent) override
    {
        percents.push_back(percent);
        if (onProgress)
            onProgress(percent);
    }
    void OnTypeFound(const std::string& token) override { typesFound.push_back(token); }
    void OnUnreadableSectors(std::uint64_t total) override { unreadable.push_back(total); }
    std::vector<std::uint64_t> unreadable;
    void OnFoundCounts(const std::vector<TypeCount>& counts) override { countReports.push_back(counts); }
    std::vector<std::vector<TypeCount>> countReports;
    void OnReassemblyProgress(std::uint64_t searched, std::uint64_t toSearch) override
    {
        reassemblyProgress.emplace_back(searched, toSearch);
    }
    std::vector<std::pair<std::uint64_t, std::uint64_t>> reassemblyProgress;
    void OnScanFinished(const ScanSummary& summary) override { finished.push_back(summary); }
};

// Keeps every call the save makes, in order.
struct RecordingSaveObserver : SaveObserver {
    std::vector<int> percents;
    std::vector<std::string> started;
    std::vector<std::string> failed;
    std::function<void(const std::string&)> onFileStarted;

    void OnSaveProgress(int percent) override { percents.push_back(percent); }
    void OnFileStarted(const std::string& path) override
    {
        started.push_back(path);
        if (onFileStarted)
            onFileStarted(path);
    }
    void OnFileFailed(const std::string& path, const std::string&) override { failed.push_back(path); }
};

}  // namespace quorvex::testing
