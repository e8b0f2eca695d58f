#pragma once

#include "FoundFileSaver.h"

#include <QDialog>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class QLabel;
class QProgressBar;

namespace quorvex::controls {
class CSkinButton;
}

namespace quorvex::app {

// "File Saving...": shows the file being written while SaveWorker writes the chosen found files on
// its own thread, and lets the user stop. The dialog closes itself when the worker has ended, so
// it always outlives its worker; Enter and Escape do nothing.
class SaveProgressDialog : public QDialog {
    Q_OBJECT
public:
    struct Job {
        const FoundFileCatalogue* catalogue = nullptr;
        VolumeOpener opener;
        std::string destinationFolder;
        bool saveAll = true;
        std::vector<std::string> names;  // for Save Selected
        std::optional<std::uint64_t> spaceBudget;  // save only as many as fit in this many bytes
        bool nameByCaptureDate = false;            // exact recovery: photos named by when they were taken
        bool skipDuplicates = false;               // exact recovery: copies of a saved file left out
        bool keepCardNames = false;                // exact recovery: files saved under the card's names
        const DuplicateMap* duplicates = nullptr;  // the copies, when known; else found before saving
    };

    SaveProgressDialog(Job job, std::function<bool(const QString&)> ask, QWidget* parent = nullptr);
    ~SaveProgressDialog() override;

    // The Stop Saving button and the close box: asks, and on Yes asks the worker to stop.
    void OnStopSaving();
    const SaveReport& Report() const { return report_; }
    QLabel* PathLabel() const { return path_; }
    QProgressBar* Progress() const { return progress_; }
    controls::CSkinButton* StopButton() const { return stop_; }

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override {}

private:
    class Worker;
    void OnWorkerDone();

    Job job_;
    std::function<bool(const QString&)> ask_;
    QLabel* path_;
    QProgressBar* progress_;
    controls::CSkinButton* stop_;
    std::unique_ptr<Worker> worker_;
    std::thread thread_;
    SaveReport report_;
    bool started_ = false;
    bool done_ = false;
};

}  // namespace quorvex::app
