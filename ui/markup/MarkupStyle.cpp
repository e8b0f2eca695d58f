#include "MarkupStyle.h"

#include <array>
#include <cmath>
#include <cstdlib>

namespace quorvex::markup {

namespace {

struct NamedColor {
    std::string_view name;
    Colorref value;
};

constexpr NamedColor kFixedColors[] = {
    {"aqua", 0xFFFF00}, {"black", 0x000000}, {"blue", 0xFF0000}, {"brown", 0x2A2AA5}, {"cyan", 0xFFFF00},
    {"gold", 0x00D7FF}, {"gray", 0x808080}, {"green", 0x008000}, {"magenta", 0xFF00FF}, {"maroon", 0x000080},
    {"navy", 0x800000}, {"olive", 0x008080}, {"orange", 0x00A5FF}, {"pink", 0xCBC0FF}, {"purple", 0x800080},
    {"red", 0x0000FF}, {"silver", 0xC0C0C0}, {"snow", 0xFAFAFF}, {"violet", 0xEE82EE}, {"white", 0xFFFFFF},
    {"yellow", 0x00FFFF}, {"aliceblue", 0xFFF8F0}, {"antiquewhite", 0xD7EBFA}, {"aquamarine", 0xD4FF7F},
    {"azure", 0xFFFFF0}, {"beige", 0xDCF5F5}, {"bisque", 0xC4E4FF}, {"blanchedalmond", 0xCDEBFF},
    {"blueviolet", 0xE22B8A}, {"burlywood", 0x87B8DE}, {"cadetblue", 0xA09E5F}, {"chartreuse", 0x00FF7F},
    {"chocolate", 0x1E69D2}, {"coral", 0x507FFF}, {"cornflowerblue", 0xED9564}, {"cornsilk", 0xDCF8FF},
    {"crimson", 0x3C14DC}, {"darkblue", 0x8B0000}, {"darkcyan", 0x8B8B00}, {"darkgoldenrod", 0x0B86B8},
    {"darkgray", 0xA9A9A9}, {"darkgreen", 0x006400}, {"darkkhaki", 0x6BB7BD}, {"darkmagenta", 0x8B008B},
    {"darkolivegreen", 0x2F6B55}, {"darkorange", 0x008CFF}, {"darkorchid", 0xCC3299}, {"darkred", 0x00008B},
    {"darksalmon", 0x7A96E9}, {"darkseagreen", 0x8BBC8F}, {"darkslateblue", 0x8B3D48},
    {"darkslategray", 0x4F4F2F}, {"darkturquoise", 0xD1CE00}, {"darkviolet", 0xD30094}, {"deeppink", 0x9314FF},
    {"deepskyblue", 0xFFBF00}, {"dimgray", 0x696969}, {"dodgerblue", 0xFF901E}, {"firebrick", 0x2222B2},
    {"floralwhite", 0xF0FAFF}, {"forestgreen", 0x228B22}, {"fuchsia", 0xFF00FF}, {"gainsboro", 0xDCDCDC},
    {"ghostwhite", 0xFFF8F8}, {"goldenrod", 0x20A5DA}, {"greenyellow", 0x2FFFAD}, {"honeydew", 0xF0FFF0},
    {"hotpink", 0xB469FF}, {"indianred", 0x5C5CCD}, {"indigo", 0x82004B}, {"ivory", 0xF0FFFF},
    {"khaki", 0x8CE6F0}, {"lavender", 0xFAE6E6}, {"lavenderblush", 0xF5F0FF}, {"lawngreen", 0x00FC7C},
    {"lemonchiffon", 0xCDFAFF}, {"lightblue", 0xE6D8AD}, {"lightcoral", 0x8080F0}, {"lightcyan", 0xFFFFE0},
    {"lightgoldenrodyellow", 0xD2FAFA}, {"lightgreen", 0x90EE90}, {"lightgrey", 0xD3D3D3},
    {"lightpink", 0xC1B6FF}, {"lightsalmon", 0x7AA0FF}, {"lightseagreen", 0xAAB220}, {"lightskyblue", 0xFACE87},
    {"lightslategray", 0x998877}, {"lightsteelblue", 0xDEC4B0}, {"lightyellow", 0xE0FFFF}, {"lime", 0x00FF00},
    {"limegreen", 0x32CD32}, {"linen", 0xE6F0FA}, {"mediumaquamarine", 0xAACD66}, {"mediumblue", 0xCD0000},
    {"mediumorchid", 0xD355BA}, {"mediumpurple", 0xDB7093}, {"mediumseagreen", 0x71B33C},
    {"mediumslateblue", 0xEE687B}, {"mediumspringgreen", 0x9AFA00}, {"mediumturquoise", 0xCCD148},
    {"mediumvioletred", 0x8515C7}, {"midnightblue", 0x701919}, {"mintcream", 0xFAFFF5}, {"mistyrose", 0xE1E4FF},
    {"moccasin", 0xB5E4FF}, {"navajowhite", 0xADDEFF}, {"oldlace", 0xE6F5FD}, {"olivedrab", 0x238E6B},
    {"orangered", 0x0045FF}, {"orchid", 0xD670DA}, {"palegoldenrod", 0xAAE8EE}, {"palegreen", 0x98FB98},
    {"paleturquoise", 0xEEEEAF}, {"palevioletred", 0x9370DB}, {"papayawhip", 0xD5EFFF}, {"peachpuff", 0xB9DAFF},
    {"peru", 0x3F85CD}, {"plum", 0xDDA0DD}, {"powderblue", 0xE6E0B0}, {"rosybrown", 0x8F8FBC},
    {"royalblue", 0xE16941}, {"saddlebrown", 0x13458B}, {"salmon", 0x7280FA}, {"sandybrown", 0x60A4F4},
    {"seagreen", 0x578B2E}, {"seashell", 0xEEF5FF}, {"sienna", 0x2D52A0}, {"skyblue", 0xEBCE87},
    {"slateblue", 0xCD5A6A}, {"slategray", 0x908070}, {"springgreen", 0x7FFF00}, {"steelblue", 0xB48246},
    {"tan", 0x8CB4D2}, {"teal", 0x808000}, {"thistle", 0xD8BFD8}, {"tomato", 0x4763FF}, {"turquoise", 0xD0E040},
    {"wheat", 0xB3DEF5}, {"whitesmoke", 0xF5F5F5}, {"yellowgreen", 0x32CD9A},
};

constexpr std::array<std::string_view, kSystemColorCount> kSystemColorNames = {
    "activeborder", "activecaption", "appworkspace", "background", "buttonface", "buttonhighlight",
    "buttonshadow", "buttontext", "captiontext", "graytext", "highlight", "highlighttext", "inactiveborder",
    "inactivecaption", "inactivecaptiontext", "infobackground", "infotext", "menu", "menutext", "scrollbar",
    "threeddarkshadow", "threedface", "threedhighlight", "threedlightshadow", "threedshadow", "window",
    "windowframe", "windowtext",
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

}  // namespace

Colorref ClassicSystemColor(SystemColor color)
{
    static constexpr std::array<Colorref, kSystemColorCount> kClassic = {
        0xC8D0D4, 0x6A240A, 0x808080, 0xA56E3A, 0xC8D0D4, 0xFFFFFF, 0x808080, 0x000000, 0xFFFFFF, 0x808080,
        0x6A240A, 0xFFFFFF, 0xC8D0D4, 0x808080, 0xC8D0D4, 0xE1FFFF, 0x000000, 0xC8D0D4, 0x000000, 0xC8D0D4,
        0x404040, 0xC8D0D4, 0xFFFFFF, 0xC8D0D4, 0x808080, 0xFFFFFF, 0x000000, 0x000000,
    };
    return kClassic[static_cast<std::size_t>(color)];
}

ColorNames::ColorNames(const SystemColorProvider& provider)
{
    for (const NamedColor& color : kFixedColors)
        colors_.emplace(std::string(color.name), color.value);
    for (int i = 0; i < kSystemColorCount; ++i)
        colors_[std::string(kSystemColorNames[static_cast<std::size_t>(i)])] = provider(static_cast<SystemColor>(i));
}

std::optional<Colorref> ColorNames::Find(std::string_view name) const
{
    const auto it = colors_.find(name);
    if (it == colors_.end())
        return std::nullopt;
    return it->second;
}

Colorref ParseColor(std::string_view value, Colorref previous, const ColorNames& names)
{
    if (value.empty())
        return previous;
    if (value.front() == '#') {
        if (value.size() != 7)
            return previous;
        int channels[3];
        for (int c = 0; c < 3; ++c) {
            const int high = HexDigit(value[static_cast<std::size_t>(1 + 2 * c)]);
            const int low = HexDigit(value[static_cast<std::size_t>(2 + 2 * c)]);
            if (high < 0 || low < 0)
                return previous;
            channels[c] = high * 16 + low;
        }
        return MakeColorref(channels[0], channels[1], channels[2]);
    }
    if (IsDigit(value.front())) {
        const std::string text(value);
        return static_cast<Colorref>(std::strtoul(text.c_str(), nullptr, 0));
    }
    return names.Find(value).value_or(previous);
}

int MulDiv(int value, int numerator, int denominator)
{
    if (denominator == 0)
        return -1;
    const long long product = static_cast<long long>(value) * numerator;
    const long long half = std::llabs(static_cast<long long>(denominator)) / 2;
    const bool negative = (product < 0) != (denominator < 0);
    const long long magnitude = (std::llabs(product) + half) / std::llabs(static_cast<long long>(denominator));
    return static_cast<int>(negative ? -magnitude : magnitude);
}

int ParseLength(std::string_view value, int previous, const LengthContext& context, bool htmlSizes)
{
    if (value.empty())
        return previous;
    if (value.back() == '%') {
        const std::string number(value.substr(0, value.size() - 1));
        return MulDiv(previous, static_cast<int>(std::strtol(number.c_str(), nullptr, 10)), 100);
    }
    if (value.front() == '+' || value.front() == '-')
        value.remove_prefix(1);
    const std::string text(value);
    char* end = nullptr;
    const double number = std::strtod(text.c_str(), &end);
    if (std::isnan(number) || std::isinf(number) || number > 1e6)
        return previous;
    const std::string_view unit = value.size() >= 2 ? value.substr(value.size() - 2) : std::string_view();
    const double dpi = context.dpiY;
    double pixels;
    if (unit == "px")
        pixels = number;
    else if (unit == "ex")
        pixels = number * context.xHeight;
    else if (unit == "em")
        pixels = number * context.fontHeight;
    else if (unit == "in")
        pixels = number * dpi;
    else if (unit == "cm")
        pixels = number * dpi * 0.39370078740157477;
    else if (unit == "mm")
        pixels = number * dpi * 0.03937007874015748;
    else if (unit == "pt")
        pixels = number * dpi / 72;
    else if (unit == "pc")
        pixels = number * dpi / 6;
    else {
        const int whole = static_cast<int>(number);
        if (htmlSizes && whole >= 1 && whole <= 7 && static_cast<double>(whole) == number) {
            static constexpr int kHtmlSizes[] = {8, 10, 12, 14, 18, 24, 36};
            return kHtmlSizes[whole - 1];
        }
        pixels = number;
    }
    return static_cast<int>(pixels);
}

int ParseWeight(std::string_view value)
{
    if (value.empty() || value == "normal")
        return 400;
    if (value == "bold")
        return 700;
    if (value == "bolder")
        return 900;
    if (value == "lighter")
        return 100;
    return static_cast<int>(std::strtol(std::string(value).c_str(), nullptr, 10));
}

int ParseEffect(std::string_view value, int previous)
{
    static constexpr std::pair<std::string_view, int> kNames[] = {
        {"transparent", -1}, {"solid", 0},      {"hgradient", 1},  {"vgradient", 2},   {"hcgradient", 3},
        {"vcgradient", 4},   {"3hgradient", 5}, {"3vgradient", 6}, {"noise", 7},       {"diagshade", 8},
        {"hshade", 9},       {"vshade", 10},    {"hbump", 11},     {"vbump", 12},      {"softbump", 13},
        {"hardbump", 14},    {"metal", 15},
    };
    if (value.empty())
        return previous;
    for (const auto& [name, effect] : kNames)
        if (name == value)
            return effect;
    return static_cast<int>(std::strtol(std::string(value).c_str(), nullptr, 10));
}

BorderStyle ParseBorderStyle(std::string_view value, BorderStyle previous)
{
    if (value.empty() || value == "none")
        return BorderStyle::None;
    if (value == "solid")
        return BorderStyle::Solid;
    if (value == "dashed")
        return BorderStyle::Dashed;
    if (value == "dotted")
        return BorderStyle::Dotted;
    if (value == "double")
        return BorderStyle::Double;
    return previous;
}

std::optional<TagInfo> FindTag(std::string_view name)
{
    using namespace tag;
    static constexpr std::pair<std::string_view, TagInfo> kTags[] = {
        {"b", {kBold, "bold"}},
        {"i", {kItalic, "italic"}},
        {"em", {kItalic, "italic"}},
        {"u", {kUnderline, "underline"}},
        {"s", {kStrikeout, "strikeout"}},
        {"strike", {kStrikeout, "strikeout"}},
        {"font", {kFont, "font"}},
        {"hr", {kRule, ""}},
        {"br", {kBreak, ""}},
        {"\n", {kBreak, ""}},
        {"t", {kTab, ""}},
        {"\t", {kTab, ""}},
        {"left", {kLeft, "left"}},
        {"center", {kCenter, "center"}},
        {"right", {kRight, "right"}},
        {"justify", {kJustify, "justify"}},
        {"baseline", {kBaseline, "baseline"}},
        {"top", {kTop, "top"}},
        {"vcenter", {kVCenter, "vcenter"}},
        {"middle", {kVCenter, "vcenter"}},
        {"bottom", {kBottom, "vcenter"}},
        {"bmp", {kBitmap, ""}},
        {"icon", {kIcon, ""}},
        {"ilst", {kImageList, ""}},
        {"string", {kString, ""}},
        {"body", {kSheetRule, "body"}},
        {"h1", {kSheetRule, "h1"}},
        {"h2", {kSheetRule, "h2"}},
        {"h3", {kSheetRule, "h3"}},
        {"h4", {kSheetRule, "h4"}},
        {"h5", {kSheetRule, "h5"}},
        {"h6", {kSheetRule, "h6"}},
        {"code", {kSheetRule, "code"}},
        {"pre", {kSheetRule, "pre"}},
        {"big", {kSheetRule, "big"}},
        {"small", {kSheetRule, "small"}},
        {"sub", {kSheetRule, "sub"}},
        {"sup", {kSheetRule, "sup"}},
        {"span", {kSpan, "span"}},
        {"a", {kLink, "link"}},
    };
    for (const auto& [tagName, info] : kTags)
        if (tagName == name)
            return info;
    return std::nullopt;
}

}  // namespace quorvex::markup
