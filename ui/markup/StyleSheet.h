#pragma once

#include "MarkupStyle.h"

#include <string>
#include <string_view>
#include <vector>

namespace quorvex::markup {

// Selectors (lower case: "body", "h1", "a:hover", ".cpp-comment") and their declaration texts, in
// the order first given; a later rule of the same selector replaces the earlier one.
class StyleSheet {
public:
    // The sheet every renderer starts with.
    static const std::string& DefaultText();
    static StyleSheet Default();

    // Reads rules "selector {declarations}" one after the other.
    static StyleSheet Parse(std::string_view text);

    // The declarations of `selector`, or null.
    const std::string* Find(std::string_view selector) const;
    std::size_t RuleCount() const { return rules_.size(); }

private:
    std::vector<std::pair<std::string, std::string>> rules_;
};

// Applies a declaration text ("font-size: 10pt; color:black") to `style`. The text is lowered
// first; unknown properties are ignored.
void ApplyDeclarations(StyleState& style, std::string_view declarations, const ColorNames& colors,
                       const LengthContext& lengths);

// The effect of a "font-style" value and of the "text-decoration" list, shared with attributes.
void ApplyFontStyleValue(StyleState& style, std::string_view value);
void ApplyTextDecoration(StyleState& style, std::string_view value);

}  // namespace quorvex::markup
