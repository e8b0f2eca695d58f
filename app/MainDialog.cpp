#include "MainDialog.h"

#include "AboutBox.h"
#include "CColorLabel.h"
#include "CIconMenu.h"
#include "CSkinButton.h"
#include "CTypeTreeCtrl.h"
#include "DialogUnits.h"
#include "DrivePage.h"
#include "FileTypePage.h"
#include "FileVolumeSource.h"
#include "FoundFileListView.h"
#include "FoundFileSaver.h"
#include "ImagingDialog.h"
#include "ProductLinks.h"
#include "ResourceTable.h"
#include "ResultsPage.h"
#include "SaveProgressDialog.h"
#include "ScanUiBridge.h"
#include "SettingsDialog.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMenuBar>
#include <QPainter>
#include <QProgressBar>
#include <QVBoxLayout>

namespace quorvex::app {

namespace {

// What the line under the progress bar says of the photos put back together after a scan.
QString ReassembledText(std::uint64_t count)
{
    return QString("%1 damaged photo%2 put back together from their pieces").arg(count).arg(count == 1 ? "" : "s");
}

}  // namespace

namespace {

// The main window's face: the background picture, and the properties frame's white interior.
class WizardSurface : public QWidget {
public:
    explicit WizardSurface(QWidget* parent) : QWidget(parent), background_(res::LoadBitmap(res::id::kMainBackground)) {}
    QWidget* whiteFrame = nullptr;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        if (background_.isNull())
            painter.fillRect(rect(), palette().color(QPalette::Window));
        else
            painter.drawPixmap(0, 0, background_);
        if (whiteFrame != nullptr && whiteFrame->isVisible())
            painter.fillRect(whiteFrame->geometry().adjusted(1, 8, -1, -1), Qt::white);
    }

private:
    QPixmap background_;
};

QString Count(std::uint64_t n)
{
    return QLocale(QLocale::English, QLocale::UnitedStates).toString(static_cast<qulonglong>(n));
}

// "12,345 files (JPG 12,000, BMP 345)": what a saved scan holds, for a question.
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

}  // namespace

