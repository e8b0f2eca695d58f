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

    // The rows: a group row before each group's types, the eleven first under "Graphics".
    for (const FileTypeInfo* info : TypesOf(RecoveryMode::Exact)) {
        const bool exactOnly = FindFileType(info->token) == nullptr;
        if (rows_.empty() || rows_.back().group != info->group)
            rows_.push_back({nullptr, info->group, exactOnly});
        rows_.push_back({info, info->group, exactOnly});
    }
    setRowCount(static_cast<int>(rows_.size()));
    QFont group = font();
    group.setBold(true);
    group.setUnderline(true);
    for (std::size_t r = 0; r < rows_.size(); ++r) {
        const int row = static_cast<int>(r);
        const std::string_view text = rows_[r].type ? rows_[r].type->displayName : rows_[r].group;
        auto* type = new QTableWidgetItem(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
        type->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        type->setCheckState(Qt::Unchecked);
        setItem(row, kTypeColumn, type);
        for (int column : {kPrefixColumn, kSizeColumn}) {
            auto* cell = new QTableWidgetItem();
            cell->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            setItem(row, column, cell);
        }
        // A group row: light grey, the list's font bold and underlined.
        if (rows_[r].type == nullptr)
            for (int column = 0; column < 3; ++column) {
                item(row, column)->setBackground(QColor(212, 212, 212));
                item(row, column)->setFont(group);
            }
    }
    SetExactRecovery(false);
}

void FileTypeList::SetExactRecovery(bool exact)
{
    for (std::size_t r = 0; r < rows_.size(); ++r)
        setRowHidden(static_cast<int>(r), rows_[r].exactOnly && !exact);
}

int FileTypeList::GroupRowOf(std::string_view group) const
{
    for (std::size_t r = 0; r < rows_.size(); ++r)
        if (rows_[r].type == nullptr && rows_[r].group == group)
            return static_cast<int>(r);
    return kGroupRow;
}

void FileTypeList::ApplySettingsToTypeList(const QString& prefixSetting, const QString& sizeSetting)
{
    const bool defaultSize = sizeSetting == "20480";
    for (std::size_t r = 0; r < rows_.size(); ++r) {
        const FileTypeInfo* info = rows_[r].type;
        if (info == nullptr)
            continue;
        const int row = static_cast<int>(r);
        const QString token = QString::fromLatin1(info->token.data(), static_cast<qsizetype>(info->token.size()));
        item(row, kPrefixColumn)->setText(prefixSetting + token);
        item(row, kSizeColumn)->setText(defaultSize && info->defaultMaxSizeKb != 0 ? QString::number(info->defaultMaxSizeKb)
                                                                                   : sizeSetting);
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
    for (int row = 0; row < rowCount(); ++row)
        count += IsShownType(row) && IsChecked(row);
    return count;
}

SelectedTypes FileTypeList::CollectSelection() const
{
    std::vector<TypeSelection> entries;
    for (int row = 0; row < rowCount(); ++row) {
        if (!IsShownType(row) || !IsChecked(row))
            continue;
        const FileTypeInfo& info = *rows_[static_cast<std::size_t>(row)].type;
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
    const std::string_view group = rows_[static_cast<std::size_t>(changed->row())].group;
    if (rows_[static_cast<std::size_t>(changed->row())].type == nullptr) {
        const bool checked = changed->checkState() == Qt::Checked;
        for (int row = 0; row < rowCount(); ++row)
            if (rows_[static_cast<std::size_t>(row)].type != nullptr && rows_[static_cast<std::size_t>(row)].group == group)
                SetChecked(row, checked);
    } else {
        bool all = true;
        for (int row = 0; row < rowCount(); ++row)
            if (rows_[static_cast<std::size_t>(row)].type != nullptr && rows_[static_cast<std::size_t>(row)].group == group)
                all = all && IsChecked(row);
        SetChecked(GroupRowOf(group), all);
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
