#include "CFramedEdit.h"

#include <QPainter>

namespace quorvex::controls {

const QColor CFramedEdit::kFrameColor(0, 149, 231);

CFramedEdit::CFramedEdit(QWidget* parent) : QLineEdit(parent)
{
    setFrame(false);
    setTextMargins(2, 1, 2, 1);
}

void CFramedEdit::paintEvent(QPaintEvent* event)
{
    QLineEdit::paintEvent(event);
    QPainter painter(this);
    painter.setPen(kFrameColor);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

}  // namespace quorvex::controls
