#include "MainDialog.h"

#include "AboutBox.h"
#include "CColorLabel.h"
#include "CIconMenu.h"
#include "CSkinButton.h"
#include "CTypeTreeCtrl.h"
#include "DrivePage.h"
#include "FileTypePage.h"
#include "DiskImaging.h"
#include "DriveAccess.h"
#include "FoundFileListView.h"
#include "KeptScans.h"
#include "MainMenus.h"
#include "ProductLinks.h"
#include "ResourceTable.h"
#include "ResultsPage.h"
#include "SaveWorkflow.h"
#include "ScanUiBridge.h"
#include "SettingsDialog.h"
#include "WizardSurface.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>

namespace quorvex::app {

MainDialog::MainDialog(MainDialogEnvironment environment, QWidget* parent)
    : QDialog(parent), env_(std::move(environment)),
      driveAccess_(std::make_unique<DriveAccess>(env_, env_.openerFor, this)), bridge_(std::make_unique<ScanUiBridge>()),
      engine_(std::make_unique<ScanEngine>(catalogue_, *bridge_)), keptScans_(std::make_unique<KeptScans>(env_, this))
{
    // Every reader of a drive (scan, thumbnails, preview, save, imaging, kept scans) reads it
    // through the descriptor granted for it, when it needed one.
    env_.openerFor = [this](const VolumeDescription& drive) { return driveAccess_->OpenerFor(drive); };
    setWindowTitle("Quorvex");
    setWindowIcon(res::LoadIcon(res::id::kAppIcon));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);

    BuildMenus();
    BuildFrame();
    drivePage_ = new DrivePage(controls_, env_, this);
    surface_->SetWhiteFrame(drivePage_->PropertiesFrame());
    typePage_ = new FileTypePage(controls_, env_, this);
    ResultsPage::Source source;
    source.opener = [this]() -> std::optional<VolumeOpener> {
        if (!selectedDrive_)
            return std::nullopt;
        return env_.openerFor(*selectedDrive_);
    };
    source.scanRunning = [this] { return engine_->IsRunning(); };
    resultsPage_ = new ResultsPage(controls_, env_, catalogue_, std::move(source), this);
    connect(resultsPage_, &ResultsPage::ThumbnailsEnded, this, &MainDialog::ThumbnailsEnded);
    connect(resultsPage_, &ResultsPage::RecoverRequested, this, [this] { OnSave(false); });
    // Drawn over the pages' controls where they overlap.
    controls_.progress->raise();
    surface_->RaiseScanLines();

    connect(bridge_.get(), &ScanUiBridge::Progress, this, &MainDialog::OnScanProgress, Qt::QueuedConnection);
    connect(bridge_.get(), &ScanUiBridge::TypeFound, resultsPage_, &ResultsPage::OnTypeFound, Qt::QueuedConnection);
    connect(bridge_.get(), &ScanUiBridge::FoundCounts, resultsPage_, &ResultsPage::OnFoundCounts, Qt::QueuedConnection);
    connect(bridge_.get(), &ScanUiBridge::UnreadableSectors, this, &MainDialog::OnUnreadableSectors,
            Qt::QueuedConnection);
    connect(bridge_.get(), &ScanUiBridge::ReassemblyProgress, this, &MainDialog::OnReassemblyProgress,
            Qt::QueuedConnection);
    connect(
        bridge_.get(), &ScanUiBridge::Reassembled, this,
        [this](qulonglong count) {
            surface_->ShowReassembly(count > 0 ? ReassembledText(count) : QString());
        },
        Qt::QueuedConnection);
    connect(bridge_.get(), &ScanUiBridge::Finished, this, &MainDialog::OnScanFinished, Qt::QueuedConnection);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setMenuBar(menus_->Bar());
    layout->addWidget(surface_);
    setFixedSize(surface_->width(), surface_->height() + menus_->Bar()->sizeHint().height());

    drivePage_->FillDriveList();
    page_ = kDrivePage;
    controls_.saveSelected->setEnabled(false);
    controls_.saveAll->setEnabled(false);

