#pragma once

#include <QAbstractButton>
#include <QCursor>
#include <QPixmap>
#include <QPointer>
#include <QTimer>

class QLabel;

namespace quorvex::controls {

// A picture button: the normal picture, or the hover picture while the mouse rests on it, drawn
// at the top-left corner at its own size; the rest of the button is left unpainted. No separate
// look for pressed, focused or disabled states. Hover cursor 1051, pressed cursor 1053, and a
// tooltip that wraps at 400 pixels. A double click counts as a second click.
class CSkinButton : public QAbstractButton {
    Q_OBJECT
public:
    static constexpr int kTipWrapWidth = 400;

    explicit CSkinButton(QWidget* parent = nullptr);
    ~CSkinButton() override;

    // Loads both pictures by resource number and raises the button above its siblings.
    bool SetButtonImages(int normalResource, int hoverResource);
    // Sets the tooltip's text; a non-zero `activate` shows it on hover, zero keeps it quiet.
    // A null text does nothing.
    void SetHoverTip(const char* text, int activate);
    void SetHoverTip(const QString& text, int activate);

    bool IsHovered() const { return hover_; }
    QSize ImageSize() const { return imageSize_; }
    // The tooltip window (created on first use), for tests.
    QLabel* Tooltip() const { return tip_; }
    bool TooltipActive() const { return tipActive_; }
    // The buddy is repainted with the button on hover changes.
    void SetBuddy(QWidget* buddy) { buddy_ = buddy; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void EnsureTooltip();
    void ShowTooltip();
    void SetHover(bool hover);

    QPointer<QWidget> buddy_;
    bool hover_ = false;
    QSize imageSize_;
    QPixmap normal_, hovered_;
    QCursor hoverCursor_, pressedCursor_;
    QLabel* tip_ = nullptr;
    bool tipActive_ = false;
    QTimer tipTimer_;
};

}  // namespace quorvex::controls
