#include "CTypeTreeCtrl.h"

#include "FileTypeInfo.h"

#include "ResourceTable.h"

#include <QDesktopServices>
#include <QLocale>
#include <QStyledItemDelegate>
#include <QDir>
#include <QMenu>
#include <QMouseEvent>
#include <QUrl>

namespace quorvex::preview {

namespace {
constexpr int kCheckRole = Qt::UserRole + 1;
constexpr int kCountRole = Qt::UserRole + 2;

// Shows a type item's count after its label; the label itself stays the bare token, which is
// what every command of the tree goes by.
class CountedLabelDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        option->text = CTypeTreeCtrl::ShownLabel(option->text, index.data(kCountRole));
    }
};
}  // namespace

CTypeTreeCtrl::CTypeTreeCtrl(QWidget* parent) : QTreeWidget(parent)
{
    setItemDelegate(new CountedLabelDelegate(this));
    setHeaderHidden(true);
    setIconSize(QSize(16, 16));
    setRootIsDecorated(true);
    openFolder_ = [](const QString& path) { QDesktopServices::openUrl(QUrl::fromLocalFile(QDir::current().absoluteFilePath(path))); };
}

QString CTypeTreeCtrl::ShownLabel(const QString& label, const QVariant& count)
{
    if (!count.isValid())
        return label;
    return QString("%1 (%2)").arg(label, QLocale(QLocale::English, QLocale::UnitedStates).toString(count.toULongLong()));
}

void CTypeTreeCtrl::SetCount(QTreeWidgetItem* item, quint64 count)
{
    if (item->data(0, kCountRole) != QVariant(static_cast<qulonglong>(count)))
        item->setData(0, kCountRole, static_cast<qulonglong>(count));
}

QString CTypeTreeCtrl::DisplayedLabel(const QTreeWidgetItem* item)
{
    return ShownLabel(item->text(0), item->data(0, kCountRole));
}

bool CTypeTreeCtrl::IsTypeToken(const QString& label)
{
    return FindFileType(label.toStdString(), RecoveryMode::Exact) != nullptr;
}

int CTypeTreeCtrl::IconResourceFor(const QString& label, bool selected)
{
    if (label == "JPG")
        return res::id::kTreeIconFirst + 3;
    if (label == "BMP")
        return res::id::kTreeIconFirst + 1;
    if (label == "GIF")
        return res::id::kTreeIconFirst + 2;
    if (IsTypeToken(label))
        return res::id::kTreeIconFirst;
    return res::id::kTreeIconFirst + (selected ? 7 : 8);
}

QTreeWidgetItem* CTypeTreeCtrl::InsertItem(const QString& label, QTreeWidgetItem* parent, bool first)
{
    auto* item = new QTreeWidgetItem(QStringList{label});
    QIcon icon;
    icon.addPixmap(res::LoadBitmap(IconResourceFor(label, false)), QIcon::Normal);
    icon.addPixmap(res::LoadBitmap(IconResourceFor(label, true)), QIcon::Selected);
    item->setIcon(0, icon);
    item->setData(0, kCheckRole, kNoCheck);
    if (parent == nullptr)
        first ? insertTopLevelItem(0, item) : addTopLevelItem(item);
    else
        first ? parent->insertChild(0, item) : parent->addChild(item);
    return item;
}

bool CTypeTreeCtrl::CountsAsChecked(const QTreeWidgetItem* item) const
{
    return item->data(0, kCheckRole).toInt() != kUnchecked;
}

void CTypeTreeCtrl::SetChecked(QTreeWidgetItem* item, bool checked)
{
    item->setData(0, kCheckRole, checked ? kChecked : kUnchecked);
    QFont font = item->font(0);
    font.setBold(checked);
    item->setFont(0, font);
}

void CTypeTreeCtrl::SetCheckedSubtree(QTreeWidgetItem* item, bool checked)
{
    SetChecked(item, checked);
    for (int i = 0; i < item->childCount(); ++i)
        SetCheckedSubtree(item->child(i), checked);
}

