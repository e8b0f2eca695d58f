#include "CSkinButton.h"

#include "ResourceTable.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPainter>

namespace quorvex::controls {

CSkinButton::CSkinButton(QWidget* parent)
    : QAbstractButton(parent), hoverCursor_(res::LoadCursor(res::id::kHoverCursor)),
      pressedCursor_(res::LoadCursor(res::id::kPressedCursor))
{
    setMouseTracking(true);
    setFocusPolicy(Qt::NoFocus);
    tipTimer_.setSingleShot(true);
    tipTimer_.setInterval(500);
    connect(&tipTimer_, &QTimer::timeout, this, &CSkinButton::ShowTooltip);
}

CSkinButton::~CSkinButton()
{
    delete tip_;
}

bool CSkinButton::SetButtonImages(int normalResource, int hoverResource)
{
    normal_ = res::LoadBitmap(normalResource);
    hovered_ = res::LoadBitmap(hoverResource);
    imageSize_ = normal_.size();
    raise();
    update();
    return true;
}

void CSkinButton::SetHoverTip(const char* text, int activate)
{
    if (text == nullptr)
        return;
    SetHoverTip(QString::fromUtf8(text), activate);
}

void CSkinButton::SetHoverTip(const QString& text, int activate)
{
    EnsureTooltip();
    tip_->setText(text);
    tip_->setMaximumWidth(kTipWrapWidth);
    tip_->adjustSize();
    tipActive_ = activate != 0;
    if (!tipActive_)
        tip_->hide();
}

void CSkinButton::EnsureTooltip()
{
    if (tip_ != nullptr)
        return;
    // A window of its own, so it may reach beyond the dialog; texts wider than 400 px wrap.
    tip_ = new QLabel(nullptr, Qt::ToolTip | Qt::FramelessWindowHint);
    tip_->setWordWrap(true);
    tip_->setMaximumWidth(kTipWrapWidth);
    tip_->setMargin(3);
    tip_->setForegroundRole(QPalette::ToolTipText);
    tip_->setBackgroundRole(QPalette::ToolTipBase);
    tip_->setAutoFillBackground(true);
    tip_->setFrameStyle(QFrame::Box | QFrame::Plain);
}

void CSkinButton::ShowTooltip()
{
    if (tip_ == nullptr || !tipActive_ || !hover_ || tip_->text().isEmpty())
        return;
    tip_->adjustSize();
    tip_->move(mapToGlobal(QPoint(width() / 2, height() + 4)));
    tip_->show();
}

QSize CSkinButton::sizeHint() const
{
    return imageSize_.isValid() ? imageSize_ : QSize(16, 16);
}

void CSkinButton::paintEvent(QPaintEvent*)
{
    const QPixmap& picture = hover_ ? hovered_ : normal_;
    if (picture.isNull())
        return;  // the parent's painting shows through
    QPainter painter(this);
    painter.drawPixmap(QRect(QPoint(0, 0), imageSize_), picture, QRect(QPoint(0, 0), imageSize_));
}

void CSkinButton::SetHover(bool hover)
{
    if (hover_ == hover)
        return;
    hover_ = hover;
    if (buddy_)
        buddy_->update();
    update();
}

void CSkinButton::enterEvent(QEnterEvent* event)
{
    SetHover(true);
    setCursor(hoverCursor_);
    if (tipActive_)
        tipTimer_.start();
    QAbstractButton::enterEvent(event);
}

void CSkinButton::leaveEvent(QEvent* event)
{
    tipTimer_.stop();
    if (tip_ != nullptr)
        tip_->hide();
    SetHover(false);
    QAbstractButton::leaveEvent(event);
}

void CSkinButton::mouseMoveEvent(QMouseEvent* event)
{
    QAbstractButton::mouseMoveEvent(event);
    if (!isDown())
        setCursor(hoverCursor_);
}

void CSkinButton::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        setCursor(pressedCursor_);
        tipTimer_.stop();
        if (tip_ != nullptr)
            tip_->hide();
    }
    QAbstractButton::mousePressEvent(event);
}

void CSkinButton::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The second press of a fast double click is an ordinary press: two clicks, not one.
    mousePressEvent(event);
}

void CSkinButton::hideEvent(QHideEvent* event)
{
    tipTimer_.stop();
    if (tip_ != nullptr)
        tip_->hide();
    QAbstractButton::hideEvent(event);
}

}  // namespace quorvex::controls
