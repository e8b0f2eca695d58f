#include "CColorLabel.h"

#include <QPainter>
#include <QScreen>

namespace quorvex::controls {

CColorLabel::CColorLabel(QWidget* parent) : CColorLabel(QString(), parent) {}

CColorLabel::CColorLabel(const QString& text, QWidget* parent)
    : QLabel(text, parent), textColor_(palette().color(QPalette::WindowText)), backColor_(palette().color(QPalette::Base))
{
    setAttribute(Qt::WA_TranslucentBackground);
    setAutoFillBackground(false);
}

void CColorLabel::SetLabelBackColor(const QColor& color)
{
    backColor_ = color;
    update();
}

void CColorLabel::SetLabelTextColor(const QColor& color)
{
    textColor_ = color;
    update();
}

void CColorLabel::SetLabelTransparent(int transparent)
{
    transparent_ = transparent != 0;
    update();
}

void CColorLabel::SetLabelFont(int points, bool bold, bool italic, const QString& face)
{
    const int dpi = logicalDpiY() > 0 ? logicalDpiY() : 96;
    QFont font(face);
    font.setPixelSize(std::max(1, (points * dpi + 36) / 72));
    font.setWeight(bold ? QFont::Bold : QFont::Normal);
    font.setItalic(italic);
    setFont(font);
    update();
}

void CColorLabel::SetLabelBold(bool bold)
{
    QFont current = font();
    current.setWeight(bold ? QFont::Bold : QFont::Normal);
    setFont(current);
    update();
}

void CColorLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (!transparent_)
        painter.fillRect(rect(), backColor_);
    painter.setPen(textColor_);
    painter.setFont(font());
    painter.drawText(contentsRect(), static_cast<int>(alignment()) | (wordWrap() ? Qt::TextWordWrap : 0), text());
}

CTransparentLabel::CTransparentLabel(QWidget* parent) : CTransparentLabel(QString(), parent) {}

CTransparentLabel::CTransparentLabel(const QString& text, QWidget* parent) : QLabel(text, parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
    setAutoFillBackground(false);
}

void CTransparentLabel::SetText(const QString& text)
{
    setText(text);
    if (QWidget* parent = parentWidget()) {
        parent->update(geometry());
        parent->repaint(geometry());
    }
}

}  // namespace quorvex::controls
