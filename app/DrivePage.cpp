#include "DrivePage.h"

#include "CColorLabel.h"
#include "CSkinButton.h"
#include "CThemeGroupBox.h"
#include "DialogUnits.h"
#include "DriveProperties.h"
#include "FileVolumeSource.h"
#include "ResourceTable.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QTreeWidget>

namespace quorvex::app {

namespace {

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

DrivePage::DrivePage(const WizardControls& frame, const MainDialogEnvironment& env, QObject* parent)
    : QObject(parent), frame_(frame), env_(env)
{
    QWidget* surface = frame_.surface;
    driveList_ = new QTreeWidget(surface);
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

    propertiesFrame_ = new controls::CThemeGroupBox(surface);
    propertiesFrame_->setGeometry(DialogRect(172, 89, 336, 138));
    propertiesFrame_->SetFrameColor(QColor(127, 127, 127));
    propertiesHeading_ = new controls::CColorLabel("Properties", surface);
    propertiesHeading_->setGeometry(DialogRect(188, 93, 98, 14));
    propertiesHeading_->setFont(Verdana(9, true));
    propertiesHeading_->SetLabelTextColor(Qt::black);
    const char* names[4] = {"Status", "Type", "Capacity", "Bytes Per Sector"};
    const int nameY[4] = {114, 143, 172, 202}, valueY[4] = {115, 144, 173, 202};
    QFont valueFont("Verdana");
    valueFont.setPixelSize(13);
    for (int i = 0; i < 4; ++i) {
        propertyNames_[i] = new controls::CColorLabel(names[i], surface);
        propertyNames_[i]->setGeometry(DialogRect(i == 0 ? 198 : 199, nameY[i], 92, 15));
        propertyNames_[i]->setFont(Verdana(8, true));
        propertyNames_[i]->SetLabelTextColor(QColor(32, 165, 221));
        propertyValues_[i] = new controls::CColorLabel(QString(), surface);
        propertyValues_[i]->setGeometry(DialogRect(317, valueY[i], 120, 10).adjusted(0, -2, 0, 4));
        propertyValues_[i]->setFont(valueFont);
        propertyValues_[i]->SetLabelTextColor(Qt::black);
    }
}

QWidget* DrivePage::PropertiesFrame() const
{
    return propertiesFrame_;
}

void DrivePage::Show()
{
    for (QWidget* w : std::initializer_list<QWidget*>{driveList_, frame_.next, propertiesFrame_, propertiesHeading_,
                                                      frame_.caption})
        w->show();
    for (int i = 0; i < 4; ++i) {
        propertyNames_[i]->show();
        propertyValues_[i]->show();
    }
    frame_.settings->setEnabled(true);
    frame_.surface->update();
}

void DrivePage::Hide()
{
    for (QWidget* w : std::initializer_list<QWidget*>{driveList_, propertiesFrame_, propertiesHeading_, frame_.caption})
        w->hide();
    for (int i = 0; i < 4; ++i) {
        propertyNames_[i]->hide();
        propertyValues_[i]->hide();
    }
    frame_.saveSelected->setEnabled(false);
    frame_.saveAll->setEnabled(false);
    frame_.surface->update();
}

void DrivePage::AddRow(const VolumeDescription& volume)
{
    auto* row = new QTreeWidgetItem(driveList_, {QString::fromStdString(volume.RowText())});
    row->setIcon(0, res::LoadIcon(DriveIconResource(volume.kind)));
}

void DrivePage::FillDriveList()
{
    volumes_ = env_.listVolumes ? env_.listVolumes() : std::vector<VolumeDescription>{};
    driveList_->clear();
    for (const VolumeDescription& volume : volumes_)
        AddRow(volume);
    ClearProperties();
    frame_.next->hide();
}

void DrivePage::ClearProperties()
{
    for (auto* value : propertyValues_)
        value->setText(QString());
}

void DrivePage::ShowProperties(const VolumeDescription& volume)
{
    frame_.next->setEnabled(false);
    frame_.next->hide();
    const std::optional<std::uint64_t> size = env_.volumeSize ? env_.volumeSize(volume) : volume.sizeBytes;
    const DriveProperties properties = DescribeDrive(volume.kind, size && *size > 0 ? size : std::nullopt);
    propertyValues_[0]->setText(properties.status);
    propertyValues_[1]->setText(properties.type);
    propertyValues_[2]->setText(properties.capacity);
    propertyValues_[3]->setText(properties.bytesPerSector);
    if (properties.ready) {
        frame_.next->setEnabled(true);
        frame_.next->show();
    }
}

void DrivePage::OnDriveClick(const QPoint& viewportPosition)
{
    QTreeWidgetItem* row = driveList_->itemAt(viewportPosition);
    if (row == nullptr) {
        const DriveProperties none = NoDriveProperties();
        propertyValues_[0]->setText(none.status);
        for (int i = 1; i < 4; ++i)
            propertyValues_[i]->setText(QString());
        frame_.next->hide();
        return;
    }
    const int index = driveList_->indexOfTopLevelItem(row);
    if (index >= 0 && index < static_cast<int>(volumes_.size()))
        ShowProperties(volumes_[static_cast<std::size_t>(index)]);
}

void DrivePage::AddDiskImage(const QString& path)
{
    if (path.isEmpty())
        return;
    const VolumeDescription image = DescribeDiskImage(path.toStdString());
    volumes_.push_back(image);
    AddRow(image);
    driveList_->setCurrentItem(driveList_->topLevelItem(driveList_->topLevelItemCount() - 1));
    ShowProperties(image);
}

bool DrivePage::SelectVolume(const VolumeDescription& volume)
{
    for (std::size_t i = 0; i < volumes_.size(); ++i)
        if (volumes_[i].path == volume.path) {
            driveList_->setCurrentItem(driveList_->topLevelItem(static_cast<int>(i)));
            ShowProperties(volumes_[i]);
            return true;
        }
    if (volume.kind != VolumeKind::DiskImage)
        return false;
    AddDiskImage(QString::fromStdString(volume.path));
    return true;
}

std::optional<VolumeDescription> DrivePage::CurrentVolume() const
{
    QTreeWidgetItem* row = driveList_->currentItem();
    const int index = row ? driveList_->indexOfTopLevelItem(row) : -1;
    if (index < 0 || index >= static_cast<int>(volumes_.size()))
        return std::nullopt;
    return volumes_[static_cast<std::size_t>(index)];
}

QString DrivePage::PropertyValue(int index) const
{
    return propertyValues_[index]->text();
}

bool DrivePage::eventFilter(QObject* watched, QEvent* event)
{
    // The properties follow mouse clicks only; keyboard selection changes leave them.
    if (watched == driveList_->viewport() && event->type() == QEvent::MouseButtonRelease)
        OnDriveClick(static_cast<QMouseEvent*>(event)->position().toPoint());
    return QObject::eventFilter(watched, event);
}

}  // namespace quorvex::app
