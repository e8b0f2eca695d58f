#include "FoundFileListView.h"

#include "FoundFileListModel.h"

#include <QPainter>
#include <QStyledItemDelegate>

namespace quorvex::preview {

namespace {

constexpr QSize kGrid(124, 126);  // one item's cell: the tile, its name beneath, a margin

// Draws each item as an icon view does: the tile centred on top, the name centred beneath,
// shortened at its start when it is wider than the cell; a copy of another found file gets a
// "COPY" band across the tile's top left corner.
class TileAboveNameDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override
    {
        return kGrid - QSize(6, 6);
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::paint(painter, option, index);
        if (index.data(kCopyOfRole).toString().isEmpty())
            return;
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        const QRect tile(option.rect.center().x() - 50, option.rect.top() + 3, 100, 100);
        const QRectF band(tile.left() + 4, tile.top() + 4, 40, 15);
        painter->setPen(Qt::NoPen);
        painter->setBrush(QColor(0x30, 0x50, 0x90, 220));
        painter->drawRoundedRect(band, 4, 4);
        QFont font = option.font;
        font.setPixelSize(10);
        font.setBold(true);
        painter->setFont(font);
        painter->setPen(Qt::white);
        painter->drawText(band, Qt::AlignCenter, "COPY");
        painter->restore();
    }

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        option->decorationPosition = QStyleOptionViewItem::Top;
        option->decorationAlignment = Qt::AlignHCenter | Qt::AlignTop;
        option->displayAlignment = Qt::AlignHCenter | Qt::AlignTop;
        option->textElideMode = Qt::ElideLeft;  // the running number and the type stay whole
        option->features &= ~QStyleOptionViewItem::WrapText;
    }
};

}  // namespace

FoundFileListView::FoundFileListView(QWidget* parent) : QListView(parent)
{
    setViewMode(QListView::ListMode);
    setFlow(QListView::LeftToRight);
    setWrapping(true);
    setUniformItemSizes(true);
    setResizeMode(QListView::Adjust);
    setMovement(QListView::Static);
    setLayoutMode(QListView::Batched);
    setBatchSize(2000);
    setIconSize(QSize(100, 100));
    setGridSize(kGrid);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionRectVisible(true);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setItemDelegate(new TileAboveNameDelegate(this));
}

std::pair<int, int> FoundFileListView::RowsInView() const
{
    if (model() == nullptr || model()->rowCount() == 0)
        return {-1, -1};
    const QRect area = viewport()->rect();
    int first = -1, last = -1;
    // Uniform items in rows: the first and the last item on the viewport's scan of grid points.
    const QSize grid = gridSize();
    for (int y = area.top() + 1; y < area.bottom() && first < 0; y += grid.height() / 2)
        for (int x = area.left() + 1; x < area.right() && first < 0; x += grid.width() / 2)
            if (const QModelIndex at = indexAt(QPoint(x, y)); at.isValid())
                first = at.row();
    for (int y = area.bottom() - 1; y > area.top() && last < 0; y -= grid.height() / 2)
        for (int x = area.right() - 1; x > area.left() && last < 0; x -= grid.width() / 2)
            if (const QModelIndex at = indexAt(QPoint(x, y)); at.isValid())
                last = at.row();
    return {first, last};
}

int FoundFileListView::Count() const
{
    return model() ? model()->rowCount() : 0;
}

QString FoundFileListView::NameAt(int row) const
{
    return model() ? model()->index(row, 0).data(Qt::DisplayRole).toString() : QString();
}

QString FoundFileListView::ToolTipAt(int row) const
{
    return model() ? model()->index(row, 0).data(Qt::ToolTipRole).toString() : QString();
}

QImage FoundFileListView::TileAt(int row) const
{
    return model() ? model()->index(row, 0).data(Qt::DecorationRole).value<QImage>() : QImage();
}

void FoundFileListView::SelectRow(int row)
{
    if (model())
        selectionModel()->select(model()->index(row, 0), QItemSelectionModel::Select);
}

bool FoundFileListView::IsSelected(int row) const
{
    return model() && selectionModel()->isSelected(model()->index(row, 0));
}

}  // namespace quorvex::preview
