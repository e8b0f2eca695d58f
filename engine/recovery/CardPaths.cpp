#include "CardPaths.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace quorvex {

namespace {

constexpr std::size_t kMaxComponent = 255;
constexpr std::size_t kMaxFolderParts = 32;
constexpr std::size_t kMaxFolderBytes = 1024;

// Cuts `text` to at most `bytes` bytes without splitting a UTF-8 character.
std::string CutUtf8(const std::string& text, std::size_t bytes)
{
    if (text.size() <= bytes)
        return text;
    std::size_t cut = bytes;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut;
    return text.substr(0, cut);
}

// One path component from the card, made safe; empty when nothing is left.
std::string SafeComponent(const std::string& part, bool keepExtension)
{
    std::string safe;
    for (const char c : part) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || c == '/' || c == '\\' || c == ':' || c == '*' || c == '?' || c == '"' ||
            c == '<' || c == '>' || c == '|')
            safe.push_back('_');
        else
            safe.push_back(c);
    }
    while (!safe.empty() && safe.front() == ' ')
        safe.erase(safe.begin());
    while (!safe.empty() && (safe.back() == '.' || safe.back() == ' '))
        safe.pop_back();
    if (safe.empty())
        return safe;
    if (safe.size() > kMaxComponent) {
        const std::size_t dot = safe.rfind('.');
        const bool extension = keepExtension && dot != std::string::npos && dot > 0 && safe.size() - dot <= 16;
        const std::string tail = extension ? safe.substr(dot) : std::string();
        safe = CutUtf8(safe.substr(0, extension ? dot : safe.size()), kMaxComponent - tail.size()) + tail;
    }
    return safe;
}

std::string LowerCase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

}  // namespace

std::optional<std::string> SafeCardPath(const CardName& name)
{
    std::vector<std::string> parts;
    std::size_t at = 0;
    while (at <= name.folder.size()) {
        const std::size_t end = std::min(name.folder.find('/', at), name.folder.size());
        const std::string part = SafeComponent(name.folder.substr(at, end - at), false);
        if (!part.empty())
            parts.push_back(part);
        at = end + 1;
    }
    const std::string file = SafeComponent(name.name, true);
    if (file.empty() || parts.size() > kMaxFolderParts)
        return std::nullopt;
    std::string path;
    for (const std::string& part : parts)
        path.append(part).push_back('/');
    if (path.size() > kMaxFolderBytes)
        return std::nullopt;
    return path + file;
}

std::string SavedPaths::Claim(const std::string& relativePath)
{
    for (;;) {
        const unsigned use = ++uses_[LowerCase(relativePath)];
        if (use == 1)
            return relativePath;
        const std::size_t slash = relativePath.rfind('/');
        const std::size_t dot = relativePath.rfind('.');
        const bool extension = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
        std::string candidate = extension ? relativePath.substr(0, dot) + "_" + std::to_string(use) + relativePath.substr(dot)
                                          : relativePath + "_" + std::to_string(use);
        // The numbered name may itself be one the card had: claim it like any other.
        if (uses_.try_emplace(LowerCase(candidate), 1).second)
            return candidate;
    }
}

}  // namespace quorvex
