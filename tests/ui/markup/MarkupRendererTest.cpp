// Layout and drawing over the fake canvas: every character is half the font's height wide, the
// ascent three quarters of it. The default body font is 10pt = 13 px: characters 6 px wide,
// ascent 9, descent 4.
#include "FakeMarkupCanvas.h"
#include "MarkupRenderer.h"

#include <gtest/gtest.h>

using namespace quorvex::markup;

namespace {

struct Rendered {
    Size size;
    FakeMarkupCanvas canvas;
};

Size MeasureAndDraw(MarkupRenderer& renderer, FakeMarkupCanvas& canvas, std::string_view text, int drawWidth = -1)
{
    const Size size = renderer.Measure(canvas, text);
    canvas.ClearCalls();
    renderer.Draw(canvas, Rect{0, 0, drawWidth >= 0 ? drawWidth : size.width, size.height});
    return size;
}

const FakeMarkupCanvas::TextCall& TextNamed(const FakeMarkupCanvas& canvas, std::string_view text)
{
    for (const auto& call : canvas.texts)
        if (call.text == text)
            return call;
    ADD_FAILURE() << "no text \"" << text << "\" was drawn";
    static FakeMarkupCanvas::TextCall none{};
    return none;
}

}  // namespace

TEST(MarkupRendererSize, EmptyTextIsZeroAndDrawsNothing)
{
    MarkupRenderer renderer;
    FakeMarkupCanvas canvas;
    EXPECT_EQ(renderer.Measure(canvas, ""), (Size{0, 0}));
    renderer.Draw(canvas, Rect{0, 0, 100, 100});
    EXPECT_TRUE(canvas.texts.empty());
    EXPECT_EQ(renderer.Measure(canvas, "<b></b>"), (Size{0, 0}));
}

TEST(MarkupRendererSize, ANonEmptyTextIsOneLargerThanItsContentBothWays)
{
    MarkupRenderer renderer;
    FakeMarkupCanvas canvas;
    EXPECT_EQ(renderer.Measure(canvas, "abc"), (Size{3 * 6 + 1, 13 + 1}));
    EXPECT_EQ(renderer.Measure(canvas, "<br>"), (Size{0 + 1, 13 + 1}));
}

TEST(MarkupRendererWrap, NoMaximumWidthNeverWraps)
{
    MarkupRenderer renderer;
    FakeMarkupCanvas canvas;
    const std::string line(200, 'w');
    EXPECT_EQ(renderer.Measure(canvas, line + " " + line), (Size{401 * 6 + 1, 14}));
    EXPECT_EQ(renderer.Lines().size(), 1u);
}

TEST(MarkupRendererWrap, TwoWordsInAWidthForOneGiveTwoLines)
{
    MarkupRenderer renderer;
    renderer.SetMaximumWidth(40);
    FakeMarkupCanvas canvas;
    const Size size = MeasureAndDraw(renderer, canvas, "abcd efgh");
    EXPECT_EQ(size, (Size{4 * 6 + 1, 2 * 13 + 1}));
    ASSERT_EQ(canvas.texts.size(), 2u);
    EXPECT_EQ(canvas.texts[0].text, "abcd");
    EXPECT_EQ(canvas.texts[0].y, 0);
    EXPECT_EQ(canvas.texts[1].text, "efgh");
    EXPECT_EQ(canvas.texts[1].x, 0);
    EXPECT_EQ(canvas.texts[1].y, 13);
}

TEST(MarkupRendererWrap, AWordWiderThanTheWidthIsCutAfterWhatFits)
{
    MarkupRenderer renderer;
    renderer.SetMaximumWidth(40);  // six characters of 6 px
    FakeMarkupCanvas canvas;
    const Size size = MeasureAndDraw(renderer, canvas, "abcdefghijklmno");
    ASSERT_EQ(canvas.texts.size(), 3u);
    EXPECT_EQ(canvas.texts[0].text, "abcdef");
    EXPECT_EQ(canvas.texts[1].text, "ghijkl");
    EXPECT_EQ(canvas.texts[2].text, "mno");
    EXPECT_EQ(size, (Size{36 + 1, 3 * 13 + 1}));
}

