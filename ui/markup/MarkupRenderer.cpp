#include "MarkupRenderer.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace quorvex::markup {

namespace {

constexpr int kMaxTableDepth = 16;       // deeper tables are laid out as plain text
constexpr std::size_t kMaxStyleDepth = 1024;  // further style tags are ignored
constexpr int kMaxRepeat = 1000;         // most line breaks or tab stops one tag may ask for
constexpr int kMaxExtent = 16384;        // largest width or height of a table, cell or image
constexpr int kMaxFontSize = 1000;
constexpr int kMaxSpan = 256;
constexpr long long kMaxEffectPixels = 16ll << 20;  // larger table backgrounds are left unpainted

bool IsBreakCharacter(char c)
{
    switch (c) {
    case ' ': case '-': case '.': case ',': case '!': case ':': case ';': case ')': case '}': case ']': case '?':
        return true;
    default:
        return false;
    }
}

std::string_view TrimBlanksRight(std::string_view text)
{
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    return text;
}

std::string_view TrimBlanksLeft(std::string_view text)
{
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    return text;
}

// The byte index just after the code point that starts at `at` in `text`.
std::size_t NextCodePoint(std::string_view text, std::size_t at)
{
    ++at;
    while (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80)
        ++at;
    return at;
}

int CountBlanks(std::string_view text) { return static_cast<int>(std::count(text.begin(), text.end(), ' ')); }

void ApplyTransform(std::string& text, TextTransform transform)
{
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
    switch (transform) {
    case TextTransform::None:
        return;
    case TextTransform::Uppercase:
        std::transform(text.begin(), text.end(), text.begin(), upper);
        return;
    case TextTransform::Lowercase:
        std::transform(text.begin(), text.end(), text.begin(), lower);
        return;
    case TextTransform::Capitalize:
        std::transform(text.begin(), text.end(), text.begin(), lower);
        for (std::size_t i = 0; i < text.size(); ++i)
            if (i == 0 || text[i - 1] == ' ')
                text[i] = upper(text[i]);
        return;
    }
}

}  // namespace

// ---- per-pass state

struct MarkupRenderer::Pass {
    bool drawing = false;
    MarkupCanvas* canvas = nullptr;
    StyleState style;
    struct Saved {
        StyleState style;
        std::string openedBy;  // the style name of the tag that saved it
    };
    std::vector<Saved> stack;
    FontMetrics metrics;
    int linkCounter = -1;
    std::size_t tableCounter = 0;
    std::size_t lineIndex = 0;
};

struct MarkupRenderer::Flow {
    int left = 0, top = 0, areaWidth = 0, wrapWidth = 0;
    int x = 0, y = 0;
    int used = 0;  // width taken on this line, without alignment or justification
    bool lineOpen = false;
    bool lineHasContent = false;
    int maxWidth = 0;
    LineRecord line;     // measure: the line being built; draw: the line read back
    int justifyExtra = 0;
    int blanksSeen = 0;
};

struct MarkupRenderer::TableRecord {
    struct Cell {
        int row = 0, column = 0, rowSpan = 1, columnSpan = 1;
        int width = 0, height = 0;     // including padding and border
        int contentHeight = 0;
        bool fixedWidth = false;
    };
    int rows = 0, columns = 0;
    std::vector<int> columnWidths, rowHeights;
    std::vector<bool> fixedColumns;
    std::vector<Cell> cells;
    Size outer;
};

struct MarkupRenderer::TableSyntax {
    struct Cell {
        std::size_t tag;
        std::size_t begin, end;  // content tokens
    };
    struct Row {
        std::size_t tag;
        std::vector<Cell> cells;
    };
    std::size_t tag = 0;
    std::vector<Row> rows;
};

// ---- set-up

MarkupRenderer::MarkupRenderer(const SystemColorProvider& systemColors)
    : colors_(systemColors), sheet_(StyleSheet::Default()),
      replacementColor_(systemColors(SystemColor::ButtonShadow))
{
}

MarkupRenderer::~MarkupRenderer() = default;

void MarkupRenderer::SetStyleSheet(std::optional<std::string_view> text)
{
    sheet_ = text ? StyleSheet::Parse(*text) : StyleSheet::Default();
}

void MarkupRenderer::SetImageShadow(int offsetX, int offsetY, int darknessPercent, bool soft, int blurX, int blurY)
{
    shadowX_ = offsetX;
    shadowY_ = offsetY;
    shadowDarkness_ = std::clamp(darknessPercent, 0, 100);
    shadowSoft_ = soft;
    blurX_ = blurX;
    blurY_ = blurY;
}

Size MarkupRenderer::Measure(MarkupCanvas& canvas, std::string_view text)
{
    preparedText_ = PrepareMarkupText(text, newlineMode_);
    tokens_ = TokenizeMarkup(preparedText_);
    tags_.assign(tokens_.size(), MarkupTag{});
    for (std::size_t i = 0; i < tokens_.size(); ++i)
        if (tokens_[i].kind == MarkupToken::Kind::Tag)
            tags_[i] = ReadTag(tokens_[i].text);
    lines_.clear();
    tables_.clear();

    Pass pass;
    pass.canvas = &canvas;
    Size size = RunPass(pass, Rect{0, 0, maximumWidth_, 0});
    if (size.width <= 0 && size.height <= 0) {
        preparedText_.clear();
        tokens_.clear();
        tags_.clear();
        return {0, 0};
    }
    if (maximumWidth_ > 0 && size.width > maximumWidth_)
        size.width = maximumWidth_;
    return {size.width + 1, size.height + 1};
}

void MarkupRenderer::Draw(MarkupCanvas& canvas, const Rect& rect)
{
    if (preparedText_.empty())
        return;
    linkAreas_.clear();
    Pass pass;
    pass.drawing = true;
    pass.canvas = &canvas;
    RunPass(pass, rect);
}

Size MarkupRenderer::RunPass(Pass& pass, const Rect& area)
{
    pass.style = StyleState{};
    ApplyRule(pass, "body");
    SelectFont(pass);
    return LayoutBlock(pass, 0, tokens_.size(), area.left, area.top, area.Width(), maximumWidth_, 0);
}