    if (env_.invokingUser && env_.invokingUser())
        QTimer::singleShot(0, this, [this] {
            env_.notice("Quorvex does not need to run as administrator: when a drive needs permission to be read, "
                        "it asks for it. What it saves in your home folder is given to you.");
        });
}

MainDialog::~MainDialog()
{
    engine_->RequestStop();
    engine_->Wait();
    resultsPage_->ReleaseCatalogue();
}

void MainDialog::BuildMenus()
{
    menus_ = new MainMenus(this, [this](int command) { OnCommand(command); }, [this] {
        return MainMenus::State{page_ == kDrivePage, page_ == kTypePage, page_ == kResultsPage, engine_->IsRunning()};
    });
}

void MainDialog::BuildFrame()
{
    surface_ = new WizardSurface(this, controls_);
    connect(surface_->Logo(), &QAbstractButton::clicked, this, [this] { env_.openUrl(links::kHomePage); });
    connect(controls_.saveSelected, &QAbstractButton::clicked, this, [this] { OnCommand(MainMenus::kSaveSelectedCommand); });
    connect(controls_.saveAll, &QAbstractButton::clicked, this, [this] { OnCommand(MainMenus::kSaveAllCommand); });
    connect(controls_.settings, &QAbstractButton::clicked, this, &MainDialog::OnSettings);
    connect(controls_.back, &QAbstractButton::clicked, this, &MainDialog::OnBack);
    connect(controls_.next, &QAbstractButton::clicked, this, &MainDialog::OnNext);
    connect(controls_.stop, &QAbstractButton::clicked, this, &MainDialog::OnStop);
}

// ---- what the pages hold, for tests and tools

QMenuBar* MainDialog::MenuBar() const { return menus_->Bar(); }
controls::CIconMenu* MainDialog::FileMenu() const { return menus_->FileMenu(); }
controls::CIconMenu* MainDialog::ToolsMenu() const { return menus_->ToolsMenu(); }
QLabel* MainDialog::ReadErrorsLabel() const { return surface_->ReadErrorsLine(); }
QLabel* MainDialog::ReassemblyLabel() const { return surface_->ReassemblyLine(); }
QTreeWidget* MainDialog::DriveList() const { return drivePage_->DriveList(); }
const std::vector<VolumeDescription>& MainDialog::Volumes() const { return drivePage_->Volumes(); }
QString MainDialog::PropertyValue(int index) const { return drivePage_->PropertyValue(index); }
FileTypeList* MainDialog::FileTypes() const { return typePage_->TypeList(); }
QCheckBox* MainDialog::ExactRecoveryBox() const { return typePage_->ExactRecoveryBox(); }
QTreeWidget* MainDialog::ResultsTree() const { return resultsPage_->TypeTree(); }
preview::CTypeTreeCtrl* MainDialog::TypeTree() const { return resultsPage_->TypeTree(); }
preview::FoundFileListView* MainDialog::ResultsList() const { return resultsPage_->List(); }
QLabel* MainDialog::ScanningPicture() const { return resultsPage_->ScanningPicture(); }
QString MainDialog::PreviewFilePath() const { return resultsPage_->PreviewFilePath(); }
bool MainDialog::ThumbnailsRunning() const { return resultsPage_->ThumbnailsRunning(); }
void MainDialog::WaitForThumbnails() { resultsPage_->WaitForThumbnails(); }
void MainDialog::BuildThumbnails(const QString& token) { resultsPage_->BuildThumbnails(token); }
void MainDialog::PreviewFoundFile(int row) { resultsPage_->PreviewFoundFile(row); }
void MainDialog::AddDiskImage(const QString& path) { drivePage_->AddDiskImage(path); }

QString MainDialog::CaptionText() const
{
    return controls_.caption->isVisible() ? controls_.caption->text() : QString();
}

// ---- the wizard

