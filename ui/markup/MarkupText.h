#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quorvex::markup {

// Prepares a markup text for layout: entities replaced one after the other over the whole text
// (so "&amp;lt;" ends as a literal "<"), carriage returns removed, line feeds and tabs turned into
// <br> and <t> (newline mode) or removed, and the whole wrapped in <body>...</body>.
// Text is UTF-8; the entities for typographic characters give their Unicode characters.
std::string PrepareMarkupText(std::string_view text, bool newlineMode);

// One piece of a prepared text: a run of text, or the text between "<" and ">" of a tag.
struct MarkupToken {
    enum class Kind { Text, Tag };
    Kind kind;
    std::string text;
};

// Cuts a prepared text into text runs and tags. "<<", and a "<" that is the last character, stand
// for one literal "<" (joined to the surrounding text run); a "<" without a closing ">" gives an
// empty tag that runs to the end.
std::vector<MarkupToken> TokenizeMarkup(std::string_view prepared);

// A tag as written: "/b" is a closing "b"; "font color=red size='3'" has the name "font" and two
// attributes; "br=3" has the name "br" and the parameter text "=3".
struct MarkupTag {
    bool closing = false;
    std::string name;
    std::string parameters;  // everything after the name, leading blanks removed
    std::vector<std::pair<std::string, std::string>> attributes;

    // The value of the last attribute of that name, or null when the tag has none.
    const std::string* Attribute(std::string_view attributeName) const;
    // The number written directly after an "=" that follows the name ("br=3"), or `fallback`.
    int CountAfterName(int fallback) const;
};

MarkupTag ReadTag(std::string_view tagText);

}  // namespace quorvex::markup