// ---- blocks: flowing parts and tables stacked downwards

std::size_t MarkupRenderer::MatchingTableEnd(std::size_t begin, std::size_t end) const
{
    int depth = 0;
    for (std::size_t i = begin; i < end; ++i) {
        if (tokens_[i].kind != MarkupToken::Kind::Tag || tags_[i].name != "table")
            continue;
        depth += tags_[i].closing ? -1 : 1;
        if (depth == 0)
            return i;
    }
    return end;
}

Size MarkupRenderer::LayoutBlock(Pass& pass, std::size_t begin, std::size_t end, int left, int top, int areaWidth,
                                 int wrapWidth, int depth)
{
    Size block;
    std::size_t partBegin = begin;
    std::size_t i = begin;
    auto addPart = [&](Size part) {
        block.width = std::max(block.width, part.width);
        block.height += part.height;
    };
    while (i < end) {
        const bool tableStart = depth < kMaxTableDepth && tokens_[i].kind == MarkupToken::Kind::Tag &&
                                tags_[i].name == "table" && !tags_[i].closing;
        if (!tableStart) {
            ++i;
            continue;
        }
        if (partBegin < i)
            addPart(LayoutFlow(pass, partBegin, i, left, top + block.height, areaWidth, wrapWidth));
        const std::size_t tableEnd = MatchingTableEnd(i, end);
        addPart(LayoutTable(pass, ParseTable(i, tableEnd), left, top + block.height, areaWidth, depth));
        i = tableEnd < end ? tableEnd + 1 : end;
        partBegin = i;
    }
    if (partBegin < end)
        addPart(LayoutFlow(pass, partBegin, end, left, top + block.height, areaWidth, wrapWidth));
    return block;
}

// ---- flowing text

Size MarkupRenderer::LayoutFlow(Pass& pass, std::size_t begin, std::size_t end, int left, int top, int areaWidth,
                                int wrapWidth)
{
    Flow flow;
    flow.left = flow.x = left;
    flow.top = flow.y = top;
    flow.areaWidth = areaWidth;
    flow.wrapWidth = wrapWidth;
    for (std::size_t i = begin; i < end; ++i) {
        if (tokens_[i].kind == MarkupToken::Kind::Text)
            PlaceText(pass, flow, tokens_[i].text);
        else
            HandleTag(pass, flow, tags_[i]);
    }
    if (flow.lineOpen)
        EndLine(pass, flow, 1, false);
    return {flow.maxWidth, flow.y - flow.top};
}

void MarkupRenderer::StartLine(Pass& pass, Flow& flow)
{
    if (flow.lineOpen)
        return;
    flow.lineOpen = true;
    flow.lineHasContent = false;
    flow.used = 0;
    flow.blanksSeen = 0;
    flow.justifyExtra = 0;
    flow.x = flow.left;
    if (!pass.drawing) {
        flow.line = LineRecord{};
        return;
    }
    flow.line = pass.lineIndex < lines_.size() ? lines_[pass.lineIndex] : LineRecord{};
    const int width = flow.line.fixedWidth + flow.line.percent * flow.areaWidth / 100;
    switch (flow.line.align) {
    case HorizontalAlign::Center:
        flow.x = flow.left + (flow.areaWidth - width) / 2;
        break;
    case HorizontalAlign::Right:
        flow.x = flow.left + flow.areaWidth - width;
        break;
    case HorizontalAlign::Justify:
        if (flow.line.wrapped && flow.line.blanks > 0)
            flow.justifyExtra = std::max(0, flow.areaWidth - width);
        break;
    case HorizontalAlign::Left:
        break;
    }
}

void MarkupRenderer::EndLine(Pass& pass, Flow& flow, int breaks, bool wrapped)
{
    StartLine(pass, flow);
    breaks = std::max(1, breaks);
    if (!pass.drawing) {
        LineRecord& line = flow.line;
        if (line.height == 0)
            line.height = pass.metrics.height;
        line.height += line.descent;
        if (!flow.lineHasContent)
            line.align = pass.style.align;
        line.wrapped = wrapped;
        flow.maxWidth = std::max(flow.maxWidth, line.fixedWidth);
        lines_.push_back(line);
        flow.y += line.height * breaks;
    } else {
        flow.y += flow.line.height * breaks;
        ++pass.lineIndex;
    }
    flow.lineOpen = false;
    flow.x = flow.left;
    flow.used = 0;
}

void MarkupRenderer::PlaceText(Pass& pass, Flow& flow, std::string text)
{
    ApplyTransform(text, pass.style.transform);
    std::string_view rest = text;
    MarkupCanvas& canvas = *pass.canvas;
    while (!rest.empty()) {
        StartLine(pass, flow);
        const int width = canvas.TextWidth(rest);
        if (flow.wrapWidth <= 0 || flow.used + width <= flow.wrapWidth) {
            PlacePiece(pass, flow, rest, width);
            return;
        }
        const int room = flow.wrapWidth - flow.used;
        // The longest prefix ending just before a break character that still fits.
        std::size_t best = std::string_view::npos;
        for (std::size_t i = 0; i < rest.size(); ++i) {
            if (!IsBreakCharacter(rest[i]))
                continue;
            if (canvas.TextWidth(rest.substr(0, i)) > room)
                break;
            best = i;
        }
        if (best != std::string_view::npos) {
            const std::string_view piece = TrimBlanksRight(rest.substr(0, best + 1));
            PlacePiece(pass, flow, piece, canvas.TextWidth(piece));
            rest = TrimBlanksLeft(rest.substr(best + 1));
            EndLine(pass, flow, 1, true);
            continue;
        }
        if (!flow.lineHasContent) {
            // No break fits: cut the run after as many characters as fit, at least one.
            std::size_t cut = NextCodePoint(rest, 0);
            while (cut < rest.size()) {
                const std::size_t next = NextCodePoint(rest, cut);
                if (canvas.TextWidth(rest.substr(0, next)) > room)
                    break;
                cut = next;
            }
            const std::string_view piece = rest.substr(0, cut);
            PlacePiece(pass, flow, piece, canvas.TextWidth(piece));
            rest = rest.substr(piece.size());
            EndLine(pass, flow, 1, true);
            continue;
        }
        EndLine(pass, flow, 1, true);  // the whole run moves to the next line
    }
}

