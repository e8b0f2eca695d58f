#include "WizardSurface.h"

#include "CColorLabel.h"
#include "CSkinButton.h"
#include "DialogUnits.h"
#include "ResourceTable.h"

#include <QLabel>
#include <QPainter>
#include <QProgressBar>

namespace quorvex::app {

QString ReassembledText(std::uint64_t count)
{
    return QString("%1 damaged photo%2 put back together from their pieces").arg(count).arg(count == 1 ? "" : "s");
}

WizardSurface::WizardSurface(QWidget* parent, WizardControls& controls)
    : QWidget(parent), background_(res::LoadBitmap(res::id::kMainBackground))
{
    setFixedSize(DialogSize(528, 311));
    controls.surface = this;

    auto skinButton = [this](QRect rect, int normal, const char* tip) {
        auto* button = new controls::CSkinButton(this);
        button->setGeometry(rect);
        button->SetButtonImages(normal, normal + 1);
        button->SetHoverTip(tip, 1);
        return button;
    };
    logo_ = skinButton(DialogRect(389, 12, 117, 44), res::id::kLogo, "Visit Software Homepage");
    controls.saveSelected =
        skinButton(DialogRect(13, 12, 45, 43), res::id::kSaveSelected, "Click to save selected images only.");
    controls.saveAll = skinButton(DialogRect(70, 12, 45, 43), res::id::kSaveAll, "Click to save all the images.");
    controls.settings = skinButton(DialogRect(126, 12, 45, 43), res::id::kSettings, "Click to Update Settings.");
    controls.back = skinButton(DialogRect(384, 239, 58, 18), res::id::kBack, "Navigate Back");
    controls.next = skinButton(DialogRect(452, 239, 58, 18), res::id::kNext, "Proceed Further");
    controls.stop = skinButton(DialogRect(452, 235, 58, 20), res::id::kStop, "Stop Process");
    controls.back->hide();
    controls.next->hide();
    controls.stop->hide();

    controls.caption = new controls::CColorLabel("Select Drive to recover", this);
    controls.caption->setGeometry(DialogRect(21, 71, 351, 10).adjusted(0, -3, 0, 4));
    controls.caption->setFont(Verdana(10));
    controls.caption->SetLabelTextColor(Qt::black);

    controls.progress = new QProgressBar(this);
    controls.progress->setGeometry(DialogRect(21, 238, 428, 12));
    controls.progress->setRange(0, 100);
    controls.progress->setTextVisible(false);
    controls.progress->hide();
    readErrors_ = new QLabel(this);
    readErrors_->setGeometry(DialogRect(21, 251, 428, 10));
    readErrors_->setFont(Verdana(7));
    readErrors_->setStyleSheet("color: #B03020;");
    readErrors_->hide();
    reassembly_ = new QLabel(this);
    reassembly_->setGeometry(DialogRect(21, 251, 330, 10));  // left of the Back button
    reassembly_->setFont(Verdana(7));
    reassembly_->setStyleSheet("color: #2A5F99;");
    reassembly_->hide();
}

void WizardSurface::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (background_.isNull())
        painter.fillRect(rect(), palette().color(QPalette::Window));
    else
        painter.drawPixmap(0, 0, background_);
    if (whiteFrame_ != nullptr && whiteFrame_->isVisible())
        painter.fillRect(whiteFrame_->geometry().adjusted(1, 8, -1, -1), Qt::white);
}

void WizardSurface::ShowUnreadableSectors(std::uint64_t count)
{
    readErrors_->setText(QString("%1 unreadable sectors skipped").arg(count));
    readErrors_->setVisible(count > 0);
}

void WizardSurface::ShowReassembly(const QString& text)
{
    reassembly_->setText(text);
    reassembly_->setVisible(!text.isEmpty());
    // Beside the unreadable sectors' line when that shows too.
    const QRect line = DialogRect(21, 251, 330, 10);
    const int after = readErrors_->isVisible() ? readErrors_->fontMetrics().horizontalAdvance(readErrors_->text()) + 12 : 0;
    reassembly_->setGeometry(line.adjusted(after, 0, 0, 0));
}

void WizardSurface::HideScanLines()
{
    readErrors_->hide();
    reassembly_->hide();
}

void WizardSurface::RaiseScanLines()
{
    readErrors_->raise();
    reassembly_->raise();
}

}  // namespace quorvex::app
