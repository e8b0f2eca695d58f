#pragma once

#include <QImage>
#include <QListView>

namespace quorvex::preview {

// The results list: 100 × 100 tiles with their names beneath, in rows that wrap, several of them
// selectable at once. Laid out as a flowing list of uniform items, which stays cheap for a type
// with a million found files (an icon-mode view keeps a record per item and lays out slower).
class FoundFileListView : public QListView {
    Q_OBJECT
public:
    explicit FoundFileListView(QWidget* parent = nullptr);

    // The rows of the model that are in view now (at least partly), first to last.
    std::pair<int, int> RowsInView() const;

    // What each row shows, in the words of a list of items.
    int Count() const;
    QString NameAt(int row) const;
    QString ToolTipAt(int row) const;
    QImage TileAt(int row) const;  // the tile drawn now (a blank one while the real one is made)
    void SelectRow(int row);
    bool IsSelected(int row) const;
};

}  // namespace quorvex::preview
