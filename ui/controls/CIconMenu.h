#pragma once

#include <QMenu>
#include <QPixmap>
#include <QString>
#include <memory>
#include <vector>

namespace quorvex::controls {

// Menu flags of AppendEntry, as the window library's menus take them.
namespace menuflag {
inline constexpr unsigned kGrayed = 0x0001, kDisabled = 0x0002, kChecked = 0x0008, kSeparator = 0x0800;
}

// A drop-down menu whose entries it draws itself (draw style 3): a pale blue-white background,
// a 16 × 16 picture in a 20-pixel square left of each label, shortcuts in a 60-pixel strip at the
// right, and a blue bar under the entry the mouse is on. Every entry is as large as the menu's
// entry width and height were when it was appended; separators are that wide and 6 high.
class CIconMenu : public QMenu {
    Q_OBJECT
public:
    struct Entry {
        QString label;     // the text before the first tab
        QString shortcut;  // the text after it, or empty
        QPixmap picture;   // 16 × 16, or null
        int userValue = 0;
        int width = 0, height = 0;
        bool separator = false;
        QAction* action = nullptr;
    };

    static const QColor kBackground;  // B: red 223, green 240, blue 248
    static const QColor kHighlight;   // H: red 0, green 162, blue 232
    static const QColor kCheckMark;   // red 64, green 64, blue 128

    explicit CIconMenu(const QString& title = QString(), QWidget* parent = nullptr);
    ~CIconMenu() override;

    void SetEntryHeight(int height) { entryHeight_ = height; }
    void SetEntryWidth(int width) { entryWidth_ = width; }
    void SetDrawStyle(int style) { drawStyle_ = style; }
    int DrawStyle() const { return drawStyle_; }

    // Appends an entry: `text` is split at its first tab into label and shortcut; the picture is
    // the bitmap resource `bitmapResource` (0 for none). Returns the entry's action, whose
    // triggering emits EntryChosen(commandId).
    QAction* AppendEntry(unsigned flags, int commandId, const QString& text, int bitmapResource, int userValue);

    const std::vector<Entry>& Entries() const { return entries_; }
    // The entry record drawn for an action, or null.
    const Entry* EntryFor(const QAction* action) const;

signals:
    void EntryChosen(int commandId);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void DrawEntry(QPainter& painter, const Entry& entry, const QRect& r, bool selected) const;

    int drawStyle_ = 1;
    int entryWidth_ = 25;
    int entryHeight_ = 32;
    std::vector<Entry> entries_;
    std::unique_ptr<class IconMenuStyle> style_;
};

}  // namespace quorvex::controls
