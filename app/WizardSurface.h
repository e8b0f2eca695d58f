#pragma once

#include "WizardControls.h"

#include <QPixmap>
#include <QString>
#include <QWidget>
#include <cstdint>

class QLabel;

namespace quorvex::app {

// The main window's face: the background picture with the properties frame's white interior, and
// the frame's controls on it (the logo, the save and settings buttons, the navigation buttons,
// the caption, the progress bar, and the two lines under it about the scan). It builds them into
// the window's WizardControls; the window connects them and the pages show and hide them.
class WizardSurface : public QWidget {
public:
    WizardSurface(QWidget* parent, WizardControls& controls);

    // The page frame drawn with a white interior while it is visible.
    void SetWhiteFrame(QWidget* frame) { whiteFrame_ = frame; }
    controls::CSkinButton* Logo() const { return logo_; }

    // The lines under the progress bar: sectors the scan could not read (hidden for none), and
    // damaged photos being put back together or how many were (hidden when empty). The second
    // stands beside the first when both show.
    void ShowUnreadableSectors(std::uint64_t count);
    void ShowReassembly(const QString& text);
    void HideScanLines();
    // Drawn over the pages' controls where they overlap.
    void RaiseScanLines();
    QLabel* ReadErrorsLine() const { return readErrors_; }
    QLabel* ReassemblyLine() const { return reassembly_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap background_;
    QWidget* whiteFrame_ = nullptr;
    controls::CSkinButton* logo_ = nullptr;
    QLabel* readErrors_ = nullptr;
    QLabel* reassembly_ = nullptr;
};

// What the line under the progress bar says of the photos put back together after a scan.
QString ReassembledText(std::uint64_t count);

}  // namespace quorvex::app
