#pragma once

#include <QDialog>
#include <functional>

class QCheckBox;
class QLineEdit;

namespace quorvex::controls {
class CSkinButton;
}

namespace quorvex::app {

// The settings: one file-name prefix and one size figure, written into every type row on OK;
// and how an exact recovery saves photos (by capture date, without copies).
class SettingsDialog : public QDialog {
    Q_OBJECT
public:
    using Notice = std::function<void(const QString&)>;

    SettingsDialog(const QString& prefixSetting, const QString& sizeSetting, Notice notice, QWidget* parent = nullptr);

    QString Prefix() const;
    QString Size() const;
    // The two photo choices, shown checked as given; read back after OK.
    void SetPhotoChoices(bool nameByCaptureDate, bool skipDuplicates, bool keepCardNames = true);
    bool NameByCaptureDate() const;
    bool SkipDuplicates() const;
    bool KeepCardNames() const;
    QCheckBox* NameByCaptureDateBox() const { return nameByDate_; }
    QCheckBox* SkipDuplicatesBox() const { return skipDuplicates_; }
    QCheckBox* KeepCardNamesBox() const { return keepCardNames_; }
    QLineEdit* PrefixEditor() const { return prefix_; }
    QLineEdit* SizeEditor() const { return size_; }
    controls::CSkinButton* OkButton() const { return ok_; }
    controls::CSkinButton* CancelButton() const { return cancel_; }

    // OK: the checks in order; the dialog closes only when all pass.
    void OnOk();

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    Notice notice_;
    QLineEdit* prefix_;
    QLineEdit* size_;
    QCheckBox* nameByDate_;
    QCheckBox* skipDuplicates_;
    QCheckBox* keepCardNames_ = nullptr;
    controls::CSkinButton* ok_;
    controls::CSkinButton* cancel_;
};

}  // namespace quorvex::app
