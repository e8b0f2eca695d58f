#pragma once

#include <QLineEdit>

namespace quorvex::controls {

// A single-line edit whose only border is a one-pixel blue rectangle (red 0, green 149, blue 231).
class CFramedEdit : public QLineEdit {
    Q_OBJECT
public:
    static const QColor kFrameColor;

    explicit CFramedEdit(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace quorvex::controls
