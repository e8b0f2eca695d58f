#pragma once

#include "DiskImager.h"

#include <QDialog>
#include <QString>
#include <functional>
#include <memory>
#include <thread>

class QLabel;
class QProgressBar;
class QPushButton;

namespace quorvex::app {

// "Creating Disk Image...": copies a drive into an image file on a thread of its own, shows how far
// it got (rate, time gone and left, bytes that could not be read) and lets the user stop; the map
// beside the image lets a stopped imaging go on later. Closes itself when the imaging has ended.
class ImagingDialog : public QDialog {
    Q_OBJECT
public:
    struct Job {
        VolumeOpener source;
        QString sourceName;     // what the drive list calls it
        std::string imagePath;
        std::string mapPath;
    };

    ImagingDialog(Job job, std::function<bool(const QString&)> ask, QWidget* parent = nullptr);
    ~ImagingDialog() override;

    // The Stop button and the close box: asks, and on Yes stops the imaging (its map is kept).
    void OnStop();
    const ImagingReport& Report() const { return report_; }
    QLabel* Details() const { return details_; }
    QProgressBar* Progress() const { return progress_; }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override {}

private:
    class Worker;
    void Show(const ImagingProgress& progress);
    void OnWorkerDone();

    Job job_;
    std::function<bool(const QString&)> ask_;
    QLabel* phase_;
    QProgressBar* progress_;
    QLabel* details_;
    QPushButton* stop_;
    std::unique_ptr<Worker> worker_;
    std::thread thread_;
    ImagingReport report_;
    bool started_ = false;
    bool done_ = false;
};

}  // namespace quorvex::app
