// The markup language: text preparation, runs and tags, values, and the style sheet.
#include "MarkupStyle.h"
#include "MarkupText.h"
#include "StyleSheet.h"

#include <gtest/gtest.h>

using namespace quorvex::markup;

namespace {

std::vector<std::string> Describe(const std::vector<MarkupToken>& tokens)
{
    std::vector<std::string> out;
    for (const MarkupToken& t : tokens)
        out.push_back((t.kind == MarkupToken::Kind::Tag ? "<" : "\"") + t.text + (t.kind == MarkupToken::Kind::Tag ? ">" : "\""));
    return out;
}

}  // namespace

TEST(PrepareMarkupText, ReplacesEntitiesInTableOrderAndWrapsInBody)
{
    EXPECT_EQ(PrepareMarkupText("a &amp; b", true), "<body>a & b</body>");
    // "&amp;" first, then "&lt;": "&amp;lt;" becomes "&lt;" and then the escaped "<<".
    EXPECT_EQ(PrepareMarkupText("&amp;lt;", true), "<body><<</body>");
    EXPECT_EQ(PrepareMarkupText("&lt;b&gt;", true), "<body><<b></body>");
    EXPECT_EQ(PrepareMarkupText("&copy;&euro;&pound;&reg;&trade;&bull;&para;&iquest;&quot;&nbsp;", true),
              "<body>\u00A9\u20AC\u00A3\u00AE\u2122\u2022\u00B6\u00BF\" </body>");
    EXPECT_EQ(PrepareMarkupText("", true), "<body></body>");
}

TEST(PrepareMarkupText, NewlineModeTurnsLineFeedsAndTabsIntoTagsOrRemovesThem)
{
    EXPECT_EQ(PrepareMarkupText("a\r\nb\tc", true), "<body>a<br>b<t>c</body>");
    EXPECT_EQ(PrepareMarkupText("a\r\nb\tc", false), "<body>abc</body>");
}

TEST(TokenizeMarkup, CutsRunsAndTagsWithTheLessThanEscapes)
{
    EXPECT_EQ(Describe(TokenizeMarkup("x<b>y</b>")), (std::vector<std::string>{"\"x\"", "<b>", "\"y\"", "</b>"}));
    // "<<" is a literal "<", joined to the text around it.
    EXPECT_EQ(Describe(TokenizeMarkup("a<<b>c")), (std::vector<std::string>{"\"a<b>c\""}));
    // The "&lt;b&gt;" of a text shows the tag as text.
    EXPECT_EQ(Describe(TokenizeMarkup(PrepareMarkupText("&lt;b&gt;", true))),
              (std::vector<std::string>{"<body>", "\"<b>\"", "</body>"}));
    // A "<" at the very end is literal; a "<" without ">" is an empty tag running to the end.
    EXPECT_EQ(Describe(TokenizeMarkup("a<")), (std::vector<std::string>{"\"a<\""}));
    EXPECT_EQ(Describe(TokenizeMarkup("a<b c")), (std::vector<std::string>{"\"a\"", "<>"}));
}

TEST(ReadTag, ReadsClosingNameParametersAndAttributes)
{
    const MarkupTag font = ReadTag("font face=\"Courier New\" size='3'  color = red bold");
    EXPECT_FALSE(font.closing);
    EXPECT_EQ(font.name, "font");
    ASSERT_EQ(font.attributes.size(), 4u);
    EXPECT_EQ(*font.Attribute("face"), "Courier New");
    EXPECT_EQ(*font.Attribute("size"), "3");
    EXPECT_EQ(*font.Attribute("color"), "red");
    EXPECT_EQ(*font.Attribute("bold"), "");
    EXPECT_EQ(font.Attribute("weight"), nullptr);
    EXPECT_TRUE(ReadTag("/b").closing);
    EXPECT_EQ(ReadTag("/b").name, "b");
}

TEST(ReadTag, CountsOnlyANumberDirectlyAfterTheName)
{
    EXPECT_EQ(ReadTag("br=3").CountAfterName(1), 3);
    EXPECT_EQ(ReadTag("br 3").CountAfterName(1), 1);
    EXPECT_EQ(ReadTag("br =3").CountAfterName(1), 1);
    EXPECT_EQ(ReadTag("br").CountAfterName(1), 1);
    EXPECT_EQ(ReadTag("t=2").name, "t");
}