void MarkupRenderer::PlacePiece(Pass& pass, Flow& flow, std::string_view piece, int width)
{
    flow.lineHasContent = true;
    const FontMetrics& m = pass.metrics;
    if (!pass.drawing) {
        flow.line.align = pass.style.align;
        flow.line.fixedWidth += width;
        flow.line.blanks += CountBlanks(piece);
        flow.line.height = std::max(flow.line.height, m.ascent);
        flow.line.descent = std::max(flow.line.descent, m.height - m.ascent);
        flow.used += width;
        return;
    }
    const int lineTop = flow.y, lineHeight = flow.line.height, lineDescent = flow.line.descent;
    int y = lineTop;
    switch (pass.style.verticalAlign) {
    case VerticalAlign::Top:
        break;
    case VerticalAlign::Middle:
        y = lineTop + (lineHeight - m.height) / 2;
        break;
    case VerticalAlign::Bottom:
        y = lineTop + lineHeight - m.ascent;
        break;
    case VerticalAlign::Baseline:
        y = lineTop + lineHeight - m.ascent - lineDescent;
        break;
    }
    const Colorref color = Resolve(pass.style.textColor);
    const std::optional<Colorref> background =
        colorMode_ && pass.style.opaqueBackground ? std::optional<Colorref>(pass.style.backgroundColor) : std::nullopt;
    const int startX = flow.x;
    if (flow.justifyExtra > 0 && piece.find(' ') != std::string_view::npos) {
        // Widen every blank: the spare width spread over the line's blanks, the first ones
        // taking the remainder.
        const int spaceWidth = pass.canvas->TextWidth(" ");
        std::size_t wordStart = 0;
        while (wordStart <= piece.size()) {
            const std::size_t blank = piece.find(' ', wordStart);
            const std::string_view word =
                piece.substr(wordStart, blank == std::string_view::npos ? std::string_view::npos : blank - wordStart);
            if (!word.empty()) {
                pass.canvas->DrawText(flow.x, y, word, color, background);
                flow.x += pass.canvas->TextWidth(word);
            }
            if (blank == std::string_view::npos)
                break;
            const int blanks = std::max(1, flow.line.blanks);
            flow.x += spaceWidth + flow.justifyExtra / blanks + (flow.blanksSeen < flow.justifyExtra % blanks ? 1 : 0);
            ++flow.blanksSeen;
            wordStart = blank + 1;
        }
    } else {
        pass.canvas->DrawText(flow.x, y, piece, color, background);
        flow.x += width;
    }
    if (pass.style.overline)
        pass.canvas->DrawLine({startX, y}, {flow.x, y}, color, pass.style.fontWeight >= 700 ? 2 : 1, PenStyle::Solid);
    if (pass.style.linkKind != LinkKind::None)
        RecordLink(pass, Rect{startX, y, flow.x - 1, y + m.height - 1});
    flow.used += width;
}

void MarkupRenderer::PlaceTab(Pass& pass, Flow& flow, int count)
{
    StartLine(pass, flow);
    flow.lineHasContent = true;
    const int tab = tabWidth_;
    const int position = flow.used;
    const int target = position % tab == 0 ? position + count * tab : (position / tab + count) * tab;
    const int advance = target - position;
    if (!pass.drawing) {
        flow.line.fixedWidth += advance;
        flow.line.align = pass.style.align;
    } else
        flow.x += advance;
    flow.used += advance;
}

void MarkupRenderer::PlaceRule(Pass& pass, Flow& flow, const MarkupTag& tag)
{
    StartLine(pass, flow);
    flow.lineHasContent = true;
    int percent = 100, pixels = 0;
    if (const std::string* width = tag.Attribute("width"); width && !width->empty()) {
        if (width->back() == '%') {
            percent = std::clamp(std::atoi(width->c_str()), 0, 1000);
        } else {
            percent = 0;
            pixels = std::clamp(ParseLength(*width, 0, Lengths(pass), false), 0, kMaxExtent);
        }
    }
    int thickness = 1;
    if (const std::string* size = tag.Attribute("size"); size && !size->empty())
        thickness = std::clamp(std::atoi(size->c_str()), 0, 1000);
    if (!pass.drawing) {
        flow.line.align = pass.style.align;
        if (percent > 0)
            flow.line.percent += percent;
        else
            flow.line.fixedWidth += pixels;
        flow.line.height = std::max(flow.line.height, thickness + 8);
        flow.used += pixels;
        return;
    }
    Colorref color = pass.style.textColor;
    if (const std::string* value = tag.Attribute("color"))
        color = ParseColor(*value, color, colors_);
    const int width = percent > 0 ? flow.areaWidth * percent / 100 : pixels;
    const int y = flow.y + flow.line.height / 2;
    if (width > 0 && thickness > 0)
        pass.canvas->DrawLine({flow.x, y}, {flow.x + width, y}, Resolve(color), thickness, PenStyle::Solid);
    flow.x += width;
    flow.used += pixels;
}

std::optional<ArgbImage> MarkupRenderer::LoadImage(const MarkupTag& tag, ImageTagKind kind, bool& fromList)
{
    fromList = false;
    auto number = [&](std::string_view name) -> std::optional<long long> {
        const std::string* value = tag.Attribute(name);
        if (!value || value->empty())
            return std::nullopt;
        return std::strtoll(value->c_str(), nullptr, 0);
    };
    if (images_ != nullptr) {
        if (const auto id = number("idres"))
            return images_->ResourceImage(kind, static_cast<int>(*id));
        if (const std::string* file = tag.Attribute("file"); file && !file->empty())
            return images_->FileImage(*file);
        // Resources of other modules ("iddll" with "srcdll") do not exist on this platform.
        if (const auto handle = number("handle"))
            return images_->HandleImage(static_cast<std::uint64_t>(*handle));
    }
    if (kind == ImageTagKind::ImageList && !imageList_.empty()) {
        const long long index = number("index").value_or(0);
        if (index >= 0 && static_cast<std::size_t>(index) < imageList_.size()) {
            fromList = true;
            return imageList_[static_cast<std::size_t>(index)];
        }
    }
    return std::nullopt;
}

