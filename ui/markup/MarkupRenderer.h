#pragma once

#include "MarkupCanvas.h"
#include "MarkupImages.h"
#include "MarkupStyle.h"
#include "MarkupText.h"
#include "StyleSheet.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quorvex::markup {

// One line of flowing text as the measure pass found it; the draw pass reads it back.
struct LineRecord {
    int fixedWidth = 0;   // pixels of everything sized in pixels
    int height = 0;       // largest ascent or image height, then the descent added at the line's end
    int descent = 0;      // largest descent
    int percent = 0;      // sum of the percentages of rules sized in percent
    HorizontalAlign align = HorizontalAlign::Left;
    int blanks = 0;       // blanks on the line, over which a justified line spreads its spare width
    bool wrapped = false; // the line ended by wrapping (only such lines are justified)
};

// A piece of a link as drawn: the rectangle (edges included), the link's kind, index and target.
struct LinkArea {
    Rect bounds;  // left, top inclusive; right, bottom inclusive
    LinkKind kind = LinkKind::None;
    int index = -1;
    std::string target;
};

// Lays out and draws markup text. Every use is a measure pass (Measure), which records lines and
// tables, and draw passes (Draw) that place everything from those records. The renderer keeps
// the link areas of the last draw and answers hover and click tests for them.
class MarkupRenderer {
public:
    static constexpr int kNoLink = -2;

    explicit MarkupRenderer(const SystemColorProvider& systemColors = ClassicSystemColor);
    ~MarkupRenderer();
    MarkupRenderer(const MarkupRenderer&) = delete;
    MarkupRenderer& operator=(const MarkupRenderer&) = delete;

    // Prepares `text`, lays it out and returns the block's size: 0 × 0 for a text that shows
    // nothing (the text is then forgotten), else the content size + 1 in both directions. With a
    // maximum width set, lines wrap there and the width never exceeds it.
    Size Measure(MarkupCanvas& canvas, std::string_view text);

    // Draws the measured text with its block at the rectangle's top-left, aligned in its width.
    void Draw(MarkupCanvas& canvas, const Rect& rect);

    // Over a link: updates the hovered link (notifying the host once on entry and once on leaving)
    // and answers whether the hand cursor should be shown (links with a target only).
    bool CursorTest(Point point);
    // A click: opens an "href" target or hands a "msg" target to the notify callback.
    void Click(Point point);

    void SetMaximumWidth(int width) { maximumWidth_ = width < 0 ? 0 : width; }
    void SetNewlineMode(bool on) { newlineMode_ = on; }
    // With colour mode off every colour is `replacement` and nothing has a background.
    void SetColorMode(bool on) { colorMode_ = on; }
    void SetReplacementColor(Colorref color) { replacementColor_ = color; }
    // Replaces the style sheet; nullopt restores the default one.
    void SetStyleSheet(std::optional<std::string_view> text);
    void SetImageProvider(MarkupImageProvider* provider) { images_ = provider; }
    void SetImageList(std::vector<ArgbImage> frames) { imageList_ = std::move(frames); }
    void SetImageShadow(int offsetX, int offsetY, int darknessPercent, bool soft, int blurX, int blurY);
    void SetTabWidth(int pixels) { tabWidth_ = pixels > 0 ? pixels : 32; }

    // Called with the hovered link's index (or kNoLink) when the hovered link changes.
    void SetHost(std::function<void(int)> redraw) { redraw_ = std::move(redraw); }
    // Receives the target of a clicked "msg" link.
    void SetNotify(std::function<void(const std::string&)> notify) { notify_ = std::move(notify); }
    // Opens the target of a clicked "href" link (the desktop's launcher in the GUI).
    void SetOpener(std::function<void(const std::string&)> open) { open_ = std::move(open); }

    const std::vector<LineRecord>& Lines() const { return lines_; }
    const std::vector<LinkArea>& LinkAreas() const { return linkAreas_; }
    int HoveredLink() const { return hoveredLink_; }
    const ColorNames& Colors() const { return colors_; }

private:
    struct Pass;
    struct Flow;
    struct TableRecord;
    struct TableSyntax;

    Size RunPass(Pass& pass, const Rect& area);
    Size LayoutBlock(Pass& pass, std::size_t begin, std::size_t end, int left, int top, int areaWidth,
                     int wrapWidth, int depth);
    Size LayoutFlow(Pass& pass, std::size_t begin, std::size_t end, int left, int top, int areaWidth, int wrapWidth);
    Size LayoutTable(Pass& pass, const TableSyntax& table, int left, int top, int areaWidth, int depth);
    TableSyntax ParseTable(std::size_t begin, std::size_t end) const;
    std::size_t MatchingTableEnd(std::size_t begin, std::size_t end) const;

    void HandleTag(Pass& pass, Flow& flow, const MarkupTag& tag);
    void PlaceText(Pass& pass, Flow& flow, std::string text);
    void PlacePiece(Pass& pass, Flow& flow, std::string_view piece, int width);
    void PlaceImage(Pass& pass, Flow& flow, const MarkupTag& tag, ImageTagKind kind);
    void PlaceRule(Pass& pass, Flow& flow, const MarkupTag& tag);
    void PlaceTab(Pass& pass, Flow& flow, int count);
    void StartLine(Pass& pass, Flow& flow);
    void EndLine(Pass& pass, Flow& flow, int breaks, bool wrapped);

    void OpenStyleTag(Pass& pass, const MarkupTag& tag, const TagInfo& info);
    void CloseStyleTag(Pass& pass, const TagInfo& info);
    void ApplyRule(Pass& pass, std::string_view selector);
    void ApplyCellAttributes(Pass& pass, const MarkupTag& tag, bool isTable, int areaWidth);
    void SelectFont(Pass& pass);
    LengthContext Lengths(const Pass& pass) const;
    Colorref Resolve(Colorref color) const { return colorMode_ ? color : replacementColor_; }
    std::optional<ArgbImage> LoadImage(const MarkupTag& tag, ImageTagKind kind, bool& ownSize);
    void DrawBorder(MarkupCanvas& canvas, const Rect& rect, BorderStyle style, int width, Colorref first,
                    Colorref second);
    void RecordLink(Pass& pass, const Rect& bounds);

    ColorNames colors_;
    StyleSheet sheet_;
    std::string preparedText_;
    std::vector<MarkupToken> tokens_;
    std::vector<MarkupTag> tags_;  // the tag of every tag token, read once per text
    std::vector<LineRecord> lines_;
    std::vector<std::unique_ptr<TableRecord>> tables_;
    std::vector<LinkArea> linkAreas_;

    int maximumWidth_ = 0;
    bool newlineMode_ = true;
    bool colorMode_ = true;
    Colorref replacementColor_;
    int tabWidth_ = 32;
    int shadowX_ = 4, shadowY_ = 4, shadowDarkness_ = 50, blurX_ = 7, blurY_ = 7;
    bool shadowSoft_ = true;
    MarkupImageProvider* images_ = nullptr;
    std::vector<ArgbImage> imageList_;
    int hoveredLink_ = kNoLink;
    std::function<void(int)> redraw_;
    std::function<void(const std::string&)> notify_;
    std::function<void(const std::string&)> open_;
};

}  // namespace quorvex::markup
