#include "CThemeGroupBox.h"

#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <QStyleOptionFrame>

namespace quorvex::controls {

CThemeGroupBox::CThemeGroupBox(QWidget* parent) : QWidget(parent), captionFont_(font())
{
    // The platform style draws group-box frames, so the box counts as themed; its caption takes
    // the style's highlight colour as the themed group-box text colour.
    themed_ = style() != nullptr;
    captionTextColor_ = themed_ ? palette().color(QPalette::Highlight) : palette().color(QPalette::ButtonText);
}

void CThemeGroupBox::setText(const QString& text)
{
    windowText_ = text;
    captionWidth_ = -1;
    update();
}

void CThemeGroupBox::SetFrameColor(const QColor& color)
{
    frameColor_ = color;
    repaint();
}

void CThemeGroupBox::SetBackgroundColor(const QColor& color)
{
    backgroundColor_ = color;
    update();
}

void CThemeGroupBox::SetHeaderMode(bool on)
{
    headerMode_ = on;
    update();
}

void CThemeGroupBox::SetHighlightEdge(bool on)
{
    highlightEdge_ = on;
    update();
}

void CThemeGroupBox::SetIcon(const QIcon& icon, int size)
{
    icon_ = icon;
    iconSize_ = icon.isNull() ? 0 : size;
    captionWidth_ = -1;
    update();
}

void CThemeGroupBox::SetUseTheme(bool on)
{
    useTheme_ = on;
    update();
}

void CThemeGroupBox::paintEvent(QPaintEvent*)
{
    if (painting_)
        return;
    painting_ = true;
    const QFontMetrics metrics(captionFont_);
    if (captionWidth_ < 0) {
        captionWidth_ = windowText_.isEmpty() ? 0 : metrics.horizontalAdvance(windowText_);
        captionHeight_ = windowText_.isEmpty() ? 0 : metrics.height();
    }
    const int band = std::max(captionHeight_, iconSize_) + 1;
    const int half = band / 2;

    // Composed off screen and copied in one step. Below the caption band the parent's painting
    // shows through, as the control is otherwise transparent.
    QPixmap off(size());
    off.fill(Qt::transparent);
    QPainter p(&off);
    p.fillRect(QRect(0, 0, width(), 2 * half), backgroundColor_);
    if (headerMode_)
        p.fillRect(rect(), backgroundColor_);

    const QRect frame = rect().adjusted(0, half, 0, 0);
    lastFrameRect_ = frame;
    const bool disabled = !isEnabled();
    const bool automatic = !frameColor_.isValid();
    if (headerMode_) {
        const QColor line = automatic || disabled ? palette().color(QPalette::Mid) : frameColor_;
        p.setPen(line);
        p.drawLine(frame.left(), frame.top(), frame.right(), frame.top());
        p.setPen(palette().color(QPalette::Light));
        p.drawLine(frame.left(), frame.top() + 1, frame.right(), frame.top() + 1);
    } else if (automatic && Themed()) {
        QStyleOptionFrame option;
        option.initFrom(this);
        option.rect = frame;
        option.lineWidth = 1;
        option.midLineWidth = 0;
        option.features = QStyleOptionFrame::None;
        style()->drawPrimitive(QStyle::PE_FrameGroupBox, &option, &p, this);
    } else {
        if (highlightEdge_) {
            p.setPen(QPen(palette().color(QPalette::Light), 2));
            p.setBrush(Qt::NoBrush);
            p.drawRect(frame.adjusted(2, 2, -1, -1));
        }
        const QColor line = disabled || automatic ? palette().color(QPalette::Mid) : frameColor_;
        p.setPen(QPen(line, 1));
        p.setBrush(Qt::NoBrush);
        p.drawRect(frame.adjusted(0, 0, -1, -1));
    }

    if (!windowText_.isEmpty() || iconSize_ > 0) {
        const int bandWidth = captionWidth_ + iconSize_ + (iconSize_ > 0 ? iconGap_ : 0) + 6;
        const QRect captionBand(captionMargin_, captionOffset_, bandWidth, band);
        p.fillRect(captionBand, backgroundColor_);
        int x = captionBand.left() + 3;
        if (iconSize_ > 0) {
            icon_.paint(&p, QRect(x, captionBand.top() + (band - iconSize_) / 2, iconSize_, iconSize_), Qt::AlignCenter,
                        disabled ? QIcon::Disabled : QIcon::Normal);
            x += iconSize_ + iconGap_;
        }
        if (!windowText_.isEmpty()) {
            const QRect textRect(x, captionBand.top(), captionWidth_, band);
            p.fillRect(textRect, palette().color(QPalette::Button));
            p.setFont(captionFont_);
            p.setPen(disabled && greyWhenDisabled_ ? palette().color(QPalette::Disabled, QPalette::WindowText)
                                                   : captionTextColor_);
            p.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, windowText_);
        }
    }
    p.end();
    QPainter screen(this);
    screen.drawPixmap(0, 0, off);
    painting_ = false;
}

}  // namespace quorvex::controls