void MarkupRenderer::PlaceImage(Pass& pass, Flow& flow, const MarkupTag& tag, ImageTagKind kind)
{
    bool fromList = false;
    std::optional<ArgbImage> image = LoadImage(tag, kind, fromList);
    if (!image || image->IsEmpty())
        return;
    auto number = [&](std::string_view name, int fallback) {
        const std::string* value = tag.Attribute(name);
        return value && !value->empty() ? std::atoi(value->c_str()) : fallback;
    };
    if (kind == ImageTagKind::ImageList && !fromList) {
        const int cx = number("cx", 0), cy = number("cy", 0);
        if (cx > 0 && cy > 0)
            *image = StripFrame(*image, cx, cy, number("index", 0));
        if (image->IsEmpty())
            return;
    }
    Size natural{image->width, image->height};
    const bool sized = tag.Attribute("width") != nullptr || tag.Attribute("height") != nullptr;
    if (kind == ImageTagKind::Icon && !sized && images_ != nullptr)
        natural = images_->SystemIconSize();
    auto extent = [&](std::string_view name, int own) {
        const std::string* value = tag.Attribute(name);
        if (!value || value->empty())
            return own;
        if (value->back() == '%')
            return MulDiv(own, std::atoi(value->c_str()), 100);
        return ParseLength(*value, own, Lengths(pass), false);
    };
    const int width = std::clamp(extent("width", natural.width), 0, kMaxExtent);
    const int height = std::clamp(extent("height", natural.height), 0, kMaxExtent);
    if (width == 0 || height == 0)
        return;

    const bool hovered = pass.style.linkKind != LinkKind::None && pass.linkCounter == hoveredLink_;
    std::string letters;
    if (const std::string* style = tag.Attribute(hovered && tag.Attribute("hotstyle") ? "hotstyle" : "style"))
        letters = *style;
    const bool shadow = letters.find('s') != std::string::npos && (shadowX_ != 0 || shadowY_ != 0);
    const int boxWidth = width + (shadow ? std::abs(shadowX_) : 0);
    const int boxHeight = height + (shadow ? std::abs(shadowY_) : 0);

    if (flow.wrapWidth > 0 && flow.lineHasContent && flow.used + boxWidth > flow.wrapWidth)
        EndLine(pass, flow, 1, true);
    StartLine(pass, flow);
    flow.lineHasContent = true;
    if (!pass.drawing) {
        flow.line.align = pass.style.align;
        flow.line.fixedWidth += boxWidth;
        flow.line.height = std::max(flow.line.height, boxHeight);
        flow.used += boxWidth;
        return;
    }

    const int lineTop = flow.y, lineHeight = flow.line.height;
    int y = lineTop;
    switch (pass.style.verticalAlign) {
    case VerticalAlign::Top:
        break;
    case VerticalAlign::Middle:
        y = lineTop + (lineHeight - boxHeight) / 2;
        break;
    case VerticalAlign::Bottom:
        y = lineTop + lineHeight - boxHeight;
        break;
    case VerticalAlign::Baseline:
        y = lineTop + lineHeight - flow.line.descent - boxHeight;
        break;
    }
    std::optional<Colorref> mask;
    if (kind != ImageTagKind::Icon)
        mask = 0xFF00FF;
    if (const std::string* value = tag.Attribute("mask"))
        mask = ParseColor(*value, mask.value_or(0xFF00FF), colors_);
    const ArgbImage styled = ApplyImageStyle(*image, letters, mask);
    if (shadow) {
        const int grey = 255 * (100 - shadowDarkness_) / 100;
        const ShadowImage cast = MakeShadow(styled, MakeColorref(grey, grey, grey), shadowSoft_, blurX_, blurY_);
        const int offsetX = cast.offset.x * width / image->width, offsetY = cast.offset.y * height / image->height;
        const int left = flow.x + std::max(0, shadowX_) + offsetX, top = y + std::max(0, shadowY_) + offsetY;
        pass.canvas->DrawImage(Rect{left, top, left + cast.image.width * width / image->width,
                                    top + cast.image.height * height / image->height},
                               cast.image);
    }
    const int imageX = flow.x + (shadow && shadowX_ < 0 ? -shadowX_ : 0);
    const int imageY = y + (shadow && shadowY_ < 0 ? -shadowY_ : 0);
    pass.canvas->DrawImage(Rect{imageX, imageY, imageX + width, imageY + height}, styled);
    if (pass.style.linkKind != LinkKind::None)
        RecordLink(pass, Rect{flow.x, y, flow.x + boxWidth - 1, y + boxHeight - 1});
    flow.x += boxWidth;
    flow.used += boxWidth;
}

void MarkupRenderer::RecordLink(Pass& pass, const Rect& bounds)
{
    linkAreas_.push_back({bounds, pass.style.linkKind, pass.linkCounter, pass.style.linkTarget});
}

// ---- tags

void MarkupRenderer::HandleTag(Pass& pass, Flow& flow, const MarkupTag& tag)
{
    const std::optional<TagInfo> info = FindTag(tag.name);
    if (!info)
        return;
    if (!info->styleName.empty()) {
        if (tag.closing)
            CloseStyleTag(pass, *info);
        else
            OpenStyleTag(pass, tag, *info);
        SelectFont(pass);
        return;
    }
    // The closing form of an element tag acts as the element.
    switch (info->kind) {
    case tag::kRule:
        PlaceRule(pass, flow, tag);
        break;
    case tag::kBreak:
        EndLine(pass, flow, std::clamp(tag.CountAfterName(1), 1, kMaxRepeat), false);
        break;
    case tag::kTab:
        PlaceTab(pass, flow, std::clamp(tag.CountAfterName(1), 1, kMaxRepeat));
        break;
    case tag::kBitmap:
        PlaceImage(pass, flow, tag, ImageTagKind::Bitmap);
        break;
    case tag::kIcon:
        PlaceImage(pass, flow, tag, ImageTagKind::Icon);
        break;
    case tag::kImageList:
        PlaceImage(pass, flow, tag, ImageTagKind::ImageList);
        break;
    case tag::kString: {
        long long id = 0;
        for (const auto& [name, value] : tag.attributes)
            if (name == "idres" || name == "iddll")
                id = std::strtoll(value.c_str(), nullptr, 0);
        if (id != 0 && images_ != nullptr)
            if (std::optional<std::string> text = images_->ResourceString(static_cast<int>(id)))
                PlaceText(pass, flow, std::move(*text));
        break;
    }
    default:
        break;
    }
}

