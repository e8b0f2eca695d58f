#include "SettingsDialog.h"

#include "CFramedEdit.h"
#include "CSkinButton.h"
#include "DialogUnits.h"
#include "ResourceTable.h"
#include "TypeSelection.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QRegularExpressionValidator>

namespace quorvex::app {

SettingsDialog::SettingsDialog(const QString& prefixSetting, const QString& sizeSetting, Notice notice, QWidget* parent)
    : QDialog(parent), notice_(std::move(notice))
{
    setWindowTitle("Setting");
    setFixedSize(DialogSize(246, 166));
    QFont font("Verdana");
    font.setPixelSize(13);

    auto* prefixLabel = new QLabel("File Name Prefix", this);
    prefixLabel->setGeometry(DialogRect(29, 27, 72, 13));
    auto* sizeLabel = new QLabel("Size (KB)", this);
    sizeLabel->setGeometry(DialogRect(30, 51, 74, 9));
    prefix_ = new controls::CFramedEdit(this);
    prefix_->setGeometry(DialogRect(106, 25, 72, 14));
    prefix_->setText(prefixSetting);
    size_ = new controls::CFramedEdit(this);
    size_->setGeometry(DialogRect(106, 49, 72, 14));
    size_->setText(sizeSetting);
    size_->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), size_));
    // Exact recovery only: the described mode keeps its found names and saves every file.
    nameByDate_ = new QCheckBox("Name files by capture date", this);
    nameByDate_->setGeometry(DialogRect(30, 72, 200, 12));
    nameByDate_->setToolTip("Exact recovery: a photo that knows when it was taken is saved as "
                            "YYYY-MM-DD_HH-MM-SS, its file dated to that moment");
    skipDuplicates_ = new QCheckBox("Skip duplicates", this);
    skipDuplicates_->setGeometry(DialogRect(30, 88, 200, 12));
    skipDuplicates_->setToolTip("Exact recovery: each photo is saved once, however many copies the card holds");
    keepCardNames_ = new QCheckBox("Keep the names the card remembers", this);
    keepCardNames_->setGeometry(DialogRect(30, 104, 210, 12));
    keepCardNames_->setToolTip("Exact recovery: a file the card's file system still names is saved in its folder on "
                               "the card, under its name, with its time");
    for (QWidget* w : std::initializer_list<QWidget*>{prefixLabel, sizeLabel, prefix_, size_, nameByDate_, skipDuplicates_,
                                                     keepCardNames_})
        w->setFont(font);

    ok_ = new controls::CSkinButton(this);
    ok_->setGeometry(DialogRect(59, 134, 58, 17));
    ok_->SetButtonImages(res::id::kOk, res::id::kOkHover);
    cancel_ = new controls::CSkinButton(this);
    cancel_->setGeometry(DialogRect(131, 134, 58, 17));
    cancel_->SetButtonImages(res::id::kCancel, res::id::kCancelHover);
    connect(ok_, &QAbstractButton::clicked, this, &SettingsDialog::OnOk);
    connect(cancel_, &QAbstractButton::clicked, this, &QDialog::reject);
}

QString SettingsDialog::Prefix() const { return prefix_->text(); }
QString SettingsDialog::Size() const { return size_->text(); }

void SettingsDialog::SetPhotoChoices(bool nameByCaptureDate, bool skipDuplicates, bool keepCardNames)
{
    nameByDate_->setChecked(nameByCaptureDate);
    skipDuplicates_->setChecked(skipDuplicates);
    keepCardNames_->setChecked(keepCardNames);
}

bool SettingsDialog::NameByCaptureDate() const { return nameByDate_->isChecked(); }
bool SettingsDialog::SkipDuplicates() const { return skipDuplicates_->isChecked(); }
bool SettingsDialog::KeepCardNames() const { return keepCardNames_->isChecked(); }

void SettingsDialog::OnOk()
{
    const QString prefix = prefix_->text();
    if (prefix.isEmpty()) {
        notice_("Please provide prefix.");
        return;
    }
    if (PrefixHasIllegalCharacter(prefix.toStdString())) {
        notice_("Illegal character found in file prefix.");
        return;
    }
    if (size_->text().isEmpty()) {
        notice_("Please provide maximum file size.");
        return;
    }
    if (LeadingDecimalNumber(size_->text().toStdString()) <= 0)
        return;  // refused without a message
    accept();
}

void SettingsDialog::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        OnOk();
        return;
    }
    QDialog::keyPressEvent(event);
}

void SettingsDialog::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    painter.drawPixmap(0, 0, res::LoadBitmap(res::id::kSettingsBackground));
}

}  // namespace quorvex::app
