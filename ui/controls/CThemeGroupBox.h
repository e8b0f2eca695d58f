#pragma once

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QWidget>

namespace quorvex::controls {

// A group box that uses the platform style's group-box frame when its frame colour is automatic,
// and otherwise a plain outline in its frame colour with a light etched edge. The caption sits in
// a band at the top-left, opaque on the button-face colour.
class CThemeGroupBox : public QWidget {
    Q_OBJECT
public:
    explicit CThemeGroupBox(QWidget* parent = nullptr);

    void setText(const QString& text);
    QString text() const { return windowText_; }

    // Stores a frame colour and repaints; an invalid colour means automatic (the style's frame).
    void SetFrameColor(const QColor& color);
    void SetBackgroundColor(const QColor& color);
    void SetHeaderMode(bool on);
    void SetHighlightEdge(bool on);
    void SetIcon(const QIcon& icon, int size);
    void SetUseTheme(bool on);

    QColor FrameColor() const { return frameColor_; }
    QColor CaptionTextColor() const { return captionTextColor_; }
    bool Themed() const { return themed_ && useTheme_; }
    QRect LastFrameRect() const { return lastFrameRect_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString windowText_;
    QFont captionFont_;
    QColor captionTextColor_;
    QColor backgroundColor_ = Qt::white;
    QColor frameColor_;  // invalid: automatic
    int captionMargin_ = 0;
    int captionOffset_ = 0;
    int iconGap_ = 8;
    QIcon icon_;
    int iconSize_ = 0;
    QRect lastFrameRect_;
    int captionWidth_ = -1;
    int captionHeight_ = 0;
    bool themed_ = false;
    bool useTheme_ = true;
    bool greyWhenDisabled_ = true;
    bool headerMode_ = false;
    bool highlightEdge_ = true;
    bool painting_ = false;
};

}  // namespace quorvex::controls