void MainDialog::OnNext()
{
    if (page_ == kDrivePage) {
        if (const std::optional<VolumeDescription> drive = drivePage_->CurrentVolume())
            LeaveDrivePage(*drive);
    } else if (page_ == kTypePage) {
        if (typePage_->CheckedTypeCount() == 0) {
            controls_.caption->show();
            controls_.caption->setText(QString());
            env_.notice("Please Select file type to recover.");
            return;
        }
        page_ = kResultsPage;
        StartScan();
    }
}

void MainDialog::LeaveDrivePage(const VolumeDescription& drive)
{
    if (!driveAccess_->EnsureReadable(drive))
        return;
    selectedDrive_ = drive;
    keptScans_->SelectDrive(drive);
    if (std::optional<TakenScan> kept = keptScans_->OfferKeptSession(drive)) {
        ShowResultsOf(std::move(kept->session), kept->resume);
        return;
    }
    page_ = kTypePage;
    drivePage_->Hide();
    typePage_->Show();
    typePage_->Reset(prefixSetting_, sizeSetting_);
}

void MainDialog::OnBack()
{
    if (page_ == kTypePage) {
        page_ = kDrivePage;
        // Hide disables the save buttons; the drive page enables Settings and shows the caption.
        controls_.caption->setText("Select Drive to recover");
        typePage_->Hide();
        drivePage_->Show();
    } else if (page_ == kResultsPage) {
        page_ = kTypePage;
        controls_.saveSelected->setEnabled(false);
        controls_.saveAll->setEnabled(false);
        controls_.settings->setEnabled(true);
        if (engine_->IsRunning())
            engine_->RequestStop();
        WaitForScan();  // the catalogue is emptied only once the workers that read it have ended
        resultsPage_->ReleaseCatalogue();
        catalogue_.ClearCatalogue();
        resultsPage_->Hide();
        typePage_->Show();
        if (typePage_->CheckedTypeCount() == 0)  // the results came from a kept session
            typePage_->Reset(prefixSetting_, sizeSetting_);
        resultsPage_->RemovePreviewFile();
    }
}

void MainDialog::StopWork()
{
    if (engine_->IsRunning())
        engine_->RequestStop();
    resultsPage_->StopThumbnails();
    controls_.progress->hide();
}

void MainDialog::OnStop()
{
    if (env_.ask("Are you sure,stop surrent process."))
        StopWork();
}

void MainDialog::OnClose()
{
    resultsPage_->RemovePreviewFile();
    if (!env_.ask("Are you sure,exit software ?"))
        return;
    StopWork();
    env_.exitProcess(0);
}

void MainDialog::OnSettings()
{
    if (page_ != kDrivePage && page_ != kTypePage)
        return;
    SettingsDialog dialog(prefixSetting_, sizeSetting_, env_.notice, this);
    const PhotoSaving saving = CurrentPhotoSaving();
    dialog.SetPhotoChoices(saving.nameByCaptureDate, saving.skipDuplicates, saving.keepCardNames);
    if (dialog.exec() != QDialog::Accepted)
        return;
    SetSettings(dialog.Prefix(), dialog.Size());
    photoSaving_ = PhotoSaving{dialog.NameByCaptureDate(), dialog.SkipDuplicates(), dialog.KeepCardNames()};
    if (env_.storePhotoSaving)
        env_.storePhotoSaving(*photoSaving_);
}

PhotoSaving MainDialog::CurrentPhotoSaving() const
{
    if (photoSaving_)
        return *photoSaving_;
    return env_.loadPhotoSaving ? env_.loadPhotoSaving() : PhotoSaving{};
}

void MainDialog::SetSettings(const QString& prefix, const QString& size)
{
    prefixSetting_ = prefix;
    sizeSetting_ = size;
    typePage_->ApplySettings(prefixSetting_, sizeSetting_);
}

