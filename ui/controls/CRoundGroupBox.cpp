#include "CRoundGroupBox.h"

#include <QPainter>
#include <QPainterPath>

namespace quorvex::controls {

CRoundGroupBox::CRoundGroupBox(QWidget* parent)
    : QWidget(parent), borderColor_(palette().color(QPalette::Mid)), captionBackground_(palette().color(QPalette::Button)),
      bodyBackground_(palette().color(QPalette::Button)), captionFont_(font())
{
}

void CRoundGroupBox::setText(const QString& text)
{
    windowText_ = text;
    Repaint();
}

void CRoundGroupBox::Repaint()
{
    repaint();
    if (QWidget* parent = parentWidget())
        parent->update(geometry());
}

void CRoundGroupBox::SetBorderColor(const QColor& color)
{
    borderColor_ = color;
    Repaint();
}

void CRoundGroupBox::SetCaptionTextColor(const QColor& color)
{
    captionTextColor_ = color;
    Repaint();
}

void CRoundGroupBox::SetBackgroundColors(const QColor& caption, const QColor& body)
{
    captionBackground_ = caption;
    bodyBackground_ = body;
    Repaint();
}

void CRoundGroupBox::SetBackgroundColor(const QColor& color)
{
    SetBackgroundColors(color, color);
}

void CRoundGroupBox::SetBoxStyle(int style)
{
    boxStyle_ = style;
    Repaint();
}

void CRoundGroupBox::SetCaption(const QString& caption)
{
    caption_ = " " + caption + " ";
    windowText_ = caption_;
    Repaint();
}

void CRoundGroupBox::SetCaptionBold(bool bold)
{
    captionFont_.setWeight(bold ? QFont::Bold : QFont::Normal);
    Repaint();
}

void CRoundGroupBox::SetCaptionFontName(const QString& face)
{
    captionFont_.setFamily(face);
    Repaint();
}

void CRoundGroupBox::SetCaptionUnderline(bool underline)
{
    captionFont_.setUnderline(underline);
    Repaint();
}

void CRoundGroupBox::SetCaptionItalic(bool italic)
{
    captionFont_.setItalic(italic);
    Repaint();
}

void CRoundGroupBox::SetCaptionPointSize(int points)
{
    captionFont_.setPointSize(std::max(1, points));
    Repaint();
}

void CRoundGroupBox::SetCaptionFont(const QFont& font)
{
    captionFont_ = font;
    Repaint();
}

void CRoundGroupBox::SetCaptionAlignment(int alignment)
{
    captionAlignment_ = alignment == 1 || alignment == 2 ? alignment : 0;
    Repaint();
}

void CRoundGroupBox::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setFont(captionFont_);
    const QRect r = rect().adjusted(1, 1, -1, -1);
    if (caption_.isEmpty())
        caption_ = windowText_;
    const QString caption = windowText_;
    const QFontMetrics metrics(captionFont_);
    const int w = caption.isEmpty() ? 0 : metrics.horizontalAdvance(caption);
    const int h = caption.isEmpty() ? 0 : metrics.height();
    const QPen pen(borderColor_, 1);

    QRect captionRect;
    if (boxStyle_ != 0) {
        p.setPen(pen);
        p.setBrush(captionBackground_);
        p.drawRoundedRect(QRectF(r).adjusted(0.5, 0.5, -0.5, -0.5), 5, 5);
        p.setBrush(bodyBackground_);
        p.drawRect(QRectF(r.left() + 0.5, r.top() + h + 4 + 0.5, r.width() - 1, r.bottom() - (r.top() + h + 4)));
        const int left = captionAlignment_ == 1   ? r.left() + (r.width() - w) / 2
                         : captionAlignment_ == 2 ? r.right() - 2 - w
                                                  : r.left() + 2;
        captionRect = QRect(left, r.top() + 2, w, h);
    } else {
        const int left = captionAlignment_ == 1   ? r.left() + (r.width() - w) / 2
                         : captionAlignment_ == 2 ? r.right() - 10 - w
                                                  : r.left() + 10;
        captionRect = QRect(left, r.top(), w, h);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(r.left() + 0.5, r.top() + h / 2 + 0.5, r.width() - 1, r.height() - h / 2 - 1), 5, 5);
        if (w > 0) {
            // The outline is interrupted behind the caption.
            p.save();
            p.setClipRect(captionRect);
            p.fillRect(captionRect, captionBackground_);
            p.restore();
        }
    }
    p.setPen(captionTextColor_);
    p.drawText(captionRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextDontClip, caption);
}

}  // namespace quorvex::controls
