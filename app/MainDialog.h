#pragma once

#include "FoundFileCatalogue.h"
#include "MainDialogEnvironment.h"
#include "ScanEngine.h"
#include "ScanSession.h"
#include "VolumeDescription.h"
#include "WizardControls.h"

#include <QDialog>
#include <QString>
#include <memory>
#include <optional>
#include <vector>

class QCheckBox;
class QLabel;
class QMenuBar;
class QProgressBar;
class QTreeWidget;

namespace quorvex::controls {
class CIconMenu;
class CSkinButton;
}  // namespace quorvex::controls

namespace quorvex::preview {
class CTypeTreeCtrl;
class FoundFileListView;
}  // namespace quorvex::preview

namespace quorvex::app {

class DriveAccess;
class DrivePage;
class FileTypeList;
class FileTypePage;
class KeptScans;
class MainMenus;
class ResultsPage;
class ScanUiBridge;
class WizardSurface;

// The main window: the frame of a three-step wizard (drive, file types, results) on one
// fixed-size dialog. It owns what the pages share (the chosen drive, the settings, the catalogue
// and the scan) and moves between the pages. Each page is a class of its own, and so is each
// piece of work a command starts: KeptScans (sessions, Save / Open Scan Results), SaveWorkflow
// (Save Selected, Save All) and DiskImaging (Create Disk Image).
class MainDialog : public QDialog {
    Q_OBJECT
public:
    enum PageNumber { kDrivePage = 1, kTypePage = 2, kResultsPage = 3 };

    explicit MainDialog(MainDialogEnvironment environment, QWidget* parent = nullptr);
    ~MainDialog() override;

    void OnNext();
    void OnBack();
    void OnStop();
    void StopWork();
    void OnClose();
    void OnSettings();
    // The thumbnails of one type (a click on the type in the tree).
    void BuildThumbnails(const QString& token);
    // Copies a found file to the private temporary folder and shows it (double click on a row).
    void PreviewFoundFile(int row);
    // Save Selected (false) or Save All (true).
    void OnSave(bool all);
    // Adds a row for a disk image file, selects it and shows its properties.
    void AddDiskImage(const QString& path);
    // File > Create Disk Image...: copies the selected drive into an image file, then offers to
    // scan the image.
    void OnCreateDiskImage();
    // File > Save Scan Results...: the found files (and where the scan got to) into a file.
    void OnSaveScanResults();
    // File > Open Scan Results...: shows the files of a saved scan without scanning again, and
    // offers to go on with it when it did not end.
    void OnOpenScanResults();

    // Sectors of the drive the running (or last) scan could not read.
    std::uint64_t UnreadableSectors() const { return unreadableSectors_; }
    QLabel* ReadErrorsLabel() const;
    QLabel* ReassemblyLabel() const;

    int Page() const { return page_; }
    bool ScanRunning() const { return engine_->IsRunning(); }
    bool ThumbnailsRunning() const;
    // Waits until the thumbnail worker has ended and its reports have been handled.
    void WaitForThumbnails();
    QString PreviewFilePath() const;
    // Waits until the scan thread has ended and its last report has been handled.
    void WaitForScan();
    const FoundFileCatalogue& Catalogue() const { return catalogue_; }
    const std::vector<VolumeDescription>& Volumes() const;
    std::optional<VolumeDescription> SelectedDrive() const { return selectedDrive_; }
    QString PrefixSetting() const { return prefixSetting_; }
    // How an exact recovery's photos are saved: the Settings choice, else what was remembered.
    PhotoSaving CurrentPhotoSaving() const;
    QString SizeSetting() const { return sizeSetting_; }
    void SetSettings(const QString& prefix, const QString& size);
    // Where the scan of the chosen drive keeps its session (empty: none kept).
    QString SessionPath() const;

    // The pages and the controls, for tests and tools.
    DrivePage* Drives() const { return drivePage_; }
    FileTypePage* Types() const { return typePage_; }
    ResultsPage* Results() const { return resultsPage_; }
    QTreeWidget* DriveList() const;
    FileTypeList* FileTypes() const;
    QTreeWidget* ResultsTree() const;
    preview::CTypeTreeCtrl* TypeTree() const;
    preview::FoundFileListView* ResultsList() const;
    QProgressBar* Progress() const { return controls_.progress; }
    QLabel* ScanningPicture() const;
    controls::CSkinButton* NextButton() const { return controls_.next; }
    controls::CSkinButton* BackButton() const { return controls_.back; }
    controls::CSkinButton* StopButton() const { return controls_.stop; }
    controls::CSkinButton* SaveSelectedButton() const { return controls_.saveSelected; }
    controls::CSkinButton* SaveAllButton() const { return controls_.saveAll; }
    controls::CSkinButton* SettingsButton() const { return controls_.settings; }
    QCheckBox* ExactRecoveryBox() const;
    QString CaptionText() const;
    QString PropertyValue(int index) const;  // 0 Status, 1 Type, 2 Capacity, 3 Bytes Per Sector
    QMenuBar* MenuBar() const;
    controls::CIconMenu* FileMenu() const;
    controls::CIconMenu* ToolsMenu() const;

    // Sectors a scan may fail to read before the end of the scan suggests imaging the drive.
    static constexpr std::uint64_t kImagingAdviceSectors = 64;

signals:
    void ScanEnded();
    void ThumbnailsEnded();
    // A save has ended: how many files were saved and how many failed.
    void SaveEnded(qulonglong saved, qulonglong failed);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void BuildFrame();
    void BuildMenus();
    void OnCommand(int command);

    // From the drive page to the type page, unless the drive's kept session is taken up.
    void LeaveDrivePage(const VolumeDescription& drive);
    void ShowResultsOf(ScanSession session, bool resume);
    void StartScan();
    void StartEngine(std::optional<ScanCheckpoint> resumeFrom);
    void OnScanProgress(int percent);
    void OnReassemblyProgress(qulonglong searched, qulonglong toSearch);
    void OnUnreadableSectors(qulonglong total);
    void OnScanFinished(int outcome, int openFailure, const QString& message);

    MainDialogEnvironment env_;
    std::unique_ptr<DriveAccess> driveAccess_;  // before the parts that read drives through env_
    int page_ = kDrivePage;
    std::optional<VolumeDescription> selectedDrive_;
    QString prefixSetting_ = "FoundFile";
    QString sizeSetting_ = "20480";
    std::optional<PhotoSaving> photoSaving_;  // chosen in Settings during this run

    FoundFileCatalogue catalogue_;
    std::unique_ptr<ScanUiBridge> bridge_;
    std::unique_ptr<ScanEngine> engine_;
    std::unique_ptr<KeptScans> keptScans_;
    bool scanReportPending_ = false;

    WizardSurface* surface_ = nullptr;
    WizardControls controls_;
    MainMenus* menus_ = nullptr;
    std::uint64_t unreadableSectors_ = 0;
    DrivePage* drivePage_ = nullptr;
    FileTypePage* typePage_ = nullptr;
    ResultsPage* resultsPage_ = nullptr;
};

}  // namespace quorvex::app
