#pragma once

#include "TypeSelection.h"

#include <QTableWidget>

class QLineEdit;

namespace quorvex::app {

// The file-type page's list: the group row "Graphics" and the eleven types, each with a check box,
// its prefix and its maximum size figure. Checking the group row checks every type; the group row
// is checked exactly when all types are. A click on a size cell opens a floating editor that
// commits only when it loses the focus, and only a text whose leading number is above 0.
class FileTypeList : public QTableWidget {
    Q_OBJECT
public:
    static constexpr int kGroupRow = 0;
    static constexpr int kTypeColumn = 0, kPrefixColumn = 1, kSizeColumn = 2;

    explicit FileTypeList(QWidget* parent = nullptr);

    // Writes prefix + token and the size into every type row; hand-edited sizes are replaced.
    void ApplySettingsToTypeList(const QString& prefixSetting, const QString& sizeSetting);
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
    void BuildTypeList();
    void OnCheckChanged(QTableWidgetItem* item);
    void OnSizeEditorKillFocus();

    QLineEdit* sizeEditor_;
    int editRow_ = -1, editColumn_ = -1;
    bool syncing_ = false;
};

}  // namespace quorvex::app
