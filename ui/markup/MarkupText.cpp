#include "MarkupText.h"

#include <cstdlib>

namespace quorvex::markup {

namespace {

void ReplaceAll(std::string& text, std::string_view from, std::string_view to)
{
    std::string out;
    out.reserve(text.size());
    std::size_t position = 0;
    while (true) {
        const std::size_t found = text.find(from, position);
        if (found == std::string::npos)
            break;
        out.append(text, position, found - position);
        out.append(to);
        position = found + from.size();
    }
    out.append(text, position, std::string::npos);
    text.swap(out);
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::string PrepareMarkupText(std::string_view text, bool newlineMode)
{
    // In table order; each entry replaces over the whole text in turn.
    static constexpr std::pair<std::string_view, std::string_view> kEntities[] = {
        {"&amp;", "&"},        {"&bull;", "\u2022"}, {"&copy;", "\u00A9"}, {"&euro;", "\u20AC"},
        {"&gt;", ">"},         {"&iquest;", "\u00BF"}, {"&lt;", "<<"},    {"&nbsp;", " "},
        {"&para;", "\u00B6"},  {"&pound;", "\u00A3"}, {"&quot;", "\""},   {"&reg;", "\u00AE"},
        {"&trade;", "\u2122"},
    };
    std::string prepared(text);
    for (const auto& [entity, replacement] : kEntities)
        if (prepared.find(entity) != std::string::npos)
            ReplaceAll(prepared, entity, replacement);
    ReplaceAll(prepared, "\r", "");
    ReplaceAll(prepared, "\n", newlineMode ? "<br>" : "");
    ReplaceAll(prepared, "\t", newlineMode ? "<t>" : "");
    return "<body>" + prepared + "</body>";
}

std::vector<MarkupToken> TokenizeMarkup(std::string_view prepared)
{
    std::vector<MarkupToken> tokens;
    std::string run;
    auto flushRun = [&] {
        if (!run.empty())
            tokens.push_back({MarkupToken::Kind::Text, std::move(run)});
        run.clear();
    };
    std::size_t position = 0;
    while (position < prepared.size()) {
        const std::size_t open = prepared.find('<', position);
        if (open == std::string_view::npos) {
            run.append(prepared.substr(position));
            break;
        }
        run.append(prepared.substr(position, open - position));
        if (open + 1 == prepared.size() || prepared[open + 1] == '<') {
            run.push_back('<');
            position = open + 2;
            continue;
        }
        flushRun();
        const std::size_t close = prepared.find('>', open + 1);
        if (close == std::string_view::npos) {
            tokens.push_back({MarkupToken::Kind::Tag, std::string()});
            position = prepared.size();
            break;
        }
        tokens.push_back({MarkupToken::Kind::Tag, std::string(prepared.substr(open + 1, close - open - 1))});
        position = close + 1;
    }
    flushRun();
    return tokens;
}

const std::string* MarkupTag::Attribute(std::string_view attributeName) const
{
    const std::string* value = nullptr;
    for (const auto& [attribute, v] : attributes)
        if (attribute == attributeName)
            value = &v;
    return value;
}

int MarkupTag::CountAfterName(int fallback) const
{
    if (parameters.empty() || parameters.front() != '=')
        return fallback;
    // The "=" must follow the name directly; parameters keep it only when no blank came between.
    const char* start = parameters.c_str() + 1;
    char* end = nullptr;
    const long value = std::strtol(start, &end, 10);
    return end == start ? fallback : static_cast<int>(value);
}

MarkupTag ReadTag(std::string_view tagText)
{
    MarkupTag tag;
    if (!tagText.empty() && tagText.front() == '/') {
        tag.closing = true;
        tagText.remove_prefix(1);
    }
    std::size_t nameEnd = 0;
    while (nameEnd < tagText.size() && !IsBlank(tagText[nameEnd]) && tagText[nameEnd] != '=')
        ++nameEnd;
    tag.name = std::string(tagText.substr(0, nameEnd));
    std::size_t i = nameEnd;
    const bool equalsAfterName = i < tagText.size() && tagText[i] == '=';
    while (i < tagText.size() && IsBlank(tagText[i]))
        ++i;
    tag.parameters = std::string(tagText.substr(i));
    if (!equalsAfterName && !tag.parameters.empty() && tag.parameters.front() == '=')
        tag.parameters.insert(tag.parameters.begin(), ' ');  // "br =3" is no count

    std::string_view rest = tag.parameters;
    std::size_t p = 0;
    while (p < rest.size()) {
        while (p < rest.size() && IsBlank(rest[p]))
            ++p;
        if (p >= rest.size())
            break;
        const std::size_t nameStart = p;
        while (p < rest.size() && !IsBlank(rest[p]) && rest[p] != '=')
            ++p;
        std::string name(rest.substr(nameStart, p - nameStart));
        while (p < rest.size() && IsBlank(rest[p]))
            ++p;
        std::string value;
        if (p < rest.size() && rest[p] == '=') {
            ++p;
            while (p < rest.size() && IsBlank(rest[p]))
                ++p;
            if (p < rest.size() && (rest[p] == '"' || rest[p] == '\'')) {
                const char quote = rest[p++];
                const std::size_t end = rest.find(quote, p);
                const std::size_t stop = end == std::string_view::npos ? rest.size() : end;
                value = std::string(rest.substr(p, stop - p));
                p = end == std::string_view::npos ? rest.size() : end + 1;
            } else {
                const std::size_t start = p;
                while (p < rest.size() && !IsBlank(rest[p]))
                    ++p;
                value = std::string(rest.substr(start, p - start));
            }
        }
        if (!name.empty())
            tag.attributes.emplace_back(std::move(name), std::move(value));
    }
    return tag;
}

}  // namespace quorvex::markup
