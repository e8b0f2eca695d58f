#pragma once

#include <QCursor>
#include <QIcon>
#include <QPixmap>
#include <QString>
#include <vector>

namespace quorvex::res {

// Resource numbers of the program's artwork. Those the windows name by number keep their
// numbers; the others are ours.
namespace id {
inline constexpr int kAppIcon = 128;
inline constexpr int kMainBackground = 129;
inline constexpr int kLogo = 130, kLogoHover = 131;
inline constexpr int kSaveSelected = 132, kSaveSelectedHover = 133;
inline constexpr int kSaveAll = 134, kSaveAllHover = 135;
inline constexpr int kSettings = 136, kSettingsHover = 137;
inline constexpr int kBack = 138, kBackHover = 139;
inline constexpr int kNext = 140, kNextHover = 141;
inline constexpr int kStop = 142, kStopHover = 143;
inline constexpr int kOk = 144, kOkHover = 145;
inline constexpr int kCancel = 146, kCancelHover = 147;
inline constexpr int kStopSaving = 148, kStopSavingHover = 149;
inline constexpr int kSettingsBackground = 150;
inline constexpr int kAboutBackground = 151;
inline constexpr int kScanning = 152;
inline constexpr int kMenuSaveAll = 153, kMenuSaveSelected = 154, kMenuSetting = 155, kMenuHelp = 156,
                     kMenuAbout = 157, kMenuExit = 158;
inline constexpr int kDriveFixed = 159, kDriveRemovable = 160, kDriveFloppy = 161;
inline constexpr int kSaveProgressBackground = 169;
inline constexpr int kTreeIconFirst = 172, kTreeIconLast = 180;
inline constexpr int kHoverCursor = 1051, kPressedCursor = 1053;
}  // namespace id

struct ResourceEntry {
    int id;               // 0 for the placeholder files, which are found by name
    const char* fileName; // in the resource folder ":/res/"
    const char* role;
};

// Every piece of artwork: number, file and what it is for.
const std::vector<ResourceEntry>& ResourceTable();

// ":/res/<file>" for a resource number, or an empty text.
QString ResourcePath(int resourceId);
// The picture of a resource number; a null pixmap when there is none.
QPixmap LoadBitmap(int resourceId);
QIcon LoadIcon(int resourceId);
// The cursors 1051 and 1053, with their hot spot at the tip of the finger.
QCursor LoadCursor(int resourceId);

}  // namespace quorvex::res