TEST(MarkupRendererWrap, BreaksAfterPunctuationAndMovesAWholeRunWhenTheLineHasText)
{
    MarkupRenderer renderer;
    renderer.SetMaximumWidth(60);  // ten characters
    FakeMarkupCanvas canvas;
    MeasureAndDraw(renderer, canvas, "self-contained");
    ASSERT_GE(canvas.texts.size(), 2u);
    EXPECT_EQ(canvas.texts[0].text, "self-");
    EXPECT_EQ(canvas.texts[1].text, "contained");

    canvas.ClearCalls();
    MeasureAndDraw(renderer, canvas, "abcdefgh<b>xyzxyz</b>");
    ASSERT_EQ(canvas.texts.size(), 2u);
    EXPECT_EQ(canvas.texts[1].text, "xyzxyz");
    EXPECT_EQ(canvas.texts[1].x, 0);
    EXPECT_EQ(canvas.texts[1].y, 13);
}

TEST(MarkupRendererStyle, BoldNestedTwiceIsCappedAt900)
{
    MarkupRenderer renderer;
    FakeMarkupCanvas canvas;
    MeasureAndDraw(renderer, canvas, "a<b>b<b>c</b>d</b>e");
    EXPECT_EQ(TextNamed(canvas, "a").font.weight, 400);
    EXPECT_EQ(TextNamed(canvas, "b").font.weight, 800);
    EXPECT_EQ(TextNamed(canvas, "c").font.weight, 900);
    EXPECT_EQ(TextNamed(canvas, "d").font.weight, 800);
    EXPECT_EQ(TextNamed(canvas, "e").font.weight, 400);
}

TEST(MarkupRendererStyle, ClosingTagsRestoreOnlyAMatchingScope)
{
    MarkupRenderer renderer;
    FakeMarkupCanvas canvas;
    MeasureAndDraw(renderer, canvas, "<i>x</em>y");  // em closes i: both are "italic"
    EXPECT_TRUE(TextNamed(canvas, "x").font.italic);
    EXPECT_FALSE(TextNamed(canvas, "y").font.italic);

    canvas.ClearCalls();
    MeasureAndDraw(renderer, canvas, "<i><b>p</i>q</b>r");  // "</i>" with b on top does nothing
    EXPECT_EQ(TextNamed(canvas, "q").font.weight, 800);
    EXPECT_TRUE(TextNamed(canvas, "q").font.italic);
    EXPECT_TRUE(TextNamed(canvas, "r").font.italic);
    EXPECT_EQ(TextNamed(canvas, "r").font.weight, 400);
}

TEST(MarkupRendererStyle, FontTagColoursSizesAndFlags)
{
    MarkupRenderer renderer;
    FakeMarkupCanvas canvas;
    MeasureAndDraw(renderer, canvas,
                   "<font color=#ff0000>a</font><font color=red>b</font><font color=#f00>c</font>"
                   "<font size=3>d</font><font size=12pt>e</font><font size=150%>f</font>"
                   "<font style='bu-i'>g</font><font face=Courier weight=bolder>h</font>");
    EXPECT_EQ(TextNamed(canvas, "a").color, 0x0000FFu);
    EXPECT_EQ(TextNamed(canvas, "b").color, 0x0000FFu);
    EXPECT_EQ(TextNamed(canvas, "c").color, 0x000000u);
    EXPECT_EQ(TextNamed(canvas, "d").font.cellHeight, 12);
    EXPECT_EQ(TextNamed(canvas, "e").font.cellHeight, 16);
    EXPECT_EQ(TextNamed(canvas, "f").font.cellHeight, 20);  // 150 % of 13, rounded
    EXPECT_EQ(TextNamed(canvas, "g").font.weight, 700);
    EXPECT_TRUE(TextNamed(canvas, "g").font.underline);
    EXPECT_FALSE(TextNamed(canvas, "g").font.italic);
    EXPECT_EQ(TextNamed(canvas, "h").font.face, "Courier");
    EXPECT_EQ(TextNamed(canvas, "h").font.weight, 900);
}

