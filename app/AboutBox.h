#pragma once

#include <QDialog>

namespace quorvex::app {

// The About box: the product and its version, the legal notice, the web site and the contacts.
// OK, Escape and the close box close it; Enter does nothing.
class AboutBox : public QDialog {
    Q_OBJECT
public:
    explicit AboutBox(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

// Constructs the About box, runs it modally and destroys it.
void ShowAboutBox(QWidget* parent);

}  // namespace quorvex::app