void MarkupRenderer::OpenStyleTag(Pass& pass, const MarkupTag& tag, const TagInfo& info)
{
    if (pass.stack.size() >= kMaxStyleDepth)
        return;
    pass.stack.push_back({pass.style, std::string(info.styleName)});
    StyleState& style = pass.style;
    style.styleName = std::string(info.styleName);
    switch (info.kind) {
    case tag::kBold:
        style.fontWeight = std::min(900, style.fontWeight * 2);
        break;
    case tag::kItalic:
        style.italic = !style.italic;
        break;
    case tag::kUnderline:
        style.underline = !style.underline;
        break;
    case tag::kStrikeout:
        style.strikeout = !style.strikeout;
        break;
    case tag::kFont:
        for (const auto& [name, value] : tag.attributes) {
            if (name == "face") {
                if (!value.empty())
                    style.fontFace = value;
            } else if (name == "size") {
                style.fontSize = ParseLength(value, style.fontSize, Lengths(pass), true);
            } else if (name == "color") {
                style.textColor = ParseColor(value, style.textColor, colors_);
            } else if (name == "style") {
                bool on = true;
                for (const char letter : value) {
                    switch (letter) {
                    case '-':
                        on = false;
                        continue;
                    case '+':
                        on = true;
                        continue;
                    case 'b':
                        style.fontWeight = on ? 700 : 400;
                        break;
                    case 'i':
                        style.italic = on;
                        break;
                    case 'u':
                        style.underline = on;
                        break;
                    case 's':
                        style.strikeout = on;
                        break;
                    case 'o':
                        style.overline = on;
                        break;
                    default:
                        break;
                    }
                    on = true;
                }
            } else if (name == "weight") {
                style.fontWeight = ParseWeight(value);
            } else if (name == "bkgnd") {
                if (value == "transparent") {
                    style.opaqueBackground = false;
                } else if (!value.empty()) {
                    style.opaqueBackground = true;
                    style.backgroundColor = ParseColor(value, style.backgroundColor, colors_);
                }
            }
        }
        break;
    case tag::kLeft:
        style.align = HorizontalAlign::Left;
        break;
    case tag::kCenter:
        style.align = HorizontalAlign::Center;
        break;
    case tag::kRight:
        style.align = HorizontalAlign::Right;
        break;
    case tag::kJustify:
        style.align = HorizontalAlign::Justify;
        break;
    case tag::kBaseline:
        style.verticalAlign = VerticalAlign::Baseline;
        break;
    case tag::kTop:
        style.verticalAlign = VerticalAlign::Top;
        break;
    case tag::kVCenter:
        style.verticalAlign = VerticalAlign::Middle;
        break;
    case tag::kBottom:
        style.verticalAlign = VerticalAlign::Bottom;
        break;
    case tag::kSheetRule:
        ApplyRule(pass, tag.name);
        break;
    case tag::kSpan:
        if (const std::string* cls = tag.Attribute("class"))
            ApplyRule(pass, "." + *cls);
        break;
    case tag::kLink: {
        ++pass.linkCounter;
        style.linkKind = LinkKind::Message;
        style.linkTarget.clear();
        for (const auto& [name, value] : tag.attributes) {
            if (name == "href") {
                style.linkKind = LinkKind::Open;
                style.linkTarget = value;
            } else if (name == "msg") {
                style.linkKind = LinkKind::Message;
                style.linkTarget = value;
            }
        }
        ApplyRule(pass, pass.linkCounter == hoveredLink_ ? "a:hover" : "a:link");
        break;
    }
    default:
        break;
    }
}

void MarkupRenderer::CloseStyleTag(Pass& pass, const TagInfo& info)
{
    if (pass.stack.empty() || pass.stack.back().openedBy != info.styleName)
        return;
    pass.style = std::move(pass.stack.back().style);
    pass.stack.pop_back();
}

void MarkupRenderer::ApplyRule(Pass& pass, std::string_view selector)
{
    if (const std::string* declarations = sheet_.Find(selector))
        ApplyDeclarations(pass.style, *declarations, colors_, Lengths(pass));
}

LengthContext MarkupRenderer::Lengths(const Pass& pass) const
{
    return {pass.canvas->DpiY(), pass.metrics.height, pass.metrics.xHeight};
}

void MarkupRenderer::SelectFont(Pass& pass)
{
    FontSpec font;
    font.cellHeight = std::clamp(std::abs(pass.style.fontSize), 1, kMaxFontSize);
    font.weight = std::clamp(pass.style.fontWeight, 1, 1000);
    font.italic = pass.style.italic;
    font.underline = pass.style.underline;
    font.strikeout = pass.style.strikeout;
    font.face = pass.style.fontFace;
    pass.canvas->SetFont(font);
    pass.metrics = pass.canvas->Metrics();
}

// ---- tables

MarkupRenderer::TableSyntax MarkupRenderer::ParseTable(std::size_t begin, std::size_t end) const
{
    TableSyntax table;
    table.tag = begin;
    TableSyntax::Cell* open = nullptr;
    auto closeCell = [&](std::size_t at) {
        if (open != nullptr)
            open->end = at;
        open = nullptr;
    };
    for (std::size_t i = begin + 1; i < end; ++i) {
        if (tokens_[i].kind != MarkupToken::Kind::Tag)
            continue;
        const MarkupTag& tag = tags_[i];
        if (tag.name == "table" && !tag.closing) {
            i = MatchingTableEnd(i, end);  // a nested table belongs to the open cell
            continue;
        }
        if (tag.name == "tr") {
            closeCell(i);
            if (!tag.closing)
                table.rows.push_back({i, {}});
        } else if (tag.name == "td") {
            closeCell(i);
            if (!tag.closing) {
                if (table.rows.empty())
                    table.rows.push_back({begin, {}});
                table.rows.back().cells.push_back({i, i + 1, i + 1});
                open = &table.rows.back().cells.back();
            }
        }
    }
    closeCell(end);
    return table;
}