// Where a running scan's checkpoints go: the drive's session file (when there is one) and the
// last checkpoint, kept for Save Scan Results. Called on the scan thread; a file that cannot be
// written is told once, on the window's thread.
class MainDialog::SessionKeeper final : public ScanCheckpointSink {
public:
    SessionKeeper(MainDialog* dialog, const QString& path, const SourceIdentity& identity)
    {
        if (!path.isEmpty())
            writer_.emplace(QFile::encodeName(path).toStdString(), identity, [dialog](const std::string& why) {
                QMetaObject::invokeMethod(
                    dialog,
                    [dialog, why] {
                        dialog->env_.notice("The scan goes on, but if it is interrupted it cannot be resumed: its "
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

MainDialog::MainDialog(MainDialogEnvironment environment, QWidget* parent)
    : QDialog(parent), env_(std::move(environment)), bridge_(std::make_unique<ScanUiBridge>()),
      engine_(std::make_unique<ScanEngine>(catalogue_, *bridge_))
{
    setWindowTitle("Quorvex");
    setWindowIcon(res::LoadIcon(res::id::kAppIcon));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);

    BuildMenus();
    BuildFrame();
    drivePage_ = new DrivePage(controls_, env_, this);
    static_cast<WizardSurface*>(surface_)->whiteFrame = drivePage_->PropertiesFrame();
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
    readErrors_->raise();
    reassembly_->raise();

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
            ShowReassembly(count > 0 ? ReassembledText(count) : QString());
        },
        Qt::QueuedConnection);
    connect(bridge_.get(), &ScanUiBridge::Finished, this, &MainDialog::OnScanFinished, Qt::QueuedConnection);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setMenuBar(menuBar_);
    layout->addWidget(surface_);
    setFixedSize(surface_->width(), surface_->height() + menuBar_->sizeHint().height());

    drivePage_->FillDriveList();
    page_ = kDrivePage;
    controls_.saveSelected->setEnabled(false);
    controls_.saveAll->setEnabled(false);
}

MainDialog::~MainDialog()
{
    engine_->RequestStop();
    engine_->Wait();
    resultsPage_->ReleaseCatalogue();
}

void MainDialog::BuildMenus()
{
    menuBar_ = new QMenuBar(this);
    auto makeMenu = [this](const QString& title) {
        auto* menu = new controls::CIconMenu(title, this);
        menu->SetEntryHeight(20);
        menu->SetEntryWidth(150);
        menu->SetDrawStyle(3);
        connect(menu, &controls::CIconMenu::EntryChosen, this, &MainDialog::OnCommand);
        connect(menu, &QMenu::aboutToShow, this, &MainDialog::RefreshMenus);
        menuBar_->addMenu(menu);
        return menu;
    };
    fileMenu_ = makeMenu("&File");
    fileMenu_->AppendEntry(0, kOpenDiskImageCommand, "Open Disk Image...", res::id::kDriveRemovable, 0);
    fileMenu_->AppendEntry(0, kCreateDiskImageCommand, "Create Disk Image...", res::id::kDriveFixed, 0);
    fileMenu_->AppendEntry(0, kOpenScanResultsCommand, "Open Scan Results...", res::id::kMenuSaveAll, 0);
    fileMenu_->AppendEntry(0, kSaveScanResultsCommand, "Save Scan Results...", res::id::kMenuSaveSelected, 0);
    fileMenu_->AppendEntry(0, kSaveSelectedCommand, "Save Selected", res::id::kMenuSaveSelected, 0);
    fileMenu_->AppendEntry(0, kSaveAllCommand, "Save All", res::id::kMenuSaveAll, 0);
    fileMenu_->AppendEntry(0, kExitCommand, "Exit", res::id::kMenuExit, 0);
    toolsMenu_ = makeMenu("Tools");
    toolsMenu_->AppendEntry(0, kSettingCommand, "Setting", res::id::kMenuSetting, 0);
    helpMenu_ = makeMenu("Help");
    helpMenu_->AppendEntry(0, kHelpCommand, "Help", res::id::kMenuHelp, 0);
    helpMenu_->AppendEntry(0, kAboutCommand, "About", res::id::kMenuAbout, 0);
}

void MainDialog::RefreshMenus()
{
    for (const auto& entry : fileMenu_->Entries()) {
        const int command = entry.action->data().toInt();
        if (command == kSaveSelectedCommand || command == kSaveAllCommand)
            entry.action->setEnabled(page_ == kResultsPage);
        if (command == kOpenDiskImageCommand || command == kCreateDiskImageCommand || command == kOpenScanResultsCommand)
            entry.action->setEnabled(page_ == kDrivePage);
        if (command == kSaveScanResultsCommand)
            entry.action->setEnabled(page_ == kResultsPage && !engine_->IsRunning());
    }
    for (const auto& entry : toolsMenu_->Entries())
        entry.action->setEnabled(page_ == kDrivePage || page_ == kTypePage);
}

void MainDialog::BuildFrame()
{
    surface_ = new WizardSurface(this);
    surface_->setFixedSize(DialogSize(528, 311));
    controls_.surface = surface_;

    auto skinButton = [this](QRect rect, int normal, const char* tip) {
        auto* button = new controls::CSkinButton(surface_);
        button->setGeometry(rect);
        button->SetButtonImages(normal, normal + 1);
        button->SetHoverTip(tip, 1);
        return button;
    };
    logo_ = skinButton(DialogRect(389, 12, 117, 44), res::id::kLogo, "Visit Software Homepage");
    controls_.saveSelected =
        skinButton(DialogRect(13, 12, 45, 43), res::id::kSaveSelected, "Click to save selected images only.");
    controls_.saveAll = skinButton(DialogRect(70, 12, 45, 43), res::id::kSaveAll, "Click to save all the images.");
    controls_.settings = skinButton(DialogRect(126, 12, 45, 43), res::id::kSettings, "Click to Update Settings.");
    controls_.back = skinButton(DialogRect(384, 239, 58, 18), res::id::kBack, "Navigate Back");
    controls_.next = skinButton(DialogRect(452, 239, 58, 18), res::id::kNext, "Proceed Further");
    controls_.stop = skinButton(DialogRect(452, 235, 58, 20), res::id::kStop, "Stop Process");
    connect(logo_, &QAbstractButton::clicked, this, [this] { env_.openUrl(links::kHomePage); });
    connect(controls_.saveSelected, &QAbstractButton::clicked, this, [this] { OnCommand(kSaveSelectedCommand); });
    connect(controls_.saveAll, &QAbstractButton::clicked, this, [this] { OnCommand(kSaveAllCommand); });
    connect(controls_.settings, &QAbstractButton::clicked, this, &MainDialog::OnSettings);
    connect(controls_.back, &QAbstractButton::clicked, this, &MainDialog::OnBack);
    connect(controls_.next, &QAbstractButton::clicked, this, &MainDialog::OnNext);
    connect(controls_.stop, &QAbstractButton::clicked, this, &MainDialog::OnStop);
    controls_.back->hide();
    controls_.next->hide();
    controls_.stop->hide();

    controls_.caption = new controls::CColorLabel("Select Drive to recover", surface_);
    controls_.caption->setGeometry(DialogRect(21, 71, 351, 10).adjusted(0, -3, 0, 4));
    controls_.caption->setFont(Verdana(10));
    controls_.caption->SetLabelTextColor(Qt::black);

    controls_.progress = new QProgressBar(surface_);
    controls_.progress->setGeometry(DialogRect(21, 238, 428, 12));
    controls_.progress->setRange(0, 100);
    controls_.progress->setTextVisible(false);
    controls_.progress->hide();
    readErrors_ = new QLabel(surface_);
    readErrors_->setGeometry(DialogRect(21, 251, 428, 10));
    readErrors_->setFont(Verdana(7));
    readErrors_->setStyleSheet("color: #B03020;");
    readErrors_->hide();
    reassembly_ = new QLabel(surface_);
    reassembly_->setGeometry(DialogRect(21, 251, 330, 10));  // left of the Back button
    reassembly_->setFont(Verdana(7));
    reassembly_->setStyleSheet("color: #2A5F99;");
    reassembly_->hide();
}

// ---- what the pages hold, for tests and tools

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
    selectedDrive_ = drive;
    selectedIdentity_ = IdentifyDrive(drive);
    sessionPath_ = selectedIdentity_ ? KeptSessionPath(*selectedIdentity_) : QString();
    if (selectedIdentity_ && OfferKeptSession(drive, *selectedIdentity_))
        return;
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
    dialog.SetPhotoChoices(saving.nameByCaptureDate, saving.skipDuplicates);
    if (dialog.exec() != QDialog::Accepted)
        return;
    SetSettings(dialog.Prefix(), dialog.Size());
    photoSaving_ = PhotoSaving{dialog.NameByCaptureDate(), dialog.SkipDuplicates()};
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
    case kSaveSelectedCommand:
    case kSaveAllCommand:
        OnSave(command == kSaveAllCommand);
        break;
    case kExitCommand:
        OnClose();
        break;
    case kSettingCommand:
        OnSettings();
        break;
    case kHelpCommand:
        env_.openUrl(links::kHowToPage);
        break;
    case kAboutCommand:
        ShowAboutBox(this);
        break;
    case kOpenDiskImageCommand:
        if (page_ == kDrivePage && env_.chooseDiskImage)
            AddDiskImage(env_.chooseDiskImage());
        break;
    case kCreateDiskImageCommand:
        OnCreateDiskImage();
        break;
    case kSaveScanResultsCommand:
        OnSaveScanResults();
        break;
    case kOpenScanResultsCommand:
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
    readErrors_->hide();
    reassembly_->hide();
    catalogue_.Reset(std::move(selection), mode);
    StartEngine(std::nullopt);
}

void MainDialog::StartEngine(std::optional<ScanCheckpoint> resumeFrom)
{
    if (!sessionPath_.isEmpty())
        QDir().mkpath(QFileInfo(sessionPath_).absolutePath());  // a failure is told by the first checkpoint
    sessionKeeper_ = std::make_unique<SessionKeeper>(this, sessionPath_, selectedIdentity_.value_or(SourceIdentity{}));
    engine_->SetCheckpointSink(sessionKeeper_.get());
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
    ShowReassembly(QString("Putting damaged photos back together: %1 of %2").arg(searched).arg(toSearch));
}

void MainDialog::ShowReassembly(const QString& text)
{
    reassembly_->setText(text);
    reassembly_->setVisible(!text.isEmpty());
    // Beside the unreadable sectors' line when that shows too.
    const QRect line = DialogRect(21, 251, 330, 10);
    const int after = readErrors_->isVisible() ? readErrors_->fontMetrics().horizontalAdvance(readErrors_->text()) + 12 : 0;
    reassembly_->setGeometry(line.adjusted(after, 0, 0, 0));
}

void MainDialog::OnUnreadableSectors(qulonglong total)
{
    unreadableSectors_ = total;
    readErrors_->setText(QString("%1 unreadable sectors skipped").arg(total));
    readErrors_->show();
}

void MainDialog::OnScanFinished(int outcome, int openFailure, const QString& message)
{
    scanReportPending_ = false;
    if (sessionKeeper_)
        lastCheckpoint_ = sessionKeeper_->Last();
    const bool found = resultsPage_->EndScan();
    controls_.saveSelected->setEnabled(found);
    controls_.saveAll->setEnabled(found);
    emit ScanEnded();
    const auto result = static_cast<ScanOutcome>(outcome);
    if (result == ScanOutcome::VolumeUnavailable && static_cast<OpenFailure>(openFailure) == OpenFailure::PermissionDenied &&
        env_.restartAsAdministrator) {
        // Reading raw devices needs administrator rights: offer to start again with them.
        if (env_.ask("Reading this drive needs administrator rights, which Quorvex does not have now.<br><br>" +
                     message.toHtmlEscaped() +
                     "<br><br>Restart Quorvex with administrator rights? (Or scan a disk image of the drive: "
                     "see the help page.)") &&
            env_.restartAsAdministrator()) {
            StopWork();
            env_.exitProcess(0);
        }
    } else if (result == ScanOutcome::VolumeUnavailable)
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

std::optional<SourceIdentity> MainDialog::IdentifyDrive(const VolumeDescription& drive) const
{
    VolumeReader reader;
    if (!reader.Open(env_.openerFor(drive)).ok())
        return std::nullopt;
    return IdentifySource(reader, drive.path);
}

QString MainDialog::KeptSessionPath(const SourceIdentity& identity) const
{
    if (env_.sessionFolder.isEmpty())
        return {};
    // One file per medium: another card in the same reader has a session of its own.
    return QDir(env_.sessionFolder)
        .filePath(QString("%1-%2.qvxscan").arg(identity.sizeBytes).arg(identity.fingerprint, 16, 16, QChar('0')));
}

bool MainDialog::OfferKeptSession(const VolumeDescription& drive, const SourceIdentity& identity)
{
    if (sessionPath_.isEmpty() || !QFile::exists(sessionPath_))
        return false;
    ScanSession session;
    if (const SessionCheck check = ReadSessionFile(QFile::encodeName(sessionPath_).toStdString(), session); !check.ok()) {
        // Kept aside, never overwritten: the new scan gets a fresh file.
        const QString aside = sessionPath_ + ".unusable";
        QFile::remove(aside);
        QFile::rename(sessionPath_, aside);
        env_.notice("The earlier scan of this drive cannot be used: " +
                    QString::fromStdString(check.reason).toHtmlEscaped() + "<br><br>It was kept as " +
                    aside.toHtmlEscaped() + "; a new scan starts afresh.");
        return false;
    }
    if (!session.source.SameMedium(identity))
        return false;
    const QString name = QString::fromStdString(drive.RowText()).toHtmlEscaped();
    const QString what = WhatWasFound(session.catalogue);
    if (session.checkpoint.finished) {
        if (!env_.ask(QString("%1 was scanned before: %2 were found.<br><br>Show those files without scanning "
                              "again? (No: choose the types and scan it again.)")
                          .arg(name, what)))
            return false;
        ShowResultsOf(std::move(session), false);
        return true;
    }
    if (!env_.ask(QString("A scan of %1 stopped at %2% after finding %3.<br><br>Go on with it from there? (No: "
                          "choose the types and start a new scan.)")
                      .arg(name)
                      .arg(PercentReached(session))
                      .arg(what)))
        return false;
    ShowResultsOf(std::move(session), true);
    return true;
}

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
    lastCheckpoint_ = session.checkpoint;
    unreadableSectors_ = session.checkpoint.unreadableSectors;
    readErrors_->setVisible(unreadableSectors_ > 0);
    readErrors_->setText(QString("%1 unreadable sectors skipped").arg(unreadableSectors_));
    const std::uint64_t reassembled = catalogue_.ReassembledCount();
    ShowReassembly(reassembled > 0 && !resume ? ReassembledText(reassembled) : QString());
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
    if (!selectedIdentity_) {
        env_.notice("The results cannot be saved: the drive could not be read to tell it from others.");
        return;
    }
    const QString file = env_.chooseResultsFileToSave
                             ? env_.chooseResultsFileToSave(QString::fromStdString(selectedDrive_->name) + ".qvxscan")
                             : QString();
    if (file.isEmpty())
        return;
    const std::string failure =
        WriteSessionFile(QFile::encodeName(file).toStdString(), *selectedIdentity_, catalogue_, lastCheckpoint_);
    if (!failure.empty())
        env_.notice("The results could not be saved:<br><br>" + QString::fromStdString(failure).toHtmlEscaped());
}

void MainDialog::OnOpenScanResults()
{
    if (page_ != kDrivePage)
        return;
    const QString file = env_.chooseResultsFileToOpen ? env_.chooseResultsFileToOpen() : QString();
    if (file.isEmpty())
        return;
    ScanSession session;
    if (const SessionCheck check = ReadSessionFile(QFile::encodeName(file).toStdString(), session); !check.ok()) {
        env_.notice(QString::fromStdString(check.reason).toHtmlEscaped());
        return;
    }
    // The files are read from the drive the scan saw: it must be here, and unchanged.
    std::optional<VolumeDescription> drive;
    for (const VolumeDescription& volume : drivePage_->Volumes())
        if (volume.path == session.source.path)
            drive = volume;
    if (!drive && QFileInfo(QString::fromStdString(session.source.path)).isFile())
        drive = DescribeDiskImage(session.source.path);
    const QString sourceName = QString::fromStdString(session.source.path).toHtmlEscaped();
    const std::optional<SourceIdentity> identity = drive ? IdentifyDrive(*drive) : std::nullopt;
    if (!identity) {
        env_.notice("These results are of " + sourceName + ", which is not here now. Connect it and try again.");
        return;
    }
    if (!session.source.SameMedium(*identity)) {
        env_.notice(sourceName + " is not the drive these results were found on (another card, or it has changed "
                                 "since): its files cannot be shown from them.");
        return;
    }
    drivePage_->SelectVolume(*drive);
    selectedDrive_ = drive;
    selectedIdentity_ = identity;
    sessionPath_ = KeptSessionPath(*identity);
    bool resume = false;
    if (!session.checkpoint.finished)
        resume = env_.ask(QString("This scan stopped at %1% after finding %2.<br><br>Go on with it from there? (No: "
                                  "show the files found so far.)")
                              .arg(PercentReached(session))
                              .arg(WhatWasFound(session.catalogue)));
    ShowResultsOf(std::move(session), resume);
}

// ---- saving

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
    SaveProgressDialog::Job job;
    job.catalogue = &catalogue_;
    job.opener = env_.openerFor(*selectedDrive_);
    job.saveAll = all;
    if (!all)
        job.names = resultsPage_->SelectedNames();
    const DuplicateMap* leftOut = catalogue_.Mode() == RecoveryMode::Exact && CurrentPhotoSaving().skipDuplicates
                                      ? resultsPage_->Duplicates()
                                      : nullptr;
    const std::uint64_t needed = all ? SpaceNeeded(catalogue_, leftOut) : SpaceNeeded(catalogue_, job.names, leftOut);
    QString folder;
    for (;;) {
        folder = ChooseSaveFolder();
        if (folder.isEmpty())
            return;
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
    if (catalogue_.Mode() == RecoveryMode::Exact) {
        const PhotoSaving saving = CurrentPhotoSaving();
        job.nameByCaptureDate = saving.nameByCaptureDate;
        job.skipDuplicates = saving.skipDuplicates;
        job.duplicates = resultsPage_->Duplicates();
    }
    SaveProgressDialog dialog(std::move(job), env_.ask, this);
    dialog.exec();
    const SaveReport& report = dialog.Report();
    emit SaveEnded(report.saved, report.failed);
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

QString MainDialog::ChooseSaveFolder()
{
    for (;;) {
        const QString folder = env_.chooseFolder ? env_.chooseFolder() : QString();
        if (folder.isEmpty())
            return {};
        const DestinationCheck check =
            CheckDestination(QFile::encodeName(folder).toStdString(), selectedDrive_->path, env_.systemTables);
        if (check.ok())
            return folder;
        env_.notice(QString::fromStdString(check.reason).toHtmlEscaped());
    }
}

void MainDialog::OnCreateDiskImage()
{
    const std::optional<VolumeDescription> current = drivePage_->CurrentVolume();
    if (page_ != kDrivePage || !current) {
        env_.notice("Select the drive to copy in the list first.");
        return;
    }
    const VolumeDescription volume = *current;
    QString image;
    for (;;) {
        image = env_.chooseImageFile ? env_.chooseImageFile(QString::fromStdString(volume.name) + ".img") : QString();
        if (image.isEmpty())
            return;
        const std::string folder = QFileInfo(image).absolutePath().toStdString();
        if (const DestinationCheck check = CheckDestination(folder, volume.path, env_.systemTables); !check.ok()) {
            env_.notice(QString::fromStdString(check.reason).toHtmlEscaped());
            continue;
        }
        if (!QFile::exists(image))
            break;
        if (QFile::exists(image + ".map")) {
            if (env_.ask("Copying into " + image.toHtmlEscaped() + " was stopped before it ended. Go on from where "
                                                                   "it stopped? (No: choose another file.)"))
                break;
            continue;
        }
        env_.notice(image.toHtmlEscaped() + " exists already. Choose another name: Quorvex does not overwrite it.");
    }
    ImagingDialog::Job job;
    job.source = env_.openerFor(volume);
    job.sourceName = QString::fromStdString(volume.RowText());
    job.imagePath = QFile::encodeName(image).toStdString();
    job.mapPath = job.imagePath + ".map";
    ImagingDialog dialog(std::move(job), env_.ask, this);
    dialog.exec();
    const ImagingReport& report = dialog.Report();
    QString done;
    switch (report.outcome) {
    case ImagingOutcome::Complete:
        done = "The drive was copied into " + image.toHtmlEscaped() + ".";
        break;
    case ImagingOutcome::SomeUnreadable:
        done = QString("The drive was copied into %1; %2 sectors could not be read and are zeros in the image.")
                   .arg(image.toHtmlEscaped())
                   .arg(report.unreadableBytes / kSectorSize);
        break;
    case ImagingOutcome::Stopped:
        env_.notice("Copying stopped. To go on later, choose File &gt; Create Disk Image... and the same file: "
                    "what was copied is kept in " + image.toHtmlEscaped() + ".map.");
        return;
    default:
        env_.notice("The image could not be made.<br><br>" + QString::fromStdString(report.message).toHtmlEscaped());
        return;
    }
    if (env_.ask(done + "<br><br>Scan the image now?"))
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
