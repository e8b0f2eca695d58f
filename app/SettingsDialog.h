#pragma once

#include <QDialog>
#include <functional>

class QLineEdit;

namespace quorvex::controls {
class CSkinButton;
}

namespace quorvex::app {

// The settings: one file-name prefix and one size figure, written into every type row on OK.
class SettingsDialog : public QDialog {
    Q_OBJECT
public:
    using Notice = std::function<void(const QString&)>;

    SettingsDialog(const QString& prefixSetting, const QString& sizeSetting, Notice notice, QWidget* parent = nullptr);

    QString Prefix() const;
    QString Size() const;
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
    controls::CSkinButton* ok_;
    controls::CSkinButton* cancel_;
};

}  // namespace quorvex::app
