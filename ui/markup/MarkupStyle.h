#pragma once

#include "MarkupGeometry.h"

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace quorvex::markup {

enum class HorizontalAlign { Left = 0, Center = 1, Right = 2, Justify = 3 };
enum class VerticalAlign { Baseline, Top, Middle, Bottom };
enum class TextTransform { None, Uppercase, Lowercase, Capitalize };
enum class BorderStyle { None = 0, Solid = 1, Dashed = 2, Dotted = 3, Double = 6 };
enum class LinkKind { None = 0, Open = 1, Message = 2 };

// The current style of a layout pass: what the markup's tags, attributes and rules set.
struct StyleState {
    std::string styleName;
    int fontSize = 16;  // pixels: the font's cell height (ascent + descent)
    int fontWeight = 400;
    bool italic = false;
    bool underline = false;
    bool strikeout = false;
    bool overline = false;
    std::string fontFace = "Verdana";
    Colorref textColor = 0x000000;
    bool opaqueBackground = false;
    Colorref backgroundColor = 0xFFFFFF;
    Colorref backgroundMidColor = 0xFFFFFF;
    Colorref backgroundEndColor = 0xFFFFFF;
    int backgroundEffect = -1;
    std::string backgroundImage;
    Colorref borderLight = 0x000000;
    Colorref borderDark = 0x000000;
    BorderStyle borderStyle = BorderStyle::None;
    int borderWidth = 0;
    int width = 0;   // of a table or cell, pixels
    int height = 0;
    bool widthIsPercent = false;
    bool heightIsPercent = false;
    int cellPadding = 2;
    int cellSpacing = 0;
    HorizontalAlign align = HorizontalAlign::Left;
    VerticalAlign verticalAlign = VerticalAlign::Baseline;
    TextTransform transform = TextTransform::None;
    LinkKind linkKind = LinkKind::None;
    std::string linkTarget;
};

// The names of the 28 system colours, in the order SystemColorProvider is asked for them.
enum class SystemColor {
    ActiveBorder, ActiveCaption, AppWorkspace, Background, ButtonFace, ButtonHighlight, ButtonShadow,
    ButtonText, CaptionText, GrayText, Highlight, HighlightText, InactiveBorder, InactiveCaption,
    InactiveCaptionText, InfoBackground, InfoText, Menu, MenuText, Scrollbar, ThreeDDarkShadow, ThreeDFace,
    ThreeDHighlight, ThreeDLightShadow, ThreeDShadow, Window, WindowFrame, WindowText,
};
inline constexpr int kSystemColorCount = 28;

// Answers the desktop's colour for a system colour; the GUI derives them from its palette.
using SystemColorProvider = std::function<Colorref(SystemColor)>;

// The classic desktop colours, for use without a GUI.
Colorref ClassicSystemColor(SystemColor color);

// The 140 named colours and the 28 system colours, read from the provider when made.
class ColorNames {
public:
    explicit ColorNames(const SystemColorProvider& provider = ClassicSystemColor);
    std::optional<Colorref> Find(std::string_view name) const;
    std::size_t Count() const { return colors_.size(); }

private:
    std::map<std::string, Colorref, std::less<>> colors_;
};

// What length units are measured against.
struct LengthContext {
    int dpiY = 96;
    int fontHeight = 16;  // the current font's height (em)
    int xHeight = 8;      // the height of the letter x in the current font (ex)
};

// A colour value: "" keeps `previous`; "#rrggbb" (exactly seven characters); a number in C
// notation taken as 0x00BBGGRR; or a colour name (unknown names keep `previous`).
Colorref ParseColor(std::string_view value, Colorref previous, const ColorNames& names);

// A length: "" keeps `previous`; "N%" is N percent of `previous` (rounded as MulDiv); otherwise
// the number (a leading sign is dropped) in the unit of its last two characters: px, ex, em, in,
// cm, mm, pt, pc, or pixels without a unit. With `htmlSizes`, unitless 1..7 are the HTML font
// sizes 8, 10, 12, 14, 18, 24, 36.
int ParseLength(std::string_view value, int previous, const LengthContext& context, bool htmlSizes);

// "normal"/"" 400, "bold" 700, "bolder" 900, "lighter" 100, otherwise the number.
int ParseWeight(std::string_view value);

// An effect name ("vbump") or number; "" keeps `previous`; "transparent" is -1.
int ParseEffect(std::string_view value, int previous);

// "none"/"" none, "solid", "dashed", "dotted", "double"; anything else keeps `previous`.
BorderStyle ParseBorderStyle(std::string_view value, BorderStyle previous);

// MulDiv: value * numerator / denominator, rounded half away from zero.
int MulDiv(int value, int numerator, int denominator);

// The tag table: kind number and style name of every tag the markup knows.
struct TagInfo {
    int kind;
    std::string_view styleName;  // empty for element tags
};
std::optional<TagInfo> FindTag(std::string_view name);

namespace tag {
inline constexpr int kBold = 1, kItalic = 2, kUnderline = 3, kStrikeout = 4, kFont = 5, kRule = 6, kBreak = 7,
                     kTab = 8, kLeft = 9, kCenter = 10, kRight = 11, kJustify = 12, kBaseline = 13, kTop = 14,
                     kVCenter = 15, kBottom = 16, kBitmap = 17, kIcon = 18, kImageList = 19, kString = 20,
                     kSheetRule = 21, kSpan = 22, kLink = 23;
}

}  // namespace quorvex::markup