TEST(FindTag, KnowsTheTableAndItsSharedStyleNames)
{
    EXPECT_EQ(FindTag("em")->styleName, "italic");
    EXPECT_EQ(FindTag("i")->styleName, "italic");
    EXPECT_EQ(FindTag("bottom")->styleName, "vcenter");  // closes an open vcenter or middle
    EXPECT_EQ(FindTag("hr")->styleName, "");
    EXPECT_EQ(FindTag("a")->kind, tag::kLink);
    EXPECT_FALSE(FindTag("blink"));
    EXPECT_FALSE(FindTag("B"));  // names are lower case
    EXPECT_FALSE(FindTag("p"));  // a style-sheet selector, but no tag
}

TEST(ParseColor, ReadsHexNumbersAndNames)
{
    const ColorNames names;
    EXPECT_EQ(names.Count(), 168u);  // 140 named and 28 system colours
    EXPECT_EQ(ParseColor("#ff0000", 0x123456, names), 0x0000FFu);
    EXPECT_EQ(ParseColor("red", 0x123456, names), 0x0000FFu);
    EXPECT_EQ(ParseColor("#f00", 0x123456, names), 0x123456u);  // three digits keep the previous colour
    EXPECT_EQ(ParseColor("", 0x123456, names), 0x123456u);
    EXPECT_EQ(ParseColor("nosuchcolor", 0x123456, names), 0x123456u);
    EXPECT_EQ(ParseColor("Red", 0x123456, names), 0x123456u);  // names are matched in lower case only
    EXPECT_EQ(ParseColor("0x00FF00", 0, names), 0x00FF00u);
    EXPECT_EQ(ParseColor("255", 0, names), 255u);
    EXPECT_EQ(ParseColor("010", 0, names), 8u);  // C notation: a leading zero is octal
    EXPECT_EQ(ParseColor("#2a2a2a", 0, names), 0x2A2A2Au);
    EXPECT_EQ(ParseColor("lightgoldenrodyellow", 0, names), 0xD2FAFAu);
    EXPECT_EQ(ParseColor("buttonshadow", 0, names), ClassicSystemColor(SystemColor::ButtonShadow));
}

TEST(ColorNames, SystemColoursComeFromTheProvider)
{
    const ColorNames names([](SystemColor c) { return c == SystemColor::InfoBackground ? 0x010203u : 0u; });
    EXPECT_EQ(names.Find("infobackground"), 0x010203u);
    EXPECT_EQ(names.Find("window"), 0u);
}

TEST(ParseLength, UnitsPercentagesAndTheHtmlSizeTable)
{
    const LengthContext context{96, 20, 9};
    EXPECT_EQ(ParseLength("3", 16, context, true), 12);
    EXPECT_EQ(ParseLength("7", 16, context, true), 36);
    EXPECT_EQ(ParseLength("3", 16, context, false), 3);
    EXPECT_EQ(ParseLength("8", 16, context, true), 8);
    EXPECT_EQ(ParseLength("12pt", 16, context, true), 16);
    EXPECT_EQ(ParseLength("150%", 16, context, true), 24);
    EXPECT_EQ(ParseLength("15px", 0, context, false), 15);
    EXPECT_EQ(ParseLength("2em", 0, context, false), 40);
    EXPECT_EQ(ParseLength("2ex", 0, context, false), 18);
    EXPECT_EQ(ParseLength("1in", 0, context, false), 96);
    EXPECT_EQ(ParseLength("1pc", 0, context, false), 16);
    EXPECT_EQ(ParseLength("2cm", 0, context, false), 75);
    EXPECT_EQ(ParseLength("10mm", 0, context, false), 37);
    EXPECT_EQ(ParseLength("-5px", 0, context, false), 5);  // a sign is dropped
    EXPECT_EQ(ParseLength("", 42, context, false), 42);
}

TEST(ParseValues, WeightsEffectsAndBorderStyles)
{
    EXPECT_EQ(ParseWeight("normal"), 400);
    EXPECT_EQ(ParseWeight(""), 400);
    EXPECT_EQ(ParseWeight("bold"), 700);
    EXPECT_EQ(ParseWeight("bolder"), 900);
    EXPECT_EQ(ParseWeight("lighter"), 100);
    EXPECT_EQ(ParseWeight("600"), 600);
    EXPECT_EQ(ParseEffect("transparent", 3), -1);
    EXPECT_EQ(ParseEffect("vbump", 3), 12);
    EXPECT_EQ(ParseEffect("3hgradient", 3), 5);
    EXPECT_EQ(ParseEffect("metal", 3), 15);
    EXPECT_EQ(ParseEffect("7", 3), 7);
    EXPECT_EQ(ParseEffect("", 3), 3);
    EXPECT_EQ(ParseBorderStyle("double", BorderStyle::None), BorderStyle::Double);
    EXPECT_EQ(static_cast<int>(BorderStyle::Double), 6);
    EXPECT_EQ(ParseBorderStyle("groove", BorderStyle::Dotted), BorderStyle::Dotted);
    EXPECT_EQ(MulDiv(16, 150, 100), 24);
    EXPECT_EQ(MulDiv(5, 1, 2), 3);  // rounded
}