void MarkupRenderer::ApplyCellAttributes(Pass& pass, const MarkupTag& tag, bool isTable, int areaWidth)
{
    StyleState& style = pass.style;
    const LengthContext lengths = Lengths(pass);
    auto lengthOrPercent = [&](const std::string& value, int& target, bool& percent) {
        if (!value.empty() && value.back() == '%') {
            percent = true;
            target = MulDiv(areaWidth, std::atoi(value.c_str()), 100);
        } else {
            percent = false;
            target = ParseLength(value, target, lengths, false);
        }
        target = std::clamp(target, 0, kMaxExtent);
    };
    for (const auto& [name, value] : tag.attributes) {
        if (isTable && name == "cellpadding")
            style.cellPadding = std::clamp(ParseLength(value, style.cellPadding, lengths, false), 0, kMaxExtent);
        else if (isTable && name == "cellspacing")
            style.cellSpacing = std::clamp(ParseLength(value, style.cellSpacing, lengths, false), 0, kMaxExtent);
        else if (isTable && name == "background")
            style.backgroundImage = value;
        else if (name == "border") {
            style.borderWidth = std::clamp(std::atoi(value.c_str()), 0, 100);
            if (style.borderWidth > 0 && style.borderStyle == BorderStyle::None)
                style.borderStyle = BorderStyle::Solid;
        } else if (name == "borderstyle") {
            style.borderStyle = ParseBorderStyle(value, style.borderStyle);
            if (style.borderStyle != BorderStyle::None && style.borderWidth == 0)
                style.borderWidth = 1;
        } else if (name == "bordercolor")
            style.borderLight = style.borderDark = ParseColor(value, style.borderLight, colors_);
        else if (name == "bordercolorlight")
            style.borderLight = ParseColor(value, style.borderLight, colors_);
        else if (name == "bordercolordark")
            style.borderDark = ParseColor(value, style.borderDark, colors_);
        else if (name == "bgcolor") {
            style.backgroundColor = ParseColor(value, style.backgroundColor, colors_);
            if (style.backgroundEffect == -1)
                style.backgroundEffect = 0;
        } else if (name == "bgmidcolor")
            style.backgroundMidColor = ParseColor(value, style.backgroundMidColor, colors_);
        else if (name == "bgendcolor")
            style.backgroundEndColor = ParseColor(value, style.backgroundEndColor, colors_);
        else if (name == "bgeffect")
            style.backgroundEffect = ParseEffect(value, style.backgroundEffect);
        else if (name == "align") {
            if (value == "left")
                style.align = HorizontalAlign::Left;
            else if (value == "center")
                style.align = HorizontalAlign::Center;
            else if (value == "right")
                style.align = HorizontalAlign::Right;
        } else if (name == "valign") {
            if (value == "top")
                style.verticalAlign = VerticalAlign::Top;
            else if (value == "middle" || value == "vcenter")
                style.verticalAlign = VerticalAlign::Middle;
            else if (value == "bottom")
                style.verticalAlign = VerticalAlign::Bottom;
            else if (value == "baseline")
                style.verticalAlign = VerticalAlign::Baseline;
        } else if (name == "width")
            lengthOrPercent(value, style.width, style.widthIsPercent);
        else if (name == "height")
            lengthOrPercent(value, style.height, style.heightIsPercent);
    }
    if (style.borderStyle == BorderStyle::None || style.borderWidth == 0) {
        style.borderStyle = BorderStyle::None;
        style.borderWidth = 0;
    } else if (style.borderStyle != BorderStyle::Solid || !isTable) {
        style.borderWidth = 1;
    }
}

void MarkupRenderer::DrawBorder(MarkupCanvas& canvas, const Rect& rect, BorderStyle style, int width, Colorref first,
                                Colorref second)
{
    if (style == BorderStyle::None || width <= 0 || rect.IsEmpty())
        return;
    const PenStyle pen = style == BorderStyle::Dashed ? PenStyle::Dashed
                         : style == BorderStyle::Dotted ? PenStyle::Dotted
                                                        : PenStyle::Solid;
    auto outline = [&](int inset) {
        const int l = rect.left + inset, t = rect.top + inset;
        const int r = rect.right - 1 - inset, b = rect.bottom - 1 - inset;
        if (r < l || b < t)
            return;
        canvas.DrawLine({l, b}, {l, t}, first, width, pen);
        canvas.DrawLine({l, t}, {r, t}, first, width, pen);
        canvas.DrawLine({r, t}, {r, b}, second, width, pen);
        canvas.DrawLine({r, b}, {l, b}, second, width, pen);
    };
    outline(width / 2);
    if (style == BorderStyle::Double)
        outline(width / 2 + 2 * width);
}

