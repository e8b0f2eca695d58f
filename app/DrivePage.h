#pragma once

#include "MainDialogEnvironment.h"
#include "VolumeDescription.h"
#include "WizardControls.h"

#include <QObject>
#include <optional>
#include <vector>

class QTreeWidget;

namespace quorvex::controls {
class CColorLabel;
class CThemeGroupBox;
}  // namespace quorvex::controls

namespace quorvex::app {

// The wizard's first page: the list of drives (and disk images added to it) and the selected
// drive's properties. Next appears once a drive that can be scanned is clicked.
class DrivePage : public QObject {
    Q_OBJECT
public:
    DrivePage(const WizardControls& frame, const MainDialogEnvironment& env, QObject* parent = nullptr);

    void Show();
    void Hide();
    // Lists the drives again; no drive is selected and Next is hidden.
    void FillDriveList();
    // Adds a row for a disk image file, selects it and shows its properties.
    void AddDiskImage(const QString& path);
    // Selects the row of `volume` (adding it when it is a disk image not listed yet). False when
    // it is not in the list.
    bool SelectVolume(const VolumeDescription& volume);
    void OnDriveClick(const QPoint& viewportPosition);

    // The drive of the list's current row, if any.
    std::optional<VolumeDescription> CurrentVolume() const;
    const std::vector<VolumeDescription>& Volumes() const { return volumes_; }
    QTreeWidget* DriveList() const { return driveList_; }
    QWidget* PropertiesFrame() const;
    QString PropertyValue(int index) const;  // 0 Status, 1 Type, 2 Capacity, 3 Bytes Per Sector

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ShowProperties(const VolumeDescription& volume);
    void ClearProperties();
    void AddRow(const VolumeDescription& volume);

    WizardControls frame_;
    const MainDialogEnvironment& env_;
    std::vector<VolumeDescription> volumes_;
    QTreeWidget* driveList_ = nullptr;
    controls::CThemeGroupBox* propertiesFrame_ = nullptr;
    controls::CColorLabel* propertiesHeading_ = nullptr;
    controls::CColorLabel* propertyNames_[4] = {};
    controls::CColorLabel* propertyValues_[4] = {};
};

}  // namespace quorvex::app
