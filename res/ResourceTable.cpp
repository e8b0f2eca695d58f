#include "ResourceTable.h"

namespace quorvex::res {

const std::vector<ResourceEntry>& ResourceTable()
{
    static const std::vector<ResourceEntry> table = {
        {id::kAppIcon, "app-icon.png", "application icon"},
        {id::kMainBackground, "main-background.png", "main window background"},
        {id::kLogo, "logo.png", "logo button"},
        {id::kLogoHover, "logo-hover.png", "logo button, hovered"},
        {id::kSaveSelected, "save-selected.png", "Save Selected button"},
        {id::kSaveSelectedHover, "save-selected-hover.png", "Save Selected button, hovered"},
        {id::kSaveAll, "save-all.png", "Save All button"},
        {id::kSaveAllHover, "save-all-hover.png", "Save All button, hovered"},
        {id::kSettings, "settings.png", "Settings button"},
        {id::kSettingsHover, "settings-hover.png", "Settings button, hovered"},
        {id::kBack, "back.png", "Back button"},
        {id::kBackHover, "back-hover.png", "Back button, hovered"},
        {id::kNext, "next.png", "Next button"},
        {id::kNextHover, "next-hover.png", "Next button, hovered"},
        {id::kStop, "stop.png", "Stop button"},
        {id::kStopHover, "stop-hover.png", "Stop button, hovered"},
        {id::kOk, "ok.png", "OK button of the settings and About dialogs"},
        {id::kOkHover, "ok-hover.png", "OK button, hovered"},
        {id::kCancel, "cancel.png", "Cancel button of the settings dialog"},
        {id::kCancelHover, "cancel-hover.png", "Cancel button, hovered"},
        {id::kStopSaving, "stop-saving.png", "Stop Saving button"},
        {id::kStopSavingHover, "stop-saving-hover.png", "Stop Saving button, hovered"},
        {id::kSettingsBackground, "settings-background.png", "settings dialog background"},
        {id::kAboutBackground, "about-background.png", "About box background"},
        {id::kScanning, "scanning.png", "picture shown while a scan runs"},
        {id::kMenuSaveAll, "menu-153.png", "menu picture: Save All"},
        {id::kMenuSaveSelected, "menu-154.png", "menu picture: Save Selected"},
        {id::kMenuSetting, "menu-155.png", "menu picture: Setting"},
        {id::kMenuHelp, "menu-156.png", "menu picture: Help"},
        {id::kMenuAbout, "menu-157.png", "menu picture: About"},
        {id::kMenuExit, "menu-158.png", "menu picture: Exit"},
        {id::kDriveFixed, "drive-fixed.png", "drive list icon 0: fixed disk"},
        {id::kDriveRemovable, "drive-removable.png", "drive list icon 1: removable disk"},
        {id::kDriveFloppy, "drive-floppy.png", "drive list icon 2: floppy"},
        {id::kSaveProgressBackground, "save-progress-background.png", "save progress dialog background"},
        {172, "tree-172.png", "tree icon 0: other picture types"},
        {173, "tree-173.png", "tree icon 1: BMP"},
        {174, "tree-174.png", "tree icon 2: GIF"},
        {175, "tree-175.png", "tree icon 3: JPG"},
        {176, "tree-176.png", "tree icon 4 (never shown)"},
        {177, "tree-177.png", "tree icon 5 (never shown)"},
        {178, "tree-178.png", "tree icon 6 (never shown)"},
        {179, "tree-179.png", "tree icon 7: open folder (selected root)"},
        {180, "tree-180.png", "tree icon 8: folder (root)"},
        {id::kHoverCursor, "cursor-1051.png", "cursor over a picture button"},
        {id::kPressedCursor, "cursor-1053.png", "cursor while a picture button is pressed"},
        {0, "camera.bmp", "placeholder tile of camera raw files"},
        {0, "mpg2.bmp", "placeholder tile of RIFF files"},
    };
    return table;
}

QString ResourcePath(int resourceId)
{
    for (const ResourceEntry& entry : ResourceTable())
        if (entry.id == resourceId && resourceId != 0)
            return QString(":/res/") + entry.fileName;
    return {};
}

QPixmap LoadBitmap(int resourceId)
{
    const QString path = ResourcePath(resourceId);
    return path.isEmpty() ? QPixmap() : QPixmap(path);
}

QIcon LoadIcon(int resourceId)
{
    const QString path = ResourcePath(resourceId);
    return path.isEmpty() ? QIcon() : QIcon(path);
}

QCursor LoadCursor(int resourceId)
{
    const QPixmap picture = LoadBitmap(resourceId);
    if (picture.isNull())
        return QCursor(Qt::PointingHandCursor);
    return QCursor(picture, 8, 1);
}

}  // namespace quorvex::res