Size MarkupRenderer::LayoutTable(Pass& pass, const TableSyntax& syntax, int left, int top, int areaWidth, int depth)
{
    // The table's scope: its rule and attributes; restored when the table ends.
    const StyleState outerStyle = pass.style;
    const std::size_t outerStack = pass.stack.size();
    // Each scope starts from the enclosing one; sizes are the scope's own, and a row does not
    // repeat the table's background in every cell.
    auto openScope = [&](std::string_view selector, std::size_t tagIndex, bool isTable) {
        pass.style.styleName = std::string(selector);
        if (selector == "tr") {
            pass.style.backgroundEffect = -1;
            pass.style.backgroundImage.clear();
        }
        pass.style.width = pass.style.height = 0;
        pass.style.widthIsPercent = pass.style.heightIsPercent = false;
        ApplyRule(pass, selector);
        if (tagIndex < tags_.size())
            ApplyCellAttributes(pass, tags_[tagIndex], isTable, areaWidth);
        SelectFont(pass);
    };
    openScope("table", syntax.tag, true);
    const StyleState tableStyle = pass.style;

    std::size_t recordIndex;
    if (!pass.drawing) {
        recordIndex = tables_.size();
        tables_.push_back(std::make_unique<TableRecord>());
    } else {
        recordIndex = pass.tableCounter;
    }
    ++pass.tableCounter;
    TableRecord fallback;
    TableRecord& record = recordIndex < tables_.size() ? *tables_[recordIndex] : fallback;

    const int spacing = tableStyle.cellSpacing;
    const int tableBorder = tableStyle.borderWidth;
    const int borderTotal = tableStyle.borderStyle == BorderStyle::Double ? 6 * tableBorder : 2 * tableBorder;

    if (!pass.drawing) {
        // Grid positions, cell sizes, then column widths and row heights.
        std::vector<std::vector<bool>> covered;
        auto isCovered = [&](int r, int c) {
            return r < static_cast<int>(covered.size()) && c < static_cast<int>(covered[r].size()) && covered[r][c];
        };
        auto cover = [&](int r, int c) {
            if (static_cast<int>(covered.size()) <= r)
                covered.resize(static_cast<std::size_t>(r) + 1);
            if (static_cast<int>(covered[r].size()) <= c)
                covered[r].resize(static_cast<std::size_t>(c) + 1, false);
            covered[r][c] = true;
        };
        for (std::size_t r = 0; r < syntax.rows.size(); ++r) {
            const StyleState rowOuter = pass.style;
            openScope("tr", syntax.rows[r].tag, false);
            int column = 0;
            for (const TableSyntax::Cell& cellSyntax : syntax.rows[r].cells) {
                const StyleState cellOuter = pass.style;
                const std::size_t stackBefore = pass.stack.size();
                openScope("td", cellSyntax.tag, false);
                const MarkupTag& tag = tags_[cellSyntax.tag];
                auto span = [&](std::string_view name) {
                    const std::string* value = tag.Attribute(name);
                    return value ? std::clamp(std::atoi(value->c_str()), 1, kMaxSpan) : 1;
                };
                TableRecord::Cell cell;
                cell.row = static_cast<int>(r);
                cell.rowSpan = span("rowspan");
                cell.columnSpan = span("colspan");
                while (isCovered(cell.row, column))
                    ++column;
                cell.column = column;
                for (int dr = 0; dr < cell.rowSpan; ++dr)
                    for (int dc = 0; dc < cell.columnSpan; ++dc)
                        cover(cell.row + dr, cell.column + dc);
                column += cell.columnSpan;

                const int inset = pass.style.cellPadding + pass.style.borderWidth;
                // A cell wraps its text at its width attribute, and not at all without one.
                const Size content =
                    LayoutBlock(pass, cellSyntax.begin, cellSyntax.end, 0, 0, areaWidth, pass.style.width, depth + 1);
                cell.width = std::max(pass.style.width, content.width) + 2 * inset;
                cell.height = std::max(pass.style.height, content.height) + 2 * inset;
                cell.contentHeight = content.height;
                cell.fixedWidth = pass.style.width > 0;
                record.cells.push_back(cell);
                record.columns = std::max(record.columns, cell.column + cell.columnSpan);
                record.rows = std::max(record.rows, cell.row + cell.rowSpan);
                pass.stack.resize(std::min(pass.stack.size(), stackBefore), {});
                pass.style = cellOuter;
            }
            record.rows = std::max(record.rows, static_cast<int>(r) + 1);
            pass.style = rowOuter;
            SelectFont(pass);
        }
        record.columnWidths.assign(static_cast<std::size_t>(record.columns), 0);
        record.rowHeights.assign(static_cast<std::size_t>(record.rows), 0);
        record.fixedColumns.assign(static_cast<std::size_t>(record.columns), false);
        auto share = [](std::vector<int>& sizes, int first, int span, int needed, bool remainderToLast) {
            if (span == 1) {
                sizes[static_cast<std::size_t>(first)] = std::max(sizes[static_cast<std::size_t>(first)], needed);
                return;
            }
            int sum = 0;
            for (int k = 0; k < span; ++k)
                sum += sizes[static_cast<std::size_t>(first + k)];
            if (sum >= needed)
                return;
            const int difference = needed - sum;
            for (int k = 0; k < span; ++k)
                sizes[static_cast<std::size_t>(first + k)] += difference / span;
            sizes[static_cast<std::size_t>(remainderToLast ? first + span - 1 : first)] += difference % span;
        };
        const int largestSpan = std::max(record.columns, record.rows);
        for (int k = 1; k <= largestSpan; ++k)
            for (const TableRecord::Cell& cell : record.cells) {
                if (cell.columnSpan == k)
                    share(record.columnWidths, cell.column, k, cell.width, true);
                if (cell.rowSpan == k)
                    share(record.rowHeights, cell.row, k, cell.height, false);
            }
        for (const TableRecord::Cell& cell : record.cells)
            if (cell.fixedWidth)
                for (int k = 0; k < cell.columnSpan; ++k)
                    record.fixedColumns[static_cast<std::size_t>(cell.column + k)] = true;
        long long width = (record.columns + 1) * static_cast<long long>(spacing) + std::max(0, record.columns - 1) +
                          borderTotal;
        for (int w : record.columnWidths)
            width += w;
        long long height = (record.rows + 1) * static_cast<long long>(spacing) + std::max(0, record.rows - 1) +
                           borderTotal;
        for (int h : record.rowHeights)
            height += h;
        record.outer = {static_cast<int>(std::min<long long>(width, kMaxExtent * 4)),
                        static_cast<int>(std::min<long long>(height, kMaxExtent * 4))};
        pass.style = outerStyle;
        pass.stack.resize(std::min(pass.stack.size(), outerStack), {});
        SelectFont(pass);
        return record.outer;
    }

    // Draw: share the spare width, paint the table, then each cell and its content.
    std::vector<int> columnWidths = record.columnWidths;
    int tableWidth = record.outer.width;
    int offset = 0;
    const int spare = areaWidth - record.outer.width;
    if (spare > 0) {
        int unfixed = static_cast<int>(std::count(record.fixedColumns.begin(), record.fixedColumns.end(), false));
        if (unfixed > 0) {
            int left_ = spare;
            for (std::size_t c = 0; c < columnWidths.size(); ++c) {
                if (record.fixedColumns[c])
                    continue;
                const int add = left_ / unfixed;
                columnWidths[c] += add;
                left_ -= add;
                --unfixed;
            }
            tableWidth = areaWidth;
        } else if (tableStyle.align == HorizontalAlign::Center) {
            offset = spare / 2;
        } else if (tableStyle.align == HorizontalAlign::Right) {
            offset = spare;
        }
    }
    const Rect tableRect{left + offset, top, left + offset + tableWidth, top + record.outer.height};
    MarkupCanvas& canvas = *pass.canvas;
    if (colorMode_ && tableStyle.backgroundEffect != -1) {
        if (static_cast<long long>(tableRect.Width()) * tableRect.Height() <= kMaxEffectPixels)
            PaintEffect(canvas, ComputeEffect(tableStyle.backgroundEffect, tableRect, tableStyle.backgroundColor,
                                              tableStyle.backgroundMidColor, tableStyle.backgroundEndColor, 5, 0,
                                              SharedEffectRandom()));
    } else if (!tableStyle.backgroundImage.empty() && images_ != nullptr) {
        if (const std::optional<ArgbImage> image = images_->FileImage(tableStyle.backgroundImage))
            canvas.DrawImage(tableRect, *image);
    }
    DrawBorder(canvas, tableRect, tableStyle.borderStyle, tableBorder, Resolve(tableStyle.borderLight),
               Resolve(tableStyle.borderDark));
    const int innerInset = tableStyle.borderStyle == BorderStyle::Double ? 3 * tableBorder : tableBorder;
    const int innerLeft = tableRect.left + innerInset, innerTop = tableRect.top + innerInset;
    auto columnStart = [&](int column) {
        int x = innerLeft + spacing;
        for (int c = 0; c < column && c < static_cast<int>(columnWidths.size()); ++c)
            x += spacing + columnWidths[static_cast<std::size_t>(c)] + 1;
        return x;
    };
    auto rowStart = [&](int row) {
        int y = innerTop + spacing;
        for (int r = 0; r < row && r < static_cast<int>(record.rowHeights.size()); ++r)
            y += spacing + record.rowHeights[static_cast<std::size_t>(r)] + 1;
        return y;
    };
    auto spanned = [&](const std::vector<int>& sizes, int first, int span) {
        int total = (spacing + 1) * (span - 1);
        for (int k = 0; k < span && first + k < static_cast<int>(sizes.size()); ++k)
            total += sizes[static_cast<std::size_t>(first + k)];
        return total;
    };

    std::size_t cellIndex = 0;
    for (std::size_t r = 0; r < syntax.rows.size(); ++r) {
        const StyleState rowOuter = pass.style;
        openScope("tr", syntax.rows[r].tag, false);
        for (const TableSyntax::Cell& cellSyntax : syntax.rows[r].cells) {
            const StyleState cellOuter = pass.style;
            const std::size_t stackBefore = pass.stack.size();
            openScope("td", cellSyntax.tag, false);
            if (cellIndex < record.cells.size()) {
                const TableRecord::Cell& cell = record.cells[cellIndex];
                const int x = columnStart(cell.column), y = rowStart(cell.row);
                const Rect cellRect{x, y, x + spanned(columnWidths, cell.column, cell.columnSpan),
                                    y + spanned(record.rowHeights, cell.row, cell.rowSpan)};
                const StyleState& s = pass.style;
                if (colorMode_ && s.backgroundEffect != -1 &&
                    static_cast<long long>(cellRect.Width()) * cellRect.Height() <= kMaxEffectPixels)
                    PaintEffect(canvas, ComputeEffect(s.backgroundEffect, cellRect, s.backgroundColor,
                                                      s.backgroundMidColor, s.backgroundEndColor, 5, 0,
                                                      SharedEffectRandom()));
                DrawBorder(canvas, cellRect, s.borderStyle, s.borderWidth > 0 ? 1 : 0, Resolve(s.borderDark),
                           Resolve(s.borderLight));
                const int inset = s.cellPadding + s.borderWidth;
                const int free = cellRect.Height() - 2 * inset - cell.contentHeight;
                int contentTop = cellRect.top + inset;
                if (s.verticalAlign == VerticalAlign::Middle)
                    contentTop += std::max(0, free / 2);
                else if (s.verticalAlign == VerticalAlign::Bottom)
                    contentTop += std::max(0, free);
                LayoutBlock(pass, cellSyntax.begin, cellSyntax.end, cellRect.left + inset, contentTop,
                            cellRect.Width() - 2 * inset, s.width, depth + 1);
            }
            ++cellIndex;
            pass.stack.resize(std::min(pass.stack.size(), stackBefore), {});
            pass.style = cellOuter;
        }
        pass.style = rowOuter;
        SelectFont(pass);
    }
    pass.style = outerStyle;
    pass.stack.resize(std::min(pass.stack.size(), outerStack), {});
    SelectFont(pass);
    return record.outer;
}

// ---- links

bool MarkupRenderer::CursorTest(Point point)
{
    for (const LinkArea& area : linkAreas_) {
        if (point.x < area.bounds.left || point.x > area.bounds.right || point.y < area.bounds.top ||
            point.y > area.bounds.bottom)
            continue;
        if (area.index != hoveredLink_) {
            hoveredLink_ = area.index;
            if (redraw_)
                redraw_(hoveredLink_);
        }
        return !area.target.empty();
    }
    if (hoveredLink_ != kNoLink) {
        hoveredLink_ = kNoLink;
        if (redraw_)
            redraw_(kNoLink);
    }
    return false;
}

void MarkupRenderer::Click(Point point)
{
    for (const LinkArea& area : linkAreas_) {
        if (point.x < area.bounds.left || point.x > area.bounds.right || point.y < area.bounds.top ||
            point.y > area.bounds.bottom)
            continue;
        if (area.target.empty())
            return;
        if (area.kind == LinkKind::Open && open_)
            open_(area.target);
        else if (area.kind == LinkKind::Message && notify_)
            notify_(area.target);
        return;
    }
}

}  // namespace quorvex::markup