TEST(MarkupRendererStyle, BackgroundsAreOpaqueUntilTransparent)
{
    MarkupRenderer renderer;
    renderer.SetStyleSheet("body {font-size:10pt} .clear {background-color:transparent} .paper {background-color:wheat}");
    FakeMarkupCanvas canvas;
    MeasureAndDraw(renderer, canvas,
                   "<font bkgnd=red>a<font bkgnd=transparent>b</font></font><span class=paper>c"
                   "<span class=clear>d</span></span>");
    EXPECT_EQ(TextNamed(canvas, "a").background, 0x0000FFu);
    EXPECT_EQ(TextNamed(canvas, "b").background, std::nullopt);
    EXPECT_EQ(TextNamed(canvas, "c").background, 0xB3DEF5u);
    EXPECT_EQ(TextNamed(canvas, "d").background, std::nullopt);
}

TEST(MarkupRendererStyle, ColourModeOffUsesTheReplacementAndNoBackgrounds)
{
    MarkupRenderer renderer;
    renderer.SetColorMode(false);
    renderer.SetReplacementColor(0x808080);
    FakeMarkupCanvas canvas;
    MeasureAndDraw(renderer, canvas, "<font color=red bkgnd=yellow>a</font>");
    EXPECT_EQ(TextNamed(canvas, "a").color, 0x808080u);
    EXPECT_EQ(TextNamed(canvas, "a").background, std::nullopt);
}

TEST(MarkupRendererStyle, UnknownTagsAndAttributesHaveNoEffect)
{
    MarkupRenderer renderer;
    FakeMarkupCanvas plain, odd;
    const Size a = MeasureAndDraw(renderer, plain, "abc");
    const Size b = MeasureAndDraw(renderer, odd, "<blink>a</blink><font zzz=1>b</font><p>c");
    EXPECT_EQ(a, b);
    ASSERT_EQ(odd.texts.size(), 3u);
    EXPECT_EQ(odd.texts[2].font, plain.texts[0].font);
}

TEST(MarkupRendererStyle, TextTransforms)
{
    MarkupRenderer renderer;
    renderer.SetStyleSheet("body {font-size:10pt} .u {text-transform:uppercase} .c {text-transform:capitalize}");
    FakeMarkupCanvas canvas;
    MeasureAndDraw(renderer, canvas, "<span class=u>shout</span> <span class=c>hELLO wORLD</span>");
    TextNamed(canvas, "SHOUT");
    TextNamed(canvas, "Hello World");
}

TEST(MarkupRendererLines, BreakCountsAndNewlineMode)
{
    MarkupRenderer renderer;
    FakeMarkupCanvas canvas;
    MeasureAndDraw(renderer, canvas, "a<br=3>b");
    EXPECT_EQ(TextNamed(canvas, "b").y, 3 * 13);
    canvas.ClearCalls();
    MeasureAndDraw(renderer, canvas, "a<br 3>b");
    EXPECT_EQ(TextNamed(canvas, "b").y, 13);

    canvas.ClearCalls();
    MeasureAndDraw(renderer, canvas, "a\nb");
    EXPECT_EQ(TextNamed(canvas, "b").y, 13);
    renderer.SetNewlineMode(false);
    canvas.ClearCalls();
    MeasureAndDraw(renderer, canvas, "a\nb");
    TextNamed(canvas, "ab");
}

TEST(MarkupRendererLines, TabsGoToTheNextStopOrSkipStopsWhenOnOne)
{
    MarkupRenderer renderer;
    FakeMarkupCanvas canvas;
    MeasureAndDraw(renderer, canvas, "a<t>b<t=2>c");
    EXPECT_EQ(TextNamed(canvas, "b").x, 32);
    EXPECT_EQ(TextNamed(canvas, "c").x, 96);  // from 38: to 64, then one stop further
    canvas.ClearCalls();
    MeasureAndDraw(renderer, canvas, "<t>x");
    EXPECT_EQ(TextNamed(canvas, "x").x, 32);  // already on the stop at 0: moves one stop
}

