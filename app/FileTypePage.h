#pragma once

#include "FoundFileVerdict.h"
#include "MainDialogEnvironment.h"
#include "TypeSelection.h"
#include "WizardControls.h"

#include <QObject>

class QCheckBox;

namespace quorvex::app {

class FileTypeList;

// The wizard's second page: the types to look for, each with its prefix and maximum size, and
// the choice of exact recovery (remembered between runs).
class FileTypePage : public QObject {
    Q_OBJECT
public:
    FileTypePage(const WizardControls& frame, const MainDialogEnvironment& env, QObject* parent = nullptr);

    // Shows the page with Back and Next and its caption.
    void Show();
    void Hide();
    // Every type ticked, with the settings' prefix and size.
    void Reset(const QString& prefixSetting, const QString& sizeSetting);
    void ApplySettings(const QString& prefixSetting, const QString& sizeSetting);

    SelectedTypes Selection() const;
    RecoveryMode Mode() const;
    int CheckedTypeCount() const;

    FileTypeList* TypeList() const { return typeList_; }
    QCheckBox* ExactRecoveryBox() const { return exactRecovery_; }

private:
    WizardControls frame_;
    FileTypeList* typeList_ = nullptr;
    QCheckBox* exactRecovery_ = nullptr;
};

}  // namespace quorvex::app