void MainDialog::OnCommand(int command)
{
    switch (command) {
    case MainMenus::kSaveSelectedCommand:
    case MainMenus::kSaveAllCommand:
        OnSave(command == MainMenus::kSaveAllCommand);
        break;
    case MainMenus::kExitCommand:
        OnClose();
        break;
    case MainMenus::kSettingCommand:
        OnSettings();
        break;
    case MainMenus::kHelpCommand:
        env_.openUrl(links::kHowToPage);
        break;
    case MainMenus::kAboutCommand:
        ShowAboutBox(this);
        break;
    case MainMenus::kOpenDiskImageCommand:
        if (page_ == kDrivePage && env_.chooseDiskImage)
            AddDiskImage(env_.chooseDiskImage());
        break;
    case MainMenus::kCreateDiskImageCommand:
        OnCreateDiskImage();
        break;
    case MainMenus::kSaveScanResultsCommand:
        OnSaveScanResults();
        break;
    case MainMenus::kOpenScanResultsCommand:
        OnOpenScanResults();
        break;
    default:
        break;
    }
}

// ---- the scan

void MainDialog::StartScan()
{
    SelectedTypes selection = typePage_->Selection();
    const RecoveryMode mode = typePage_->Mode();
    typePage_->Hide();
    resultsPage_->Show();
    resultsPage_->BeginScan();
    unreadableSectors_ = 0;
    surface_->HideScanLines();
    catalogue_.Reset(std::move(selection), mode);
    StartEngine(std::nullopt);
}

void MainDialog::StartEngine(std::optional<ScanCheckpoint> resumeFrom)
{
    engine_->SetCheckpointSink(keptScans_->BeginScan());
    scanReportPending_ = true;
    if (resumeFrom) {
        unreadableSectors_ = resumeFrom->unreadableSectors;
        engine_->StartResume(env_.openerFor(*selectedDrive_), *resumeFrom);
    } else {
        engine_->Start(env_.openerFor(*selectedDrive_), catalogue_.Selection(), catalogue_.Mode());
    }
}

void MainDialog::OnScanProgress(int percent)
{
    controls_.progress->setValue(percent);
}

void MainDialog::OnReassemblyProgress(qulonglong searched, qulonglong toSearch)
{
    // After the last sector: the scan's bar stays full while damaged photos are searched.
    controls_.progress->setValue(100);
    surface_->ShowReassembly(QString("Putting damaged photos back together: %1 of %2").arg(searched).arg(toSearch));
}

void MainDialog::OnUnreadableSectors(qulonglong total)
{
    unreadableSectors_ = total;
    surface_->ShowUnreadableSectors(total);
}

void MainDialog::OnScanFinished(int outcome, int openFailure, const QString& message)
{
    scanReportPending_ = false;
    keptScans_->EndScan();
    const bool found = resultsPage_->EndScan();
    controls_.saveSelected->setEnabled(found);
    controls_.saveAll->setEnabled(found);
    emit ScanEnded();
    const auto result = static_cast<ScanOutcome>(outcome);
    if (result == ScanOutcome::VolumeUnavailable && static_cast<OpenFailure>(openFailure) == OpenFailure::PermissionDenied)
        env_.notice("The drive could not be read, so nothing was scanned: reading it needs permission, which was not "
                    "given.<br><br>" + message.toHtmlEscaped() + "<br><br>Go Back to the drive page and press Next "
                    "to ask for it again.");
    else if (result == ScanOutcome::VolumeUnavailable)
        env_.notice("The drive could not be read, so nothing was scanned.<br><br>" + message.toHtmlEscaped());
    else if (result == ScanOutcome::OutOfMemory)
        env_.notice(message.toHtmlEscaped());
    else if (unreadableSectors_ >= kImagingAdviceSectors)
        env_.notice(QString("Quorvex could not read %1 sectors of this drive. A card that fails to read may stop "
                            "working at any time: every thumbnail, preview and save reads it again.<br><br>Make an "
                            "image of it first (go Back to the drive page, then File &gt; Create Disk Image...), and "
                            "recover from the image.")
                        .arg(unreadableSectors_));
}

