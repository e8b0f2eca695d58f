#include "StyleSheet.h"

#include <algorithm>
#include <cctype>

namespace quorvex::markup {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string Lowered(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::string_view Trimmed(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

void ApplyBorderWidth(StyleState& style, int width)
{
    style.borderWidth = std::max(0, width);
    if (style.borderWidth == 0)
        style.borderStyle = BorderStyle::None;
    else if (style.borderStyle == BorderStyle::None)
        style.borderStyle = BorderStyle::Solid;
}

}  // namespace

const std::string& StyleSheet::DefaultText()
{
    static const std::string text =
        "body {font-size: 10pt; color:black; font-family:Verdana}\r\n"
        "p {font-size: 10pt; color:black; font-family:Verdana; font-weight:bold}\r\n"
        "h1 {font-size: 14pt; color:black; font-family:Verdana; font-weight:bold}\r\n"
        "h2 {font-size: 13pt; color:#ff9900; font-family:Verdana; font-weight:bold}\r\n"
        "h3 {font-size: 12pt; color:#ff9900; font-family:Arial; font-weight:bold}\r\n"
        "h4 {font-size: 10pt; color:black; font-family:Verdana; font-weight:bold}\r\n"
        "h5 {font-size: 9pt; color:#ff9900; font-family:Verdana; font-weight:bold}\r\n"
        "h6 {font-size: 65%; color:#626262; font-family:Verdana; font-weight:normal}\r\n"
        "pre {font-size: 9pt; font-family:\"Courier\"; background-color:#fbedbb}\r\n"
        "code {color:#990000; font-family:Arial}\r\n"
        "a:link {text-decoration:none; color:blue}\r\n"
        "a:hover {text-decoration:underline; color:blue}\r\n"
        "sub {font-size:65%; vertical-align:bottom}\r\n"
        "sup {font-size:65%; vertical-align:top}\r\n"
        "big {font-size:125%}\r\n"
        "small {font-size:75%}\r\n"
        ".cpp-comment {color:green; font-style:italic}\r\n";
    return text;
}

StyleSheet StyleSheet::Default()
{
    static const StyleSheet sheet = Parse(DefaultText());
    return sheet;
}

StyleSheet StyleSheet::Parse(std::string_view text)
{
    StyleSheet sheet;
    std::size_t p = 0;
    while (p < text.size()) {
        while (p < text.size() && IsBlank(text[p]))
            ++p;
        if (p >= text.size())
            break;
        const std::size_t selectorStart = p;
        while (p < text.size() && !IsBlank(text[p]) && text[p] != '{')
            ++p;
        std::string selector = Lowered(text.substr(selectorStart, p - selectorStart));
        const std::size_t open = text.find('{', p);
        if (open == std::string_view::npos)
            break;
        const std::size_t close = text.find('}', open + 1);
        const std::size_t end = close == std::string_view::npos ? text.size() : close;
        std::string declarations(text.substr(open + 1, end - open - 1));
        p = close == std::string_view::npos ? text.size() : close + 1;
        if (selector.empty())
            continue;
        const auto existing = std::find_if(sheet.rules_.begin(), sheet.rules_.end(),
                                           [&](const auto& rule) { return rule.first == selector; });
        if (existing != sheet.rules_.end())
            existing->second = std::move(declarations);
        else
            sheet.rules_.emplace_back(std::move(selector), std::move(declarations));
    }
    return sheet;
}

const std::string* StyleSheet::Find(std::string_view selector) const
{
    for (const auto& [name, declarations] : rules_)
        if (name == selector)
            return &declarations;
    return nullptr;
}

void ApplyFontStyleValue(StyleState& style, std::string_view value)
{
    if (value.empty() || value == "normal")
        style.italic = false;
    else if (value == "italic" || value == "oblique")
        style.italic = true;
}

void ApplyTextDecoration(StyleState& style, std::string_view value)
{
    if (Trimmed(value).empty()) {
        style.underline = style.strikeout = style.overline = false;
        return;
    }
    std::size_t p = 0;
    while (p < value.size()) {
        while (p < value.size() && (IsBlank(value[p]) || value[p] == ','))
            ++p;
        const std::size_t start = p;
        while (p < value.size() && !IsBlank(value[p]) && value[p] != ',')
            ++p;
        const std::string_view word = value.substr(start, p - start);
        if (word == "none")
            style.underline = style.strikeout = style.overline = false;
        else if (word == "underline")
            style.underline = true;
        else if (word == "line-through")
            style.strikeout = true;
        else if (word == "overline")
            style.overline = true;
    }
}

void ApplyDeclarations(StyleState& style, std::string_view declarationText, const ColorNames& colors,
                       const LengthContext& lengths)
{
    const std::string text = Lowered(declarationText);
    std::size_t p = 0;
    while (p < text.size()) {
        while (p < text.size() && (IsBlank(text[p]) || text[p] == ';'))
            ++p;
        const std::size_t nameStart = p;
        while (p < text.size() && !IsBlank(text[p]) && text[p] != ':' && text[p] != ';')
            ++p;
        const std::string_view name = std::string_view(text).substr(nameStart, p - nameStart);
        while (p < text.size() && (IsBlank(text[p]) || text[p] == ':'))
            ++p;
        const std::size_t valueEnd = std::min(text.find(';', p), text.size());
        std::string_view value = Trimmed(std::string_view(text).substr(p, valueEnd - p));
        p = valueEnd;
        if (name.empty())
            continue;

        if (name == "font-size") {
            style.fontSize = ParseLength(value, style.fontSize, lengths, true);
        } else if (name == "font-family") {
            if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
                value = value.substr(1, value.size() - 2);
            if (!value.empty())
                style.fontFace = std::string(value);
        } else if (name == "font-style") {
            ApplyFontStyleValue(style, value);
        } else if (name == "font-weight") {
            style.fontWeight = ParseWeight(value);
        } else if (name == "text-align") {
            if (value.empty() || value == "left")
                style.align = HorizontalAlign::Left;
            else if (value == "center")
                style.align = HorizontalAlign::Center;
            else if (value == "right")
                style.align = HorizontalAlign::Right;
        } else if (name == "text-transform") {
            if (value.empty() || value == "none")
                style.transform = TextTransform::None;
            else if (value == "uppercase")
                style.transform = TextTransform::Uppercase;
            else if (value == "lowercase")
                style.transform = TextTransform::Lowercase;
            else if (value == "capitalize")
                style.transform = TextTransform::Capitalize;
        } else if (name == "color") {
            style.textColor = ParseColor(value, style.textColor, colors);
        } else if (name == "background-color") {
            if (value == "transparent") {
                style.opaqueBackground = false;
            } else {
                style.opaqueBackground = true;
                style.backgroundColor = ParseColor(value, style.backgroundColor, colors);
            }
        } else if (name == "text-decoration") {
            ApplyTextDecoration(style, value);
        } else if (name == "vertical-align") {
            if (value.empty() || value == "baseline")
                style.verticalAlign = VerticalAlign::Baseline;
            else if (value == "middle" || value == "vcenter")
                style.verticalAlign = VerticalAlign::Middle;
            else if (value == "top")
                style.verticalAlign = VerticalAlign::Top;
            else if (value == "bottom")
                style.verticalAlign = VerticalAlign::Bottom;
        } else if (name == "border-color") {
            style.borderLight = style.borderDark = ParseColor(value, style.borderLight, colors);
        } else if (name == "border-width" || name == "size") {
            if (value == "thin")
                ApplyBorderWidth(style, style.borderWidth * 3 / 4);
            else if (value == "thick")
                ApplyBorderWidth(style, style.borderWidth * 5 / 4);
            else if (value != "medium")
                ApplyBorderWidth(style, ParseLength(value, style.borderWidth, lengths, false));
        } else if (name == "border-style") {
            style.borderStyle = ParseBorderStyle(value, style.borderStyle);
            if (style.borderStyle != BorderStyle::None && style.borderWidth == 0)
                style.borderWidth = 1;
        } else if (name == "margin") {
            style.cellPadding = ParseLength(value, style.cellPadding, lengths, false);
        } else if (name == "padding") {
            style.cellSpacing = ParseLength(value, style.cellSpacing, lengths, false);
        }
    }
}

}  // namespace quorvex::markup
