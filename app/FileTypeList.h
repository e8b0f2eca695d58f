#pragma once

#include "FileTypeInfo.h"
#include "TypeSelection.h"

#include <QTableWidget>
#include <string_view>
#include <vector>

class QLineEdit;

namespace quorvex::app {

// The file-type page's list: the group row "Graphics" and the eleven types, each with a check box,
// its prefix and its maximum size figure; in exact recovery also the groups of the types only it
// finds (Photos, Camera raw, Video, Sound) under them. Checking a group row checks the types of its
// group; a group row is checked exactly when all its types are. A click on a size cell opens a
// floating editor that commits only when it loses the focus, and only a text whose leading number
// is above 0.
class FileTypeList : public QTableWidget {
    Q_OBJECT
public:
    static constexpr int kGroupRow = 0;
    static constexpr int kTypeColumn = 0, kPrefixColumn = 1, kSizeColumn = 2;

    explicit FileTypeList(QWidget* parent = nullptr);

    // Writes prefix + token and the size into every type row; hand-edited sizes are replaced. Types
    // whose files outgrow the default size (videos, raws) get their own figure while the size is
    // the default one.
    void ApplySettingsToTypeList(const QString& prefixSetting, const QString& sizeSetting);
    // Shows the rows of exact recovery's own types, or hides them (they are then never selected).
    void SetExactRecovery(bool exact);
    void CheckAll();
    int CheckedTypeCount() const;
    bool IsChecked(int row) const;
    void SetChecked(int row, bool checked);
    // The ticked types in list order with their prefix and the leading number of their size.
    SelectedTypes CollectSelection() const;

    QLineEdit* SizeEditor() const { return sizeEditor_; }
    // What a mouse click (or double click) at `position` in the viewport does.
    void OnTypeListClick(const QPoint& position);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Row {
        const FileTypeInfo* type = nullptr;  // null for a group row
        std::string_view group;
        bool exactOnly = false;
    };

    void BuildTypeList();
    bool IsShownType(int row) const { return rows_[static_cast<std::size_t>(row)].type != nullptr && !isRowHidden(row); }
    int GroupRowOf(std::string_view group) const;
    void OnCheckChanged(QTableWidgetItem* item);
    void OnSizeEditorKillFocus();

    std::vector<Row> rows_;
    QLineEdit* sizeEditor_;
    int editRow_ = -1, editColumn_ = -1;
    bool syncing_ = false;
};

}  // namespace quorvex::app
