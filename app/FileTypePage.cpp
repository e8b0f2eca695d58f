#include "FileTypePage.h"

#include "CColorLabel.h"
#include "CSkinButton.h"
#include "DialogUnits.h"
#include "FileTypeList.h"

#include <QCheckBox>

namespace quorvex::app {

FileTypePage::FileTypePage(const WizardControls& frame, const MainDialogEnvironment& env, QObject* parent)
    : QObject(parent), frame_(frame)
{
    typeList_ = new FileTypeList(frame_.surface);
    typeList_->setGeometry(DialogRect(21, 89, 487, 138));
    typeList_->hide();
    exactRecovery_ = new QCheckBox("Exact recovery", frame_.surface);
    exactRecovery_->setGeometry(DialogRect(300, 242, 80, 12));
    exactRecovery_->setFont(Verdana(7.5, true));
    exactRecovery_->setToolTip("Recognise each file by a checked header, save it with its own length (not the "
                               "Maximum Size), and tell whether it is whole, damaged or cut short.");
    exactRecovery_->setChecked(env.loadExactRecovery && env.loadExactRecovery());
    typeList_->SetExactRecovery(exactRecovery_->isChecked());
    connect(exactRecovery_, &QCheckBox::toggled, this, [this, store = env.storeExactRecovery](bool exact) {
        typeList_->SetExactRecovery(exact);
        if (store)
            store(exact);
    });
    exactRecovery_->hide();
}

void FileTypePage::Show()
{
    typeList_->show();
    exactRecovery_->show();
    frame_.back->show();
    frame_.next->show();
    frame_.next->setEnabled(true);
    frame_.caption->show();
    frame_.settings->setEnabled(true);
    frame_.caption->setText("Please select desired image format to scan");
}

void FileTypePage::Hide()
{
    typeList_->hide();
    exactRecovery_->hide();
    frame_.caption->hide();
    frame_.back->hide();
    frame_.next->hide();
    frame_.saveSelected->setEnabled(false);
    frame_.saveAll->setEnabled(false);
    frame_.settings->setEnabled(false);
}

void FileTypePage::Reset(const QString& prefixSetting, const QString& sizeSetting)
{
    typeList_->CheckAll();
    typeList_->ApplySettingsToTypeList(prefixSetting, sizeSetting);
}

void FileTypePage::ApplySettings(const QString& prefixSetting, const QString& sizeSetting)
{
    typeList_->ApplySettingsToTypeList(prefixSetting, sizeSetting);
}

SelectedTypes FileTypePage::Selection() const
{
    return typeList_->CollectSelection();
}

RecoveryMode FileTypePage::Mode() const
{
    return exactRecovery_->isChecked() ? RecoveryMode::Exact : RecoveryMode::Described;
}

int FileTypePage::CheckedTypeCount() const
{
    return typeList_->CheckedTypeCount();
}

}  // namespace quorvex::app