TEST(MarkupRendererLines, AlignmentCentresRightAlignsAndJustifiesWrappedLines)
{
    MarkupRenderer renderer;
    FakeMarkupCanvas canvas;
    MeasureAndDraw(renderer, canvas, "<center>ab</center>", 100);
    EXPECT_EQ(TextNamed(canvas, "ab").x, (100 - 12) / 2);
    canvas.ClearCalls();
    MeasureAndDraw(renderer, canvas, "<right>ab</right>", 100);
    EXPECT_EQ(TextNamed(canvas, "ab").x, 100 - 12);

    renderer.SetMaximumWidth(100);
    canvas.ClearCalls();
    // "aa bb cc dd ee" (84 px) fits and wraps: its 16 spare pixels go 4 to each of its 4 blanks.
    MeasureAndDraw(renderer, canvas, "<justify>aa bb cc dd ee ff gg hh</justify>", 100);
    EXPECT_EQ(TextNamed(canvas, "aa").x, 0);
    EXPECT_EQ(TextNamed(canvas, "bb").x, 12 + 6 + 4);
    EXPECT_EQ(TextNamed(canvas, "cc").x, 22 + 12 + 6 + 4);
    EXPECT_EQ(TextNamed(canvas, "ee").x, 100 - 12);
    EXPECT_EQ(TextNamed(canvas, "ff gg hh").y, 13);  // the last line did not wrap: not justified
    EXPECT_EQ(TextNamed(canvas, "ff gg hh").x, 0);
}

TEST(MarkupRendererLines, VerticalPlacementInATallLine)
{
    MarkupRenderer renderer;
    FakeMarkupCanvas canvas;
    // The 40 px font makes the line 30 + 10 high; 13 px text sits on the baseline by default.
    MeasureAndDraw(renderer, canvas, "<font size=40px>B</font>b<top>t</top><vcenter>m</vcenter><bottom>o</bottom>");
    EXPECT_EQ(TextNamed(canvas, "B").y, 0);
    EXPECT_EQ(TextNamed(canvas, "b").y, 40 - 9 - 10);
    EXPECT_EQ(TextNamed(canvas, "t").y, 0);
    EXPECT_EQ(TextNamed(canvas, "m").y, (40 - 13) / 2);
    EXPECT_EQ(TextNamed(canvas, "o").y, 40 - 9);
}

TEST(MarkupRendererRules, APercentRuleFollowsTheAreaWidth)
{
    MarkupRenderer renderer;
    FakeMarkupCanvas canvas;
    const Size size = MeasureAndDraw(renderer, canvas, "<font size=20px>aaaaaaaaaaaaaaaaaaaa</font><br><hr width=50%>", 200);
    EXPECT_EQ(size.width, 201);
    ASSERT_EQ(canvas.lines.size(), 1u);
    EXPECT_EQ(canvas.lines[0].to.x - canvas.lines[0].from.x, 100);
    EXPECT_EQ(canvas.lines[0].width, 1);
    // The rule's line is at least thickness + 8 high and the rule sits in its middle.
    EXPECT_EQ(canvas.lines[0].from.y, 20 + (1 + 8) / 2);
}

TEST(MarkupRendererLinks, HoverNotifiesOnceOnEntryAndOnceOnLeaving)
{
    MarkupRenderer renderer;
    std::vector<int> notices;
    renderer.SetHost([&](int link) { notices.push_back(link); });
    FakeMarkupCanvas canvas;
    MeasureAndDraw(renderer, canvas, "<a href=\"https://example.org\">link</a> plain");
    ASSERT_EQ(renderer.LinkAreas().size(), 1u);
    EXPECT_EQ(TextNamed(canvas, "link").color, 0xFF0000u);  // a:link is blue
    EXPECT_TRUE(renderer.CursorTest({5, 5}));
    EXPECT_TRUE(renderer.CursorTest({6, 6}));
    EXPECT_TRUE(renderer.CursorTest({23, 12}));  // the area's edges count
    EXPECT_FALSE(renderer.CursorTest({40, 5}));
    EXPECT_FALSE(renderer.CursorTest({45, 5}));
    EXPECT_EQ(notices, (std::vector<int>{0, MarkupRenderer::kNoLink}));

    // Hovered, the link draws with a:hover: underlined.
    renderer.CursorTest({5, 5});
    canvas.ClearCalls();
    renderer.Draw(canvas, Rect{0, 0, 100, 20});
    EXPECT_TRUE(TextNamed(canvas, "link").font.underline);
}

