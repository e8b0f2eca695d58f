#pragma once

#include <QColor>
#include <QLabel>

namespace quorvex::controls {

// A static text with its own text colour, background colour and font. Transparent (the default):
// the text is drawn on whatever lies beneath; opaque: the background colour fills the label.
class CColorLabel : public QLabel {
    Q_OBJECT
public:
    explicit CColorLabel(QWidget* parent = nullptr);
    explicit CColorLabel(const QString& text, QWidget* parent = nullptr);

    void SetLabelBackColor(const QColor& color);
    void SetLabelTextColor(const QColor& color);
    void SetLabelTransparent(int transparent);
    // A font of `points` points on this screen (height rounded as MulDiv), bold (700) or the
    // default weight, italic or not, in the named face.
    void SetLabelFont(int points, bool bold, bool italic, const QString& face);
    void SetLabelBold(bool bold);

    QColor TextColor() const { return textColor_; }
    QColor BackColor() const { return backColor_; }
    bool IsTransparent() const { return transparent_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor textColor_;
    QColor backColor_;
    bool transparent_ = true;
};

// A static text that lets its parent's background show through; a new text repaints the part of
// the parent under it first, so nothing of a longer old text remains.
class CTransparentLabel : public QLabel {
    Q_OBJECT
public:
    explicit CTransparentLabel(QWidget* parent = nullptr);
    explicit CTransparentLabel(const QString& text, QWidget* parent = nullptr);

    void SetText(const QString& text);
};

}  // namespace quorvex::controls