void CTypeTreeCtrl::UpdateAncestors(QTreeWidgetItem* item)
{
    for (QTreeWidgetItem* ancestor = item->parent(); ancestor != nullptr; ancestor = ancestor->parent()) {
        bool all = true;
        for (int i = 0; i < ancestor->childCount(); ++i)
            all = all && CountsAsChecked(ancestor->child(i));
        SetChecked(ancestor, all);
    }
    for (QTreeWidgetItem* ancestor = item->parent(); ancestor != nullptr; ancestor = ancestor->parent()) {
        bool anyBold = false;
        for (int i = 0; i < ancestor->childCount(); ++i)
            anyBold = anyBold || IsBold(ancestor->child(i));
        QFont font = ancestor->font(0);
        font.setBold(anyBold);
        ancestor->setFont(0, font);
    }
}

QString CTypeTreeCtrl::FolderPath(const QTreeWidgetItem* item)
{
    QStringList labels;
    for (const QTreeWidgetItem* at = item; at != nullptr; at = at->parent())
        labels.prepend(at->text(0));
    return labels.join('/') + '/';
}

void CTypeTreeCtrl::ListSubFolders(QTreeWidgetItem* item)
{
    const QDir folder(QDir::current().absoluteFilePath(FolderPath(item)));
    if (!folder.exists())
        return;
    for (const QString& name : folder.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        bool present = false;
        for (int i = 0; i < item->childCount(); ++i)
            present = present || item->child(i)->text(0) == name;
        if (!present)
            InsertItem(name, item, false);
    }
    if (CountsAsChecked(item))
        SetCheckedSubtree(item, true);
}

QMenu* CTypeTreeCtrl::BuildContextMenu(QTreeWidgetItem* item)
{
    auto* menu = new QMenu(this);
    const QString pad27(27, ' '), pad28(28, ' ');
    const QString display = item->parent() != nullptr
                                ? pad27 + "Display Folder " + item->text(0) + pad28
                                : pad27 + "Display Disk " + (item->text(0).isEmpty() ? QString() : item->text(0).left(1)) + pad28;
    menu->addAction(display)->setData(kDisplayFolderCommand);
    menu->addSeparator();
    if (CountsAsChecked(item))
        menu->addAction("Deselect this folder and all SubFolder")->setData(kDeselectSubtreeCommand);
    else
        menu->addAction("Select this folder and all SubFolder")->setData(kSelectSubtreeCommand);
    menu->addSeparator();
    bool anyBoldChild = false;
    for (int i = 0; i < item->childCount(); ++i)
        anyBoldChild = anyBoldChild || IsBold(item->child(i));
    if (anyBoldChild) {
        std::function<void(QTreeWidgetItem*)> listChecked = [&](QTreeWidgetItem* at) {
            for (int i = 0; i < at->childCount(); ++i) {
                QTreeWidgetItem* child = at->child(i);
                if (CountsAsChecked(child))
                    menu->addAction(FolderPath(child))->setData(kListedFolderCommand);
                listChecked(child);
            }
        };
        listChecked(item);
    } else {
        menu->addAction("0 Subfolder Selected")->setData(0);
    }
    return menu;
}

void CTypeTreeCtrl::RunCommand(int command, QTreeWidgetItem* item)
{
    if (item == nullptr)
        return;
    switch (command) {
    case kDisplayFolderCommand:
        if (openFolder_)
            openFolder_(FolderPath(item));
        break;
    case kSelectSubtreeCommand:
    case kDeselectSubtreeCommand:
        SetCheckedSubtree(item, command == kSelectSubtreeCommand);
        UpdateAncestors(item);
        break;
    default:
        break;
    }
}

void CTypeTreeCtrl::mousePressEvent(QMouseEvent* event)
{
    QTreeWidgetItem* item = itemAt(event->position().toPoint());
    if (item == nullptr)
        return;
    setCurrentItem(item);
    setFocus();
    if (event->button() == Qt::LeftButton) {
        if (const QVariant folder = item->data(0, kCardFolderRole); folder.isValid())
            emit CardFolderClicked(folder.toString());
        else if (IsTypeToken(item->text(0)))
            emit TypeClicked(item->text(0));
        item->setExpanded(!item->isExpanded());
        return;
    }
    if (event->button() == Qt::RightButton) {
        ListSubFolders(item);
        std::unique_ptr<QMenu> menu(BuildContextMenu(item));
        if (QAction* chosen = menu->exec(event->globalPosition().toPoint()))
            RunCommand(chosen->data().toInt(), item);
    }
}

void CTypeTreeCtrl::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The first press already did everything; the second must not start the thumbnails again.
    event->accept();
}

}  // namespace quorvex::preview