TEST(MarkupRendererLinks, ClicksOpenHrefsAndNotifyMsgsAndALinkWithoutEitherDoesNothing)
{
    MarkupRenderer renderer;
    std::vector<std::string> opened, notified;
    renderer.SetOpener([&](const std::string& t) { opened.push_back(t); });
    renderer.SetNotify([&](const std::string& t) { notified.push_back(t); });
    FakeMarkupCanvas canvas;
    MeasureAndDraw(renderer, canvas, "<a href=https://example.org/a>aa</a><a msg=details>bb</a><a>cc</a>");
    ASSERT_EQ(renderer.LinkAreas().size(), 3u);
    EXPECT_EQ(TextNamed(canvas, "cc").color, 0xFF0000u);  // still drawn as a link
    renderer.Click({2, 2});
    renderer.Click({14, 2});
    EXPECT_FALSE(renderer.CursorTest({26, 2}));  // no hand cursor without a target
    renderer.Click({26, 2});
    EXPECT_EQ(opened, (std::vector<std::string>{"https://example.org/a"}));
    EXPECT_EQ(notified, (std::vector<std::string>{"details"}));
    EXPECT_EQ(renderer.LinkAreas()[2].index, 2);
}

TEST(MarkupRendererTables, GridSpansColumnWidthsAndCellPositions)
{
    MarkupRenderer renderer;
    FakeMarkupCanvas canvas;
    // Cells are inset by padding 2 + border 1. Row 1: "ab" 18, "c" 12; row 2 spans both with
    // "defgh" 36: the 6 px missing are shared, 3 per column: columns 21 and 15.
    const Size size = MeasureAndDraw(
        renderer, canvas,
        "<table border=1 cellpadding=2><tr><td>ab</td><td>c</td></tr><tr><td colspan=2>defgh</td></tr></table>");
    EXPECT_EQ(size, (Size{21 + 15 + 1 + 2 + 1, 19 + 19 + 1 + 2 + 1}));
    EXPECT_EQ(TextNamed(canvas, "ab").x, 1 + 3);
    EXPECT_EQ(TextNamed(canvas, "ab").y, 1 + 3);
    EXPECT_EQ(TextNamed(canvas, "c").x, 1 + 21 + 1 + 3);
    EXPECT_EQ(TextNamed(canvas, "defgh").y, 1 + 19 + 1 + 3);
    // The table's border and three cell borders, four sides each.
    EXPECT_EQ(canvas.lines.size(), 16u);
}

TEST(MarkupRendererTables, TextAroundATableStacksDownwardsAndTheTableFillsTheArea)
{
    MarkupRenderer renderer;
    FakeMarkupCanvas canvas;
    const Size size = MeasureAndDraw(renderer, canvas,
                                     "top<table><tr><td bgcolor=yellow>x</td><td width=30>y</td></tr></table>end", 200);
    EXPECT_EQ(TextNamed(canvas, "top").y, 0);
    // Cells: padding 2, no border: "x" 10 × 17; "y" fixed at 30 + 4.
    EXPECT_EQ(size.height, 13 + 17 + 13 + 1);
    EXPECT_EQ(TextNamed(canvas, "end").y, 13 + 17);
    // The spare width goes to the column without a width: the fixed one keeps 34.
    EXPECT_EQ(TextNamed(canvas, "y").x, 200 - 34 + 2);
    ASSERT_FALSE(canvas.rects.empty());
    EXPECT_EQ(canvas.rects[0].color, 0x00FFFFu);  // the yellow cell's solid background
}

