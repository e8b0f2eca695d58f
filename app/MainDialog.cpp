#include "MainDialog.h"

#include "AboutBox.h"
#include "CTypeTreeCtrl.h"
#include "ExtentCopy.h"
#include "MediaPreviewDialog.h"
#include "OutputFile.h"
#include "PrivateTempFolder.h"
#include "SaveProgressDialog.h"
#include "ThumbnailBuilder.h"
#include "CColorLabel.h"
#include "CIconMenu.h"
#include "CSkinButton.h"
#include "CThemeGroupBox.h"
#include "DialogUnits.h"
#include "DriveProperties.h"
#include "FileTypeList.h"
#include "FileVolumeSource.h"
#include "FoundFileSaver.h"
#include "ImagingDialog.h"
#include "ProductLinks.h"
#include "ProgramMessages.h"
#include "ResourceTable.h"
#include "ScanUiBridge.h"
#include "SettingsDialog.h"
#include "VolumeLister.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QProcess>
#include <QProgressBar>
#include <QSettings>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>
#include <cstdlib>
#include <unistd.h>
#include <cstring>
#include <QDir>

namespace quorvex::app {

namespace {

constexpr const char* kRootLabel = "Found File Type";

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

QFont Verdana(double points, bool bold = false)
{
    QFont font("Verdana");
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

// The tooltip of a found file in exact recovery: its name, its size and what its verdict means.
QString FoundFileTip(const FoundFileEntry& entry)
{
    const double kib = static_cast<double>(entry.lengthBytes) / 1024.0;
    const QString size = kib >= 1024 ? QString("%1 MB").arg(kib / 1024.0, 0, 'f', 1) : QString("%1 KB").arg(kib, 0, 'f', 1);
    QString meaning;
    switch (entry.verdict) {
    case Verdict::Complete:
        meaning = "complete: the whole file is there";
        break;
    case Verdict::Damaged:
        meaning = "damaged: part of it was overwritten, or the card stored it in pieces";
        break;
    case Verdict::Truncated:
        meaning = "truncated: its end lies past the Maximum Size or the end of the drive";
        break;
    case Verdict::None:
        break;
    }
    return QString("%1\n%2 (%3 bytes)\n%4")
        .arg(QString::fromStdString(entry.name), size, QLocale(QLocale::English, QLocale::UnitedStates).toString(static_cast<qulonglong>(entry.lengthBytes)), meaning);
}

int DriveIconResource(VolumeKind kind)
{
    switch (kind) {
    case VolumeKind::Fixed:
        return res::id::kDriveFixed;
    case VolumeKind::Floppy:
        return res::id::kDriveFloppy;
    case VolumeKind::Removable:
    case VolumeKind::DiskImage:
        return res::id::kDriveRemovable;
    }
    return res::id::kDriveFixed;
}

}  // namespace

MainDialogEnvironment MainDialogEnvironment::Default()
{
    MainDialogEnvironment env;
    env.listVolumes = [] { return VolumeLister().List(); };
    env.volumeSize = [](const VolumeDescription& volume) -> std::optional<std::uint64_t> {
        if (volume.kind == VolumeKind::DiskImage)
            return DescribeDiskImage(volume.path).sizeBytes;
        for (const VolumeDescription& now : VolumeLister().List())
            if (now.name == volume.name)
                return now.sizeBytes;
        return std::nullopt;
    };
    env.openerFor = [](const VolumeDescription& volume) { return OpenerForPath(volume.path); };
    env.ask = [](const QString& text) { return msgbox::AskQuestion(text.toStdString()); };
    env.notice = [](const QString& text) { msgbox::ShowNotice(text.toStdString()); };
    env.exitProcess = [](int status) { std::_Exit(status); };
    env.chooseDiskImage = [] {
        return QFileDialog::getOpenFileName(nullptr, "Open Disk Image", QString(),
                                            "Disk images (*.img *.dd *.raw *.bin *.iso);;All files (*)");
    };
    env.openUrl = [](const QString& url) { QDesktopServices::openUrl(QUrl(url)); };
    env.plainNotice = [](const QString& text) { msgbox::ShowPlainNotice(text.toStdString()); };
    env.chooseFolder = [] {
        return QFileDialog::getExistingDirectory(nullptr, "Please select the path to save the files");
    };
    env.openFile = [](const QString& path) { QDesktopServices::openUrl(QUrl::fromLocalFile(path)); };
    env.restartAsAdministrator = [] {
        if (::geteuid() == 0)
            return false;  // already administrator: nothing a restart would change
        return QProcess::startDetached("pkexec", {QCoreApplication::applicationFilePath(), "--replacing"});
    };
    env.playMedia = [](const QString& path) {
        preview::MediaPreviewDialog dialog(path);
        dialog.exec();
    };
    env.chooseImageFile = [](const QString& suggested) {
        return QFileDialog::getSaveFileName(nullptr, "Create Disk Image", QDir::home().filePath(suggested),
                                            "Disk images (*.img);;All files (*)");
    };
    env.loadExactRecovery = [] { return QSettings().value("ExactRecovery", false).toBool(); };
    env.storeExactRecovery = [](bool exact) { QSettings().setValue("ExactRecovery", exact); };
    return env;
}

MainDialog::MainDialog(MainDialogEnvironment environment, QWidget* parent)
    : QDialog(parent), env_(std::move(environment)), bridge_(std::make_unique<ScanUiBridge>()),
      engine_(std::make_unique<ScanEngine>(catalogue_, *bridge_)),
      thumbnails_(std::make_unique<preview::ThumbnailBuilder>())
{
    connect(thumbnails_.get(), &preview::ThumbnailBuilder::Progress, this,
            [this](int percent) { progress_->setValue(percent); }, Qt::QueuedConnection);
    connect(thumbnails_.get(), &preview::ThumbnailBuilder::TileReady, this, &MainDialog::OnThumbnailTile,
            Qt::QueuedConnection);
    connect(thumbnails_.get(), &preview::ThumbnailBuilder::Finished, this, &MainDialog::OnThumbnailsFinished,
            Qt::QueuedConnection);
    setWindowTitle("Quorvex");
    setWindowIcon(res::LoadIcon(res::id::kAppIcon));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    connect(bridge_.get(), &ScanUiBridge::Progress, this, &MainDialog::OnScanProgress, Qt::QueuedConnection);
    connect(bridge_.get(), &ScanUiBridge::TypeFound, this, &MainDialog::OnTypeFound, Qt::QueuedConnection);
    connect(bridge_.get(), &ScanUiBridge::UnreadableSectors, this, &MainDialog::OnUnreadableSectors,
            Qt::QueuedConnection);
    connect(bridge_.get(), &ScanUiBridge::Finished, this, &MainDialog::OnScanFinished, Qt::QueuedConnection);

    BuildMenus();
    BuildControls();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setMenuBar(menuBar_);
    layout->addWidget(surface_);
    setFixedSize(surface_->width(), surface_->height() + menuBar_->sizeHint().height());

    FillDriveList();
    page_ = kDrivePage;
    saveSelected_->setEnabled(false);
    saveAll_->setEnabled(false);
}

MainDialog::~MainDialog()
{
    engine_->RequestStop();
    engine_->Wait();
    thumbnails_->RequestStop();
    thumbnails_->Wait();
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
        if (command == kOpenDiskImageCommand || command == kCreateDiskImageCommand)
            entry.action->setEnabled(page_ == kDrivePage);
    }
    for (const auto& entry : toolsMenu_->Entries())
        entry.action->setEnabled(page_ == kDrivePage || page_ == kTypePage);
}

void MainDialog::BuildControls()
{
    auto* surface = new WizardSurface(this);
    surface_ = surface;
    surface_->setFixedSize(DialogSize(528, 311));

    auto skinButton = [this](QRect rect, int normal, const char* tip) {
        auto* button = new controls::CSkinButton(surface_);
        button->setGeometry(rect);
        button->SetButtonImages(normal, normal + 1);
        button->SetHoverTip(tip, 1);
        return button;
    };
    logo_ = skinButton(DialogRect(389, 12, 117, 44), res::id::kLogo, "Visit Software Homepage");
    saveSelected_ = skinButton(DialogRect(13, 12, 45, 43), res::id::kSaveSelected, "Click to save selected images only.");
    saveAll_ = skinButton(DialogRect(70, 12, 45, 43), res::id::kSaveAll, "Click to save all the images.");
    settings_ = skinButton(DialogRect(126, 12, 45, 43), res::id::kSettings, "Click to Update Settings.");
    back_ = skinButton(DialogRect(384, 239, 58, 18), res::id::kBack, "Navigate Back");
    next_ = skinButton(DialogRect(452, 239, 58, 18), res::id::kNext, "Proceed Further");
    stop_ = skinButton(DialogRect(452, 235, 58, 20), res::id::kStop, "Stop Process");
    connect(logo_, &QAbstractButton::clicked, this, [this] { env_.openUrl(links::kHomePage); });
    connect(saveSelected_, &QAbstractButton::clicked, this, [this] { OnCommand(kSaveSelectedCommand); });
    connect(saveAll_, &QAbstractButton::clicked, this, [this] { OnCommand(kSaveAllCommand); });
    connect(settings_, &QAbstractButton::clicked, this, &MainDialog::OnSettings);
    connect(back_, &QAbstractButton::clicked, this, &MainDialog::OnBack);
    connect(next_, &QAbstractButton::clicked, this, &MainDialog::OnNext);
    connect(stop_, &QAbstractButton::clicked, this, &MainDialog::OnStop);
    back_->hide();
    next_->hide();
    stop_->hide();

    caption_ = new controls::CColorLabel("Select Drive to recover", surface_);
    caption_->setGeometry(DialogRect(21, 71, 351, 10).adjusted(0, -3, 0, 4));
    caption_->setFont(Verdana(10));
    caption_->SetLabelTextColor(Qt::black);

    driveList_ = new QTreeWidget(surface_);
    driveList_->setGeometry(DialogRect(22, 89, 151, 137));
    driveList_->setColumnCount(1);
    driveList_->setHeaderLabels({"Available Drives"});
    driveList_->setColumnWidth(0, 300);
    driveList_->setRootIsDecorated(false);
    driveList_->setSelectionMode(QAbstractItemView::SingleSelection);
    driveList_->setIconSize(QSize(20, 20));
    driveList_->setFont(Verdana(7.5));
    QFont header("Verdana");
    header.setPixelSize(16);
    header.setBold(true);
    driveList_->header()->setFont(header);
    driveList_->viewport()->installEventFilter(this);

    propertiesFrame_ = new controls::CThemeGroupBox(surface_);
    propertiesFrame_->setGeometry(DialogRect(172, 89, 336, 138));
    propertiesFrame_->SetFrameColor(QColor(127, 127, 127));
    surface->whiteFrame = propertiesFrame_;
    propertiesHeading_ = new controls::CColorLabel("Properties", surface_);
    propertiesHeading_->setGeometry(DialogRect(188, 93, 98, 14));
    propertiesHeading_->setFont(Verdana(9, true));
    propertiesHeading_->SetLabelTextColor(Qt::black);
    const char* names[4] = {"Status", "Type", "Capacity", "Bytes Per Sector"};
    const int nameY[4] = {114, 143, 172, 202}, valueY[4] = {115, 144, 173, 202};
    QFont valueFont("Verdana");
    valueFont.setPixelSize(13);
    for (int i = 0; i < 4; ++i) {
        propertyNames_[i] = new controls::CColorLabel(names[i], surface_);
        propertyNames_[i]->setGeometry(DialogRect(i == 0 ? 198 : 199, nameY[i], 92, 15));
        propertyNames_[i]->setFont(Verdana(8, true));
        propertyNames_[i]->SetLabelTextColor(QColor(32, 165, 221));
        propertyValues_[i] = new controls::CColorLabel(QString(), surface_);
        propertyValues_[i]->setGeometry(DialogRect(317, valueY[i], 120, 10).adjusted(0, -2, 0, 4));
        propertyValues_[i]->setFont(valueFont);
        propertyValues_[i]->SetLabelTextColor(Qt::black);
    }

    typeList_ = new FileTypeList(surface_);
    typeList_->setGeometry(DialogRect(21, 89, 487, 138));
    typeList_->hide();
    exactRecovery_ = new QCheckBox("Exact recovery", surface_);
    exactRecovery_->setGeometry(DialogRect(300, 242, 80, 12));
    exactRecovery_->setFont(Verdana(7.5, true));
    exactRecovery_->setToolTip("Recognise each file by a checked header, save it with its own length (not the "
                               "Maximum Size), and tell whether it is whole, damaged or cut short.");
    exactRecovery_->setChecked(env_.loadExactRecovery && env_.loadExactRecovery());
    connect(exactRecovery_, &QCheckBox::toggled, this, [this](bool exact) {
        if (env_.storeExactRecovery)
            env_.storeExactRecovery(exact);
    });
    exactRecovery_->hide();

    resultsTree_ = new preview::CTypeTreeCtrl(surface_);
    resultsTree_->setGeometry(DialogRect(21, 89, 96, 142));
    resultsTree_->setFont(Verdana(7.5));
    resultsTree_->setUniformRowHeights(true);
    resultsTree_->setStyleSheet("QTreeView::item { height: 18px; }");
    resultsTree_->SetFolderOpener([this](const QString& path) { env_.openUrl(QUrl::fromLocalFile(path).toString()); });
    connect(resultsTree_, &preview::CTypeTreeCtrl::TypeClicked, this, &MainDialog::BuildThumbnails);
    resultsTree_->hide();
    resultsList_ = new QListWidget(surface_);
    resultsList_->setGeometry(DialogRect(118, 89, 390, 142));
    resultsList_->setViewMode(QListView::IconMode);
    resultsList_->setIconSize(QSize(100, 100));
    resultsList_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    resultsList_->setResizeMode(QListView::Adjust);
    resultsList_->setMovement(QListView::Static);
    resultsList_->setSpacing(4);
    resultsList_->setUniformItemSizes(true);
    resultsList_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(resultsList_, &QListWidget::customContextMenuRequested, this, &MainDialog::ShowListMenu);
    connect(resultsList_, &QListWidget::itemDoubleClicked, this,
            [this](QListWidgetItem* item) { PreviewFoundFile(resultsList_->row(item)); });
    resultsList_->hide();
    scanningPicture_ = new QLabel(surface_);
    scanningPicture_->setGeometry(DialogRect(118, 89, 389, 144));
    scanningPicture_->setPixmap(res::LoadBitmap(res::id::kScanning));
    scanningPicture_->hide();
    progress_ = new QProgressBar(surface_);
    progress_->setGeometry(DialogRect(21, 238, 428, 12));
    progress_->setRange(0, 100);
    progress_->setTextVisible(false);
    progress_->hide();
    readErrors_ = new QLabel(surface_);
    readErrors_->setGeometry(DialogRect(21, 251, 428, 10));
    readErrors_->setFont(Verdana(7));
    readErrors_->setStyleSheet("color: #B03020;");
    readErrors_->hide();
}

// ---- the drive page

void MainDialog::FillDriveList()
{
    volumes_ = env_.listVolumes ? env_.listVolumes() : std::vector<VolumeDescription>{};
    driveList_->clear();
    for (const VolumeDescription& volume : volumes_) {
        auto* row = new QTreeWidgetItem(driveList_, {QString::fromStdString(volume.RowText())});
        row->setIcon(0, res::LoadIcon(DriveIconResource(volume.kind)));
    }
    ClearProperties();
    next_->hide();
}

void MainDialog::ClearProperties()
{
    for (auto* value : propertyValues_)
        value->setText(QString());
}

void MainDialog::ShowProperties(const VolumeDescription& volume)
{
    next_->setEnabled(false);
    next_->hide();
    const std::optional<std::uint64_t> size = env_.volumeSize ? env_.volumeSize(volume) : volume.sizeBytes;
    const DriveProperties properties = DescribeDrive(volume.kind, size && *size > 0 ? size : std::nullopt);
    propertyValues_[0]->setText(properties.status);
    propertyValues_[1]->setText(properties.type);
    propertyValues_[2]->setText(properties.capacity);
    propertyValues_[3]->setText(properties.bytesPerSector);
    if (properties.ready) {
        next_->setEnabled(true);
        next_->show();
    }
}

void MainDialog::OnDriveClick(const QPoint& viewportPosition)
{
    QTreeWidgetItem* row = driveList_->itemAt(viewportPosition);
    if (row == nullptr) {
        const DriveProperties none = NoDriveProperties();
        propertyValues_[0]->setText(none.status);
        for (int i = 1; i < 4; ++i)
            propertyValues_[i]->setText(QString());
        next_->hide();
        return;
    }
    const int index = driveList_->indexOfTopLevelItem(row);
    if (index >= 0 && index < static_cast<int>(volumes_.size()))
        ShowProperties(volumes_[static_cast<std::size_t>(index)]);
}

void MainDialog::AddDiskImage(const QString& path)
{
    if (path.isEmpty())
        return;
    const VolumeDescription image = DescribeDiskImage(path.toStdString());
    volumes_.push_back(image);
    auto* row = new QTreeWidgetItem(driveList_, {QString::fromStdString(image.RowText())});
    row->setIcon(0, res::LoadIcon(DriveIconResource(image.kind)));
    driveList_->setCurrentItem(row);
    ShowProperties(image);
}

bool MainDialog::eventFilter(QObject* watched, QEvent* event)
{
    // The properties follow mouse clicks only; keyboard selection changes leave them.
    if (watched == driveList_->viewport() && event->type() == QEvent::MouseButtonRelease)
        OnDriveClick(static_cast<QMouseEvent*>(event)->position().toPoint());
    return QDialog::eventFilter(watched, event);
}

// ---- page operations

void MainDialog::SetCaption(const QString& text)
{
    caption_->setText(text);
}

QString MainDialog::CaptionText() const
{
    return caption_->isVisible() ? caption_->text() : QString();
}

QString MainDialog::PropertyValue(int index) const
{
    return propertyValues_[index]->text();
}

void MainDialog::ShowDrivePage()
{
    for (QWidget* w : std::initializer_list<QWidget*>{driveList_, next_, propertiesFrame_, propertiesHeading_, caption_})
        w->show();
    for (int i = 0; i < 4; ++i) {
        propertyNames_[i]->show();
        propertyValues_[i]->show();
    }
    settings_->setEnabled(true);
    surface_->update();
}

void MainDialog::HideDrivePage()
{
    for (QWidget* w : std::initializer_list<QWidget*>{driveList_, propertiesFrame_, propertiesHeading_, caption_})
        w->hide();
    for (int i = 0; i < 4; ++i) {
        propertyNames_[i]->hide();
        propertyValues_[i]->hide();
    }
    saveSelected_->setEnabled(false);
    saveAll_->setEnabled(false);
    surface_->update();
}

void MainDialog::ShowTypePage()
{
    typeList_->show();
    exactRecovery_->show();
    back_->show();
    next_->show();
    next_->setEnabled(true);
    caption_->show();
    settings_->setEnabled(true);
    SetCaption("Please select desired image format to scan");
}

void MainDialog::HideTypePage()
{
    typeList_->hide();
    exactRecovery_->hide();
    caption_->hide();
    back_->hide();
    next_->hide();
    saveSelected_->setEnabled(false);
    saveAll_->setEnabled(false);
    settings_->setEnabled(false);
}

void MainDialog::ShowResultsPage()
{
    for (QWidget* w : std::initializer_list<QWidget*>{resultsTree_, resultsList_, progress_, stop_, caption_})
        w->show();
    SetCaption("Please click on the file type in tree to preview and save");
}

void MainDialog::HideResultsPage()
{
    for (QWidget* w : std::initializer_list<QWidget*>{resultsTree_, resultsList_, progress_, stop_, caption_})
        w->hide();
    settings_->setEnabled(false);
}

// ---- the wizard

void MainDialog::OnNext()
{
    const int from = page_++;
    if (from == kDrivePage) {
        QTreeWidgetItem* row = driveList_->currentItem();
        const int index = row ? driveList_->indexOfTopLevelItem(row) : -1;
        if (index < 0 || index >= static_cast<int>(volumes_.size())) {
            page_ = kDrivePage;
            return;
        }
        selectedDrive_ = volumes_[static_cast<std::size_t>(index)];
        HideDrivePage();
        ShowTypePage();
        typeList_->CheckAll();
        typeList_->ApplySettingsToTypeList(prefixSetting_, sizeSetting_);
    } else if (from == kTypePage) {
        if (typeList_->CheckedTypeCount() == 0) {
            caption_->show();
            SetCaption(QString());
            env_.notice("Please Select file type to recover.");
            page_ = kTypePage;
            return;
        }
        StartScan();
    } else {
        page_ = from;
    }
}

void MainDialog::StartScan()
{
    SelectedTypes selection = typeList_->CollectSelection();
    HideTypePage();
    ShowResultsPage();
    resultsTree_->clear();
    resultsList_->clear();
    resultsRoot_ = InsertTreeNode(kRootLabel, nullptr);
    resultsTree_->setEnabled(false);
    resultsList_->setEnabled(false);
    resultsList_->hide();
    scanningPicture_->show();
    progress_->setValue(0);
    unreadableSectors_ = 0;
    readErrors_->hide();
    scanReportPending_ = true;
    engine_->Start(env_.openerFor(*selectedDrive_), std::move(selection),
                   exactRecovery_->isChecked() ? RecoveryMode::Exact : RecoveryMode::Described);
}

QTreeWidgetItem* MainDialog::InsertTreeNode(const QString& label, QTreeWidgetItem* parent)
{
    // The root goes first at the top level; type nodes are appended in the order found.
    return resultsTree_->InsertItem(label, parent, parent == nullptr);
}

QTreeWidget* MainDialog::ResultsTree() const
{
    return resultsTree_;
}

void MainDialog::OnScanProgress(int percent)
{
    progress_->setValue(percent);
}

void MainDialog::OnUnreadableSectors(qulonglong total)
{
    unreadableSectors_ = total;
    readErrors_->setText(QString("%1 unreadable sectors skipped").arg(total));
    readErrors_->show();
}

void MainDialog::OnTypeFound(const QString& token)
{
    if (resultsRoot_ == nullptr)
        return;
    for (int i = 0; i < resultsRoot_->childCount(); ++i)
        if (resultsRoot_->child(i)->text(0) == token)
            return;
    InsertTreeNode(token, resultsRoot_);
    resultsRoot_->setExpanded(true);
}

void MainDialog::OnScanFinished(int outcome, int openFailure, const QString& message)
{
    scanReportPending_ = false;
    resultsTree_->setEnabled(true);
    resultsList_->setEnabled(true);
    resultsList_->show();
    progress_->hide();
    back_->show();
    stop_->hide();
    scanningPicture_->hide();
    const bool found = resultsTree_->topLevelItemCount() + (resultsRoot_ ? resultsRoot_->childCount() : 0) > 1;
    saveSelected_->setEnabled(found);
    saveAll_->setEnabled(found);
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

void MainDialog::OnBack()
{
    const int from = page_--;
    if (from == kTypePage) {
        // HideTypePage disables the save buttons; ShowDrivePage enables Settings and shows the caption.
        SetCaption("Select Drive to recover");
        HideTypePage();
        ShowDrivePage();
    } else if (from == kResultsPage) {
        saveSelected_->setEnabled(false);
        saveAll_->setEnabled(false);
        settings_->setEnabled(true);
        if (engine_->IsRunning())
            engine_->RequestStop();
        if (thumbnails_->IsRunning())
            thumbnails_->RequestStop();
        WaitForScan();  // the catalogue is emptied only once the workers that read it have ended
        WaitForThumbnails();
        resultsList_->clear();
        catalogue_.ClearCatalogue();
        HideResultsPage();
        ShowTypePage();
        if (!previewFilePath_.isEmpty())
            QFile::remove(previewFilePath_);
    } else {
        page_ = from;
    }
}

void MainDialog::StopWork()
{
    if (engine_->IsRunning())
        engine_->RequestStop();
    if (thumbnails_->IsRunning())
        thumbnails_->RequestStop();
    progress_->hide();
}

void MainDialog::OnStop()
{
    if (env_.ask("Are you sure,stop surrent process."))
        StopWork();
}

void MainDialog::OnClose()
{
    if (!previewFilePath_.isEmpty())
        QFile::remove(previewFilePath_);
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
    if (dialog.exec() == QDialog::Accepted)
        SetSettings(dialog.Prefix(), dialog.Size());
}

void MainDialog::SetSettings(const QString& prefix, const QString& size)
{
    prefixSetting_ = prefix;
    sizeSetting_ = size;
    typeList_->ApplySettingsToTypeList(prefixSetting_, sizeSetting_);
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
    default:
        break;
    }
}

// ---- thumbnails, preview and saving

bool MainDialog::ThumbnailsRunning() const
{
    return thumbnails_->IsRunning();
}

void MainDialog::BuildThumbnails(const QString& token)
{
    if (thumbnails_->IsRunning() || engine_->IsRunning())
        return;
    back_->hide();
    next_->hide();
    stop_->show();
    stop_->setEnabled(true);
    resultsTree_->setEnabled(false);
    resultsList_->clear();
    progress_->setValue(0);
    progress_->show();
    thumbnailToken_ = token;
    thumbnailReportPending_ = true;
    thumbnails_->Start(catalogue_, token.toStdString(), env_.openerFor(*selectedDrive_), QDir::currentPath());
}

void MainDialog::OnThumbnailTile(int index, const QString& name, const QImage& tile)
{
    // Placeholder items all carry the same tile: they share one icon.
    if (tile.cacheKey() != lastTileKey_) {
        lastTileKey_ = tile.cacheKey();
        lastTileIcon_ = QIcon(QPixmap::fromImage(tile));
    }
    auto* item = new QListWidgetItem(lastTileIcon_, name);
    if (catalogue_.Mode() == RecoveryMode::Exact)
        if (const auto entry = catalogue_.FindByName(name.toStdString()))
            item->setToolTip(FoundFileTip(*entry));
    resultsList_->insertItem(std::min(index, resultsList_->count()), item);
}

void MainDialog::OnThumbnailsFinished()
{
    thumbnailReportPending_ = false;
    back_->show();
    stop_->hide();
    resultsList_->setEnabled(true);
    resultsTree_->setEnabled(true);
    progress_->hide();
    emit ThumbnailsEnded();
}

void MainDialog::WaitForThumbnails()
{
    thumbnails_->Wait();
    while (thumbnailReportPending_)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

void MainDialog::ShowListMenu(const QPoint& position)
{
    QMenu menu(this);
    QAction* preview = menu.addAction("Preview");
    QAction* recover = menu.addAction("Recover");
    QListWidgetItem* clicked = resultsList_->itemAt(position);
    preview->setEnabled(clicked != nullptr);
    QAction* chosen = menu.exec(resultsList_->viewport()->mapToGlobal(position));
    if (chosen == recover)
        OnSave(false);
    else if (chosen == preview && clicked != nullptr)
        PreviewFoundFile(resultsList_->row(clicked));  // as a double click would
}

void MainDialog::PreviewFoundFile(int listIndex)
{
    if (thumbnails_->IsRunning()) {
        env_.plainNotice("Please stop the current process for preview.");
        return;
    }
    QListWidgetItem* item = resultsList_->item(listIndex);
    QTreeWidgetItem* type = resultsTree_->currentItem();
    if (item == nullptr || type == nullptr || !selectedDrive_)
        return;
    const std::string token = type->text(0).toStdString();
    const std::optional<FoundFileEntry> entry = catalogue_.FindByName(item->text().toStdString());
    if (!entry)
        return;
    const QString path = preview::PrivateTempFolder() + "/temp1." + QString::fromStdString(token);
    VolumeReader reader;
    if (!reader.Open(env_.openerFor(*selectedDrive_)).ok())
        return;  // nothing happens, as when the drive is gone
    OutputFile output;
    if (const int error = output.Create(QFile::encodeName(path).toStdString()); error != 0) {
        env_.notice("The preview copy could not be made:<br>" + path.toHtmlEscaped() + "<br>" +
                    QString::fromLocal8Bit(std::strerror(error)).toHtmlEscaped());
        return;
    }
    SectorBuffer buffer;
    const CopyResult copy = CopyFileBytes(reader, buffer, entry->startSector, entry->lengthBytes, output, nullptr);
    output.Close();
    if (copy.status == CopyStatus::WriteFailed) {
        QFile::remove(path);
        env_.notice("The preview copy could not be written:<br>" + path.toHtmlEscaped() + "<br>" +
                    QString::fromLocal8Bit(std::strerror(copy.writeError)).toHtmlEscaped());
        return;
    }
    previewFilePath_ = path;
    if (token == "RIFF")
        env_.playMedia(path);
    else
        env_.openFile(path);
}

void MainDialog::OnSave(bool all)
{
    if (!previewFilePath_.isEmpty())
        QFile::remove(previewFilePath_);
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
    for (int row = 0; row < resultsList_->count(); ++row)
        if (resultsList_->item(row)->isSelected())
            job.names.push_back(resultsList_->item(row)->text().toStdString());
    const std::uint64_t needed = all ? SpaceNeeded(catalogue_) : SpaceNeeded(catalogue_, job.names);
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
    QTreeWidgetItem* row = driveList_->currentItem();
    const int index = row ? driveList_->indexOfTopLevelItem(row) : -1;
    if (page_ != kDrivePage || index < 0 || index >= static_cast<int>(volumes_.size())) {
        env_.notice("Select the drive to copy in the list first.");
        return;
    }
    const VolumeDescription volume = volumes_[static_cast<std::size_t>(index)];
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
