#pragma once

#include <QFont>

class QProgressBar;
class QWidget;

namespace quorvex::controls {
class CColorLabel;
class CSkinButton;
}  // namespace quorvex::controls

namespace quorvex::app {

// The controls of the main window's frame that every wizard page uses: the caption over the
// page, the navigation buttons, the save and settings buttons and the progress bar. The frame
// owns them; a page shows, hides and enables them as it needs.
struct WizardControls {
    QWidget* surface = nullptr;  // the window's face, parent of every page's controls
    controls::CColorLabel* caption = nullptr;
    controls::CSkinButton* back = nullptr;
    controls::CSkinButton* next = nullptr;
    controls::CSkinButton* stop = nullptr;
    controls::CSkinButton* saveSelected = nullptr;
    controls::CSkinButton* saveAll = nullptr;
    controls::CSkinButton* settings = nullptr;
    QProgressBar* progress = nullptr;
};

// The window's typeface at a size in points.
inline QFont Verdana(double points, bool bold = false)
{
    QFont font("Verdana");
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

}  // namespace quorvex::app
