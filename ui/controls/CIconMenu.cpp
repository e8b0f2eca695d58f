#include "CIconMenu.h"

#include "ResourceTable.h"

#include <QApplication>
#include <QPainter>
#include <QProxyStyle>
#include <QStyleOptionMenuItem>
#include <qdrawutil.h>

namespace quorvex::controls {

const QColor CIconMenu::kBackground(223, 240, 248);
const QColor CIconMenu::kHighlight(0, 162, 232);
const QColor CIconMenu::kCheckMark(64, 64, 128);

// Sizes every entry as its record says and takes away the menu's frame and margins, so that the
// entries fill the menu exactly.
class IconMenuStyle : public QProxyStyle {
public:
    IconMenuStyle() : QProxyStyle(QApplication::style()->name()) {}

    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget) const override
    {
        if (type == CT_MenuItem)
            if (const auto* menu = qobject_cast<const CIconMenu*>(widget))
                if (const auto* item = qstyleoption_cast<const QStyleOptionMenuItem*>(option))
                    for (const CIconMenu::Entry& entry : menu->Entries()) {
                        const bool separator = item->menuItemType == QStyleOptionMenuItem::Separator;
                        if (entry.separator == separator && (separator || entry.label == item->text))
                            return separator ? QSize(entry.width, 6) : QSize(entry.width, entry.height);
                    }
        return QProxyStyle::sizeFromContents(type, option, size, widget);
    }

    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override
    {
        switch (metric) {
        case PM_MenuPanelWidth:
        case PM_MenuHMargin:
        case PM_MenuVMargin:
        case PM_MenuDesktopFrameWidth:
            return 0;
        default:
            return QProxyStyle::pixelMetric(metric, option, widget);
        }
    }
};

CIconMenu::CIconMenu(const QString& title, QWidget* parent)
    : QMenu(title, parent), style_(std::make_unique<IconMenuStyle>())
{
    setStyle(style_.get());
    setAttribute(Qt::WA_OpaquePaintEvent);
    connect(this, &QMenu::triggered, this, [this](QAction* action) {
        if (const Entry* entry = EntryFor(action); entry != nullptr && !entry->separator)
            emit EntryChosen(action->data().toInt());
    });
}

CIconMenu::~CIconMenu()
{
    setStyle(nullptr);
}

QAction* CIconMenu::AppendEntry(unsigned flags, int commandId, const QString& text, int bitmapResource, int userValue)
{
    Entry entry;
    const qsizetype tab = text.indexOf('\t');
    entry.label = (tab < 0 ? text : text.left(tab)).left(127);
    if (tab >= 0)
        entry.shortcut = text.mid(tab + 1);
    if (bitmapResource != 0)
        entry.picture = res::LoadBitmap(bitmapResource);
    entry.userValue = userValue;
    entry.width = entryWidth_;
    entry.height = entryHeight_;
    entry.separator = (flags & menuflag::kSeparator) != 0;
    // The action carries the label only: a tab in it would make the menu widen every entry.
    entry.action = entry.separator ? addSeparator() : addAction(entry.label);
    entry.action->setData(commandId);
    entry.action->setEnabled(!(flags & (menuflag::kGrayed | menuflag::kDisabled)));
    if (flags & menuflag::kChecked) {
        entry.action->setCheckable(true);
        entry.action->setChecked(true);
    }
    entries_.push_back(std::move(entry));
    return entries_.back().action;
}

const CIconMenu::Entry* CIconMenu::EntryFor(const QAction* action) const
{
    for (const Entry& entry : entries_)
        if (entry.action == action)
            return &entry;
    return nullptr;
}

void CIconMenu::paintEvent(QPaintEvent* event)
{
    if (drawStyle_ != 3) {
        QMenu::paintEvent(event);
        return;
    }
    QPainter painter(this);
    painter.fillRect(rect(), kBackground);
    for (const Entry& entry : entries_) {
        if (!entry.action->isVisible())
            continue;
        DrawEntry(painter, entry, actionGeometry(entry.action), activeAction() == entry.action);
    }
}

void CIconMenu::DrawEntry(QPainter& p, const Entry& entry, const QRect& r, bool selected) const
{
    const QRect icon(r.left(), r.top(), 20, 20);
    const QRect text(r.left() + 20, r.top(), r.width() - 20, r.height());
    const QRect label = text.adjusted(2, 2, -2, -2).translated(6, 2);
    const QRect strip(label.right() + 1 - 60, label.top(), 60, label.height());
    const bool enabled = entry.action->isEnabled();
    const bool checked = entry.action->isChecked();
    auto drawTexts = [&] {
        p.setPen(enabled ? palette().color(QPalette::Active, QPalette::WindowText) : palette().color(QPalette::Button));
        p.setFont(font());
        p.drawText(label, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, entry.label);
        if (!entry.shortcut.isEmpty())
            p.drawText(strip, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, entry.shortcut);
    };

    // The whole entry.
    p.fillRect(r, kBackground);
    p.fillRect(icon, kBackground);
    if (entry.separator) {
        const QLine top(text.left() + 5, text.top() + 3, text.right() + 5, text.top() + 3);
        p.setPen(palette().color(QPalette::Mid));
        p.drawLine(top);
        p.setPen(palette().color(QPalette::Light));
        p.drawLine(top.translated(0, 1));
        return;
    }
    if (checked) {
        const QRect box = icon.adjusted(1, 1, -1, -1);
        p.setPen(kBackground);
        p.setBrush(kBackground);
        p.drawRect(box.adjusted(0, 0, -1, -1));
        p.setPen(kCheckMark);
        static constexpr int kStrokeTops[] = {2, 3, 4, 3, 2, 1, 0};
        for (int i = 0; i < 7; ++i)
            p.drawLine(box.left() + 5 + i, box.top() + 5 + kStrokeTops[i], box.left() + 5 + i,
                       box.top() + 5 + kStrokeTops[i] + 2);
    }
    if (!entry.picture.isNull())
        p.drawPixmap(icon.topLeft() + QPoint(2, 2), entry.picture, QRect(0, 0, 16, 16));
    if (!selected || !enabled) {
        drawTexts();  // a disabled entry is never highlighted
        return;
    }
    // The selected entry: a raised edge around its picture and the blue bar.
    if (!checked && !entry.picture.isNull())
        qDrawShadeRect(&p, icon, palette(), false, 1);
    const QRect bar = text.adjusted(2, 0, 0, 0);
    p.fillRect(bar, kHighlight);
    drawTexts();
}

}  // namespace quorvex::controls
