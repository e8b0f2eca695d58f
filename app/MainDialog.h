#pragma once

#include "DestinationCheck.h"
#include "FoundFileCatalogue.h"
#include "ScanEngine.h"
#include "VolumeDescription.h"

#include <QDialog>
#include <QIcon>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QCheckBox;
class QLabel;
class QListWidget;
class QListWidgetItem;
class QMenuBar;
class QProgressBar;
class QTreeWidget;
class QTreeWidgetItem;

namespace quorvex::controls {
class CColorLabel;
class CIconMenu;
class CSkinButton;
class CThemeGroupBox;
}  // namespace quorvex::controls

namespace quorvex::preview {
class CTypeTreeCtrl;
class ThumbnailBuilder;
}  // namespace quorvex::preview

namespace quorvex::app {

class FileTypeList;
class ScanUiBridge;

// What the main window asks of the world; tests replace any of it.
struct MainDialogEnvironment {
    std::function<std::vector<VolumeDescription>()> listVolumes;
    std::function<std::optional<std::uint64_t>(const VolumeDescription&)> volumeSize;
    std::function<VolumeOpener(const VolumeDescription&)> openerFor;
    std::function<bool(const QString&)> ask;      // a Yes/No question; true for Yes only
    std::function<void(const QString&)> notice;   // an information notice with OK
    std::function<void(int)> exitProcess;         // ends the process at once
    std::function<QString()> chooseDiskImage;     // a file chooser; empty when cancelled
    std::function<void(const QString&)> openUrl;  // the desktop's launcher
    std::function<void(const QString&)> plainNotice;  // a notice with OK and no icon
    std::function<QString()> chooseFolder;            // where to save; empty when cancelled
    std::function<void(const QString&)> openFile;     // a previewed picture, in the default viewer
    std::function<void(const QString&)> playMedia;    // a previewed RIFF file, in Media Preview
    // Starts Quorvex again with administrator rights (pkexec); false when that cannot be tried.
    std::function<bool()> restartAsAdministrator;
    // The "Exact recovery" choice, remembered between runs.
    std::function<bool()> loadExactRecovery;
    std::function<void(bool)> storeExactRecovery;
    // Where to write a disk image (suggested: a file name); empty when cancelled.
    std::function<QString(const QString&)> chooseImageFile;
    // Where the system lists block devices and mounts: which drive a folder lives on.
    SystemTables systemTables;

    // The real machine: the kernel's block devices, the markup message box, the desktop.
    static MainDialogEnvironment Default();
};

// The main window: a three-step wizard (drive, file types, results) on one fixed-size dialog,
// and the owner of the state the workers share: the selection, the catalogue and the scan.
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
    void OnDriveClick(const QPoint& viewportPosition);
    // The thumbnails of one type, on the thumbnail worker.
    void BuildThumbnails(const QString& token);
    // Copies a found file to the private temporary folder and shows it (double click on item).
    void PreviewFoundFile(int listIndex);
    // Save Selected (false) or Save All (true).
    void OnSave(bool all);
    // Adds a row for a disk image file, selects it and shows its properties.
    void AddDiskImage(const QString& path);
    // File > Create Disk Image...: copies the selected drive into an image file, then offers to
    // scan the image.
    void OnCreateDiskImage();
    // Sectors of the drive the running (or last) scan could not read.
    std::uint64_t UnreadableSectors() const { return unreadableSectors_; }
    QLabel* ReadErrorsLabel() const { return readErrors_; }

    int Page() const { return page_; }
    bool ScanRunning() const { return engine_->IsRunning(); }
    bool ThumbnailsRunning() const;
    // Waits until the thumbnail worker has ended and its reports have been handled.
    void WaitForThumbnails();
    QString PreviewFilePath() const { return previewFilePath_; }
    // Waits until the scan thread has ended and its last report has been handled.
    void WaitForScan();
    const FoundFileCatalogue& Catalogue() const { return catalogue_; }
    const std::vector<VolumeDescription>& Volumes() const { return volumes_; }
    std::optional<VolumeDescription> SelectedDrive() const { return selectedDrive_; }
    QString PrefixSetting() const { return prefixSetting_; }
    QString SizeSetting() const { return sizeSetting_; }
    void SetSettings(const QString& prefix, const QString& size);