void MainDialog::WaitForScan()
{
    engine_->Wait();
    while (scanReportPending_)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

// ---- sessions: resuming a scan, and its results kept for later

void MainDialog::ShowResultsOf(ScanSession session, bool resume)
{
    if (engine_->IsRunning()) {
        engine_->RequestStop();
        WaitForScan();
    }
    resultsPage_->ReleaseCatalogue();
    drivePage_->Hide();
    typePage_->Hide();
    page_ = kResultsPage;
    resultsPage_->Show();
    catalogue_ = std::move(session.catalogue);
    keptScans_->SetLastCheckpoint(session.checkpoint);
    unreadableSectors_ = session.checkpoint.unreadableSectors;
    surface_->ShowUnreadableSectors(unreadableSectors_);
    const std::uint64_t reassembled = catalogue_.ReassembledCount();
    surface_->ShowReassembly(reassembled > 0 && !resume ? ReassembledText(reassembled) : QString());
    resultsPage_->ShowFoundTypes();
    if (resume) {
        controls_.progress->setValue(PercentReached(session));
        StartEngine(session.checkpoint);
        return;
    }
    const bool found = resultsPage_->EndScan();
    controls_.saveSelected->setEnabled(found);
    controls_.saveAll->setEnabled(found);
}

void MainDialog::OnSaveScanResults()
{
    if (page_ != kResultsPage || engine_->IsRunning() || !selectedDrive_)
        return;
    keptScans_->SaveResults(catalogue_, *selectedDrive_);
}

void MainDialog::OnOpenScanResults()
{
    if (page_ != kDrivePage)
        return;
    std::optional<KeptScans::OpenedScan> opened = keptScans_->OpenResults(
        drivePage_->Volumes(), [this](const VolumeDescription& drive) { return driveAccess_->EnsureReadable(drive); });
    if (!opened)
        return;
    drivePage_->SelectVolume(opened->drive);
    selectedDrive_ = opened->drive;
    ShowResultsOf(std::move(opened->scan.session), opened->scan.resume);
}

// ---- saving

QString MainDialog::SessionPath() const { return keptScans_->SessionPath(); }

void MainDialog::OnSave(bool all)
{
    resultsPage_->RemovePreviewFile();
    if (page_ != kResultsPage || !selectedDrive_)
        return;
    if (engine_->IsRunning()) {
        if (!env_.ask("Are you sure,stop current searching process and save the files."))
            return;
        StopWork();
    }
    WaitForScan();  // the catalogue is complete only when the scan thread has ended
    SaveRequest request;
    request.catalogue = &catalogue_;
    request.drive = *selectedDrive_;
    request.all = all;
    if (!all)
        request.names = resultsPage_->SelectedNames();
    request.photoSaving = CurrentPhotoSaving();
    request.duplicates = resultsPage_->Duplicates();
    SaveWorkflow saving(env_, this);
    const std::optional<SaveReport> report = saving.Save(request);
    if (!report)
        return;
    emit SaveEnded(report->saved, report->failed);
    saving.TellWhatWasNotSaved(*report);
}

void MainDialog::OnCreateDiskImage()
{
    const std::optional<VolumeDescription> current = drivePage_->CurrentVolume();
    if (page_ != kDrivePage || !current) {
        env_.notice("Select the drive to copy in the list first.");
        return;
    }
    if (!driveAccess_->EnsureReadable(*current))
        return;
    if (const QString image = DiskImaging(env_, this).CreateImageOf(*current); !image.isEmpty())
        AddDiskImage(image);
}

// ---- keyboard and closing

void MainDialog::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_F1:
        env_.openUrl(links::kHowToPage);
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        return;  // neither closes the window nor moves the wizard
    default:
        QDialog::keyPressEvent(event);
    }
}

void MainDialog::reject()
{
    // Escape reaches here through the dialog: it does nothing.
}

void MainDialog::closeEvent(QCloseEvent* event)
{
    event->ignore();
    OnClose();
}

}  // namespace quorvex::app