TEST(MarkupRendererTables, NestedTablesAndStrayTableTagsAreSafe)
{
    MarkupRenderer renderer;
    FakeMarkupCanvas canvas;
    MeasureAndDraw(renderer, canvas,
                   "<table><tr><td><table><tr><td>in</td></tr></table>out</td></tr></table></td></tr>after");
    TextNamed(canvas, "in");
    TextNamed(canvas, "out");
    TextNamed(canvas, "after");
    std::string deep;
    for (int i = 0; i < 200; ++i)
        deep += "<table><tr><td>";
    deep += "x";
    EXPECT_GT(renderer.Measure(canvas, deep).width, 0);
}

namespace {
class SolidImages : public MarkupImageProvider {
public:
    std::optional<ArgbImage> ResourceImage(ImageTagKind, int id) override
    {
        if (id != 7)
            return std::nullopt;
        ArgbImage image{4, 2, std::vector<std::uint32_t>(8, 0xFF336699)};
        image.pixels[0] = 0xFFFF00FF;  // the default mask colour
        return image;
    }
    std::optional<ArgbImage> FileImage(const std::string&) override { return std::nullopt; }
    std::optional<ArgbImage> HandleImage(std::uint64_t) override { return std::nullopt; }
    std::optional<std::string> ResourceString(int id) override
    {
        return id == 3 ? std::optional<std::string>("from the table") : std::nullopt;
    }
};
}  // namespace

TEST(MarkupRendererImages, SizesStylesMasksShadowsAndStrings)
{
    MarkupRenderer renderer;
    SolidImages images;
    renderer.SetImageProvider(&images);
    FakeMarkupCanvas canvas;
    const Size size = MeasureAndDraw(renderer, canvas, "<bmp idres=7 width=200%><bmp idres=7 style=g><bmp idres=99>");
    EXPECT_EQ(size.width, 8 + 4 + 1);
    ASSERT_EQ(canvas.images.size(), 2u);
    EXPECT_EQ(canvas.images[0].target, (Rect{0, 0, 8, 2}));  // a line of images only: the baseline is its bottom
    EXPECT_EQ(canvas.images[0].image.pixels[0], 0u);                 // the mask colour is transparent
    EXPECT_EQ(canvas.images[0].image.pixels[1], 0xFF336699u);
    const std::uint32_t grey = canvas.images[1].image.pixels[1];
    EXPECT_EQ((grey >> 16) & 0xFF, (grey >> 8) & 0xFF);
    EXPECT_EQ((grey >> 16) & 0xFF, (299 * 0x33 + 587 * 0x66 + 114 * 0x99) / 1000u);

    canvas.ClearCalls();
    const Size shadowed = MeasureAndDraw(renderer, canvas, "<bmp idres=7 style=s>");
    EXPECT_EQ(shadowed.width, 4 + 4 + 1);  // the box grows by the shadow's offset
    ASSERT_EQ(canvas.images.size(), 2u);   // the shadow first, then the picture
    EXPECT_EQ(canvas.images[0].image.pixels.size() > canvas.images[1].image.pixels.size(), true);

    canvas.ClearCalls();
    MeasureAndDraw(renderer, canvas, "<string idres=3>|<string idres=4>");
    TextNamed(canvas, "from the table");
}

TEST(ImageStyle, DarkerLighterAndStripFrames)
{
    const ArgbImage image{2, 1, {0xFF808080, 0xFFF0F0F0}};
    EXPECT_EQ(ApplyImageStyle(image, "d", std::nullopt).pixels[0], 0xFF606060u);
    EXPECT_EQ(ApplyImageStyle(image, "l", std::nullopt).pixels[1], 0xFFFFFFFFu);
    const ArgbImage strip{6, 2, {1, 1, 2, 2, 3, 3, 1, 1, 2, 2, 3, 3}};
    EXPECT_EQ(StripFrame(strip, 2, 2, 1).pixels, (std::vector<std::uint32_t>{2, 2, 2, 2}));
    EXPECT_TRUE(StripFrame(strip, 2, 2, 3).IsEmpty());
}
