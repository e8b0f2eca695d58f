#pragma once

#include <QTreeWidget>
#include <functional>

class QMenu;

namespace quorvex::preview {

// The results tree: the root "Found File Type" and a node per found type with its count, icons
// chosen by label.
// A left click selects an item, starts the thumbnails of a type label and toggles expansion. Items
// carry a check state shown as bold labels (an item as inserted counts as checked), with the
// right-click menu of folder commands.
class CTypeTreeCtrl : public QTreeWidget {
    Q_OBJECT
public:
    enum Command {
        kListedFolderCommand = 32000,
        kSelectSubtreeCommand = 32003,
        kDeselectSubtreeCommand = 32004,
        kDisplayFolderCommand = 32005,
    };
    enum CheckState { kNoCheck = 0, kUnchecked = 1, kChecked = 2 };
    // The item data of a card folder's item: its path on the card ("" for the root of "Card
    // Folders"). Such an item is a folder whatever its label.
    static constexpr int kCardFolderRole = Qt::UserRole + 3;

    explicit CTypeTreeCtrl(QWidget* parent = nullptr);

    // Inserts an item with `label` under `parent` (null: at the top level), first or last.
    QTreeWidgetItem* InsertItem(const QString& label, QTreeWidgetItem* parent, bool first);

    // The icon resource of a label: by type token, else the folder icons (open when selected).
    static int IconResourceFor(const QString& label, bool selected);
    static bool IsTypeToken(const QString& label);

    // A type item shows how many files of it were found: "JPG (12,345)". Its label stays "JPG".
    static void SetCount(QTreeWidgetItem* item, quint64 count);
    // What the item shows: its label, with its count when it has one.
    static QString DisplayedLabel(const QTreeWidgetItem* item);
    static QString ShownLabel(const QString& label, const QVariant& count);

    bool CountsAsChecked(const QTreeWidgetItem* item) const;
    void SetCheckedSubtree(QTreeWidgetItem* item, bool checked);
    void UpdateAncestors(QTreeWidgetItem* item);
    bool IsBold(const QTreeWidgetItem* item) const { return item->font(0).bold(); }

    // The labels from the root down to the item, each followed by a separator, relative to the
    // current directory: "Found File Type/JPG/".
    static QString FolderPath(const QTreeWidgetItem* item);

    // The right-click menu of an item, as it would be shown; the caller owns it.
    QMenu* BuildContextMenu(QTreeWidgetItem* item);
    void RunCommand(int command, QTreeWidgetItem* item);

    // Adds a child for every sub-folder of the item's folder path that has none yet (run before
    // the right-click menu is shown).
    void ListSubFolders(QTreeWidgetItem* item);

    // What opens a folder path (the desktop's launcher by default).
    void SetFolderOpener(std::function<void(const QString&)> open) { openFolder_ = std::move(open); }

signals:
    // A type label was clicked: build its thumbnails.
    void TypeClicked(const QString& token);
    // A card folder's item was clicked: show the files the card kept there.
    void CardFolderClicked(const QString& folder);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void SetChecked(QTreeWidgetItem* item, bool checked);

    std::function<void(const QString&)> openFolder_;
};

}  // namespace quorvex::preview