TEST(StyleSheet, TheDefaultSheetHasItsSeventeenRules)
{
    const StyleSheet sheet = StyleSheet::Default();
    EXPECT_EQ(sheet.RuleCount(), 17u);
    ASSERT_NE(sheet.Find("pre"), nullptr);
    EXPECT_NE(sheet.Find("pre")->find("\"Courier\""), std::string::npos);
    EXPECT_NE(sheet.Find(".cpp-comment"), nullptr);
    EXPECT_EQ(sheet.Find("p")->find("font-weight:bold") != std::string::npos, true);
}

TEST(StyleSheet, ParsesSelectorsLoweredAndLaterRulesReplaceEarlierOnes)
{
    const StyleSheet sheet = StyleSheet::Parse("  BODY {color:red}\nh1{font-size:20px} body {color:blue}");
    EXPECT_EQ(sheet.RuleCount(), 2u);
    EXPECT_EQ(*sheet.Find("body"), "color:blue");
    EXPECT_EQ(*sheet.Find("h1"), "font-size:20px");
}

TEST(ApplyDeclarations, SetsTheStyleFromEveryProperty)
{
    const ColorNames names;
    const LengthContext lengths{96, 16, 8};
    StyleState style;
    ApplyDeclarations(style,
                      "font-size: 10pt; COLOR:Red; font-family:\"Courier\"; font-weight:bold; font-style:italic;"
                      " text-decoration: underline, overline; text-transform:uppercase; text-align:center;"
                      " vertical-align:middle; background-color:#fbedbb; border-width:2px; border-color:navy;"
                      " margin:5px; padding:3px; unknown-thing: 7",
                      names, lengths);
    EXPECT_EQ(style.fontSize, 13);
    EXPECT_EQ(style.textColor, 0x0000FFu);  // the declarations are lowered before they are read
    EXPECT_EQ(style.fontFace, "courier");
    EXPECT_EQ(style.fontWeight, 700);
    EXPECT_TRUE(style.italic);
    EXPECT_TRUE(style.underline);
    EXPECT_TRUE(style.overline);
    EXPECT_FALSE(style.strikeout);
    EXPECT_EQ(style.transform, TextTransform::Uppercase);
    EXPECT_EQ(style.align, HorizontalAlign::Center);
    EXPECT_EQ(style.verticalAlign, VerticalAlign::Middle);
    EXPECT_TRUE(style.opaqueBackground);
    EXPECT_EQ(style.backgroundColor, 0xBBEDFBu);
    EXPECT_EQ(style.borderWidth, 2);
    EXPECT_EQ(style.borderStyle, BorderStyle::Solid);  // a width with style none makes it solid
    EXPECT_EQ(style.borderLight, 0x800000u);
    EXPECT_EQ(style.cellPadding, 5);  // margin is the padding
    EXPECT_EQ(style.cellSpacing, 3);  // padding is the spacing

    ApplyDeclarations(style, "background-color:transparent; text-decoration:none; border-width:0", names, lengths);
    EXPECT_FALSE(style.opaqueBackground);
    EXPECT_FALSE(style.underline);
    EXPECT_FALSE(style.overline);
    EXPECT_EQ(style.borderStyle, BorderStyle::None);
}

TEST(ApplyDeclarations, BorderWidthWordsScaleTheCurrentWidth)
{
    const ColorNames names;
    StyleState style;
    style.borderWidth = 8;
    style.borderStyle = BorderStyle::Solid;
    ApplyDeclarations(style, "border-width:thin", names, {});
    EXPECT_EQ(style.borderWidth, 6);
    ApplyDeclarations(style, "border-width:thick", names, {});
    EXPECT_EQ(style.borderWidth, 7);
    ApplyDeclarations(style, "border-width:medium", names, {});
    EXPECT_EQ(style.borderWidth, 7);
    StyleState dotted;
    ApplyDeclarations(dotted, "border-style:dotted", names, {});
    EXPECT_EQ(dotted.borderWidth, 1);
}