    // The controls, for tests and tools.
    QTreeWidget* DriveList() const { return driveList_; }
    FileTypeList* FileTypes() const { return typeList_; }
    QTreeWidget* ResultsTree() const;
    preview::CTypeTreeCtrl* TypeTree() const { return resultsTree_; }
    QListWidget* ResultsList() const { return resultsList_; }
    QProgressBar* Progress() const { return progress_; }
    QLabel* ScanningPicture() const { return scanningPicture_; }
    controls::CSkinButton* NextButton() const { return next_; }
    controls::CSkinButton* BackButton() const { return back_; }
    controls::CSkinButton* StopButton() const { return stop_; }
    controls::CSkinButton* SaveSelectedButton() const { return saveSelected_; }
    controls::CSkinButton* SaveAllButton() const { return saveAll_; }
    controls::CSkinButton* SettingsButton() const { return settings_; }
    QCheckBox* ExactRecoveryBox() const { return exactRecovery_; }
    QString CaptionText() const;
    QString PropertyValue(int index) const;  // 0 Status, 1 Type, 2 Capacity, 3 Bytes Per Sector
    QMenuBar* MenuBar() const { return menuBar_; }
    controls::CIconMenu* FileMenu() const { return fileMenu_; }
    controls::CIconMenu* ToolsMenu() const { return toolsMenu_; }

    // Command identifiers of the menus.
    enum Command {
        kSaveSelectedCommand = 32771, kSaveAllCommand, kExitCommand, kSettingCommand, kHelpCommand, kAboutCommand,
        kOpenDiskImageCommand, kCreateDiskImageCommand,
    };

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
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void BuildMenus();
    void FillDriveList();
    void ShowProperties(const VolumeDescription& volume);
    void ClearProperties();
    void ShowDrivePage();
    void HideDrivePage();
    void ShowTypePage();
    void HideTypePage();
    void ShowResultsPage();
    void HideResultsPage();
    void SetCaption(const QString& text);
    void StartScan();
    void OnCommand(int command);
    void RefreshMenus();
    QTreeWidgetItem* InsertTreeNode(const QString& label, QTreeWidgetItem* parent);
    void OnThumbnailTile(int index, const QString& name, const QImage& tile);
    void OnThumbnailsFinished();
    void ShowListMenu(const QPoint& position);

    void OnScanProgress(int percent);
    void OnUnreadableSectors(qulonglong total);
    // Asks for a save folder until one can take the files (or the user cancels); says why a
    // folder is refused. Empty when cancelled.
    QString ChooseSaveFolder();
    void OnTypeFound(const QString& token);
    void OnScanFinished(int outcome, int openFailure, const QString& message);

    MainDialogEnvironment env_;
    int page_ = kDrivePage;
    std::vector<VolumeDescription> volumes_;
    std::optional<VolumeDescription> selectedDrive_;
    QString prefixSetting_ = "FoundFile";
    QString sizeSetting_ = "20480";
    QString previewFilePath_;

    FoundFileCatalogue catalogue_;
    std::unique_ptr<ScanUiBridge> bridge_;
    std::unique_ptr<ScanEngine> engine_;
    bool scanReportPending_ = false;
    std::unique_ptr<preview::ThumbnailBuilder> thumbnails_;
    bool thumbnailReportPending_ = false;
    QString thumbnailToken_;
    qint64 lastTileKey_ = 0;
    QIcon lastTileIcon_;

    QWidget* surface_ = nullptr;
    QMenuBar* menuBar_ = nullptr;
    controls::CIconMenu* fileMenu_ = nullptr;
    controls::CIconMenu* toolsMenu_ = nullptr;
    controls::CIconMenu* helpMenu_ = nullptr;
    controls::CSkinButton* logo_ = nullptr;
    controls::CSkinButton* saveSelected_ = nullptr;
    controls::CSkinButton* saveAll_ = nullptr;
    controls::CSkinButton* settings_ = nullptr;
    controls::CSkinButton* back_ = nullptr;
    controls::CSkinButton* next_ = nullptr;
    controls::CSkinButton* stop_ = nullptr;
    controls::CColorLabel* caption_ = nullptr;
    QTreeWidget* driveList_ = nullptr;
    controls::CThemeGroupBox* propertiesFrame_ = nullptr;
    controls::CColorLabel* propertiesHeading_ = nullptr;
    controls::CColorLabel* propertyNames_[4] = {};
    controls::CColorLabel* propertyValues_[4] = {};
    FileTypeList* typeList_ = nullptr;
    preview::CTypeTreeCtrl* resultsTree_ = nullptr;
    QTreeWidgetItem* resultsRoot_ = nullptr;
    QListWidget* resultsList_ = nullptr;
    QLabel* scanningPicture_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QCheckBox* exactRecovery_ = nullptr;
    QLabel* readErrors_ = nullptr;
    std::uint64_t unreadableSectors_ = 0;
};

}  // namespace quorvex::app
