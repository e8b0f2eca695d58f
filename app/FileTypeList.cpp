#include "FileTypeList.h"

#include "FileTypeInfo.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QMouseEvent>

namespace quorvex::app {

FileTypeList::FileTypeList(QWidget* parent) : QTableWidget(parent), sizeEditor_(new QLineEdit(viewport()))
{
    BuildTypeList();
    sizeEditor_->hide();
    sizeEditor_->setMaxLength(255);
    sizeEditor_->installEventFilter(this);
    connect(this, &QTableWidget::itemChanged, this, &FileTypeList::OnCheckChanged);
}

void FileTypeList::BuildTypeList()
{
    setColumnCount(3);
    setHorizontalHeaderLabels({"File Type", "PreFix", "Maximum Size (KB)"});
    setColumnWidth(kTypeColumn, 296);
    setColumnWidth(kPrefixColumn, 216);
    setColumnWidth(kSizeColumn, 216);
    QFont header("Verdana");
    header.setPixelSize(16);
    header.setBold(true);
    horizontalHeader()->setFont(header);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(QFontMetrics(QFont("Verdana", 8)).height() + 6);
    setShowGrid(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setDragEnabled(false);
    QFont rows("Verdana");
    rows.setPointSizeF(7.5);
    setFont(rows);

    const auto& table = FileTypeTable();
    setRowCount(static_cast<int>(table.size()) + 1);
    auto makeRow = [&](int row, const QString& name) {
        auto* type = new QTableWidgetItem(name);
        type->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        type->setCheckState(Qt::Unchecked);
        setItem(row, kTypeColumn, type);
        for (int column : {kPrefixColumn, kSizeColumn}) {
            auto* cell = new QTableWidgetItem();
            cell->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            setItem(row, column, cell);
        }
    };
    makeRow(kGroupRow, QString::fromUtf8(kGraphicsGroup.data(), static_cast<qsizetype>(kGraphicsGroup.size())));
    for (std::size_t i = 0; i < table.size(); ++i)
        makeRow(static_cast<int>(i) + 1,
                QString::fromUtf8(table[i].displayName.data(), static_cast<qsizetype>(table[i].displayName.size())));

    // The group row: light grey, the list's font bold and underlined.
    QFont group = font();
    group.setBold(true);
    group.setUnderline(true);
    for (int column = 0; column < 3; ++column) {
        item(kGroupRow, column)->setBackground(QColor(212, 212, 212));
        item(kGroupRow, column)->setFont(group);
    }
}

void FileTypeList::ApplySettingsToTypeList(const QString& prefixSetting, const QString& sizeSetting)
{
    const auto& table = FileTypeTable();
    for (std::size_t i = 0; i < table.size(); ++i) {
        const int row = static_cast<int>(i) + 1;
        const QString token = QString::fromLatin1(table[i].token.data(), static_cast<qsizetype>(table[i].token.size()));
        item(row, kPrefixColumn)->setText(prefixSetting + token);
        item(row, kSizeColumn)->setText(sizeSetting);
    }
}

bool FileTypeList::IsChecked(int row) const
{
    return item(row, kTypeColumn)->checkState() == Qt::Checked;
}

void FileTypeList::SetChecked(int row, bool checked)
{
    item(row, kTypeColumn)->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

void FileTypeList::CheckAll()
{
    for (int row = 0; row < rowCount(); ++row)
        SetChecked(row, true);
}

int FileTypeList::CheckedTypeCount() const
{
    int count = 0;
    for (int row = 1; row < rowCount(); ++row)
        count += IsChecked(row);
    return count;
}

SelectedTypes FileTypeList::CollectSelection() const
{
    std::vector<TypeSelection> entries;
    const auto& table = FileTypeTable();
    for (int row = 1; row < rowCount(); ++row) {
        if (!IsChecked(row) || IsGroupRowText(item(row, kTypeColumn)->text().toStdString()))
            continue;
        const auto& info = table[static_cast<std::size_t>(row - 1)];
        entries.push_back({std::string(info.token), item(row, kPrefixColumn)->text().toStdString(),
                           LeadingDecimalNumber(item(row, kSizeColumn)->text().toStdString())});
    }
    return SelectedTypes(std::move(entries));
}

void FileTypeList::OnCheckChanged(QTableWidgetItem* changed)
{
    if (syncing_ || changed->column() != kTypeColumn)
        return;
    syncing_ = true;
    if (changed->row() == kGroupRow) {
        const bool checked = changed->checkState() == Qt::Checked;
        for (int row = 1; row < rowCount(); ++row)
            SetChecked(row, checked);
    } else {
        SetChecked(kGroupRow, CheckedTypeCount() == rowCount() - 1);
    }
    syncing_ = false;
}

void FileTypeList::OnTypeListClick(const QPoint& position)
{
    const QModelIndex index = indexAt(position);
    if (!index.isValid())
        return;
    if (item(index.row(), kSizeColumn)->text().isEmpty())
        return;  // the group row has no size
    viewport()->update();
    editRow_ = index.row();
    editColumn_ = index.column();
    if (index.column() != kSizeColumn)
        return;
    const QRect cell = visualRect(index);
    sizeEditor_->setGeometry(cell.left(), cell.top() + 1, cell.width() - 3, cell.height());
    sizeEditor_->setText(item(index.row(), kSizeColumn)->text());
    sizeEditor_->show();
    sizeEditor_->setFocus();
}

void FileTypeList::mousePressEvent(QMouseEvent* event)
{
    QTableWidget::mousePressEvent(event);
    OnTypeListClick(event->position().toPoint());
}

void FileTypeList::mouseDoubleClickEvent(QMouseEvent* event)
{
    // A double click is handled exactly as a click.
    mousePressEvent(event);
}

bool FileTypeList::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == sizeEditor_ && event->type() == QEvent::FocusOut)
        OnSizeEditorKillFocus();
    return QTableWidget::eventFilter(watched, event);
}

void FileTypeList::OnSizeEditorKillFocus()
{
    if (!sizeEditor_->isVisible())
        return;
    const QString text = sizeEditor_->text();
    sizeEditor_->hide();
    if (editRow_ < 0 || editColumn_ != kSizeColumn)
        return;
    if (LeadingDecimalNumber(text.toStdString()) > 0)
        item(editRow_, kSizeColumn)->setText(text);
}

}  // namespace quorvex::app
