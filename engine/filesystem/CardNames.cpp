#include "CardNames.h"

#include <cctype>
#include <map>

namespace quorvex {

namespace {

// A short name's look with its first letter taken away and every digit made '#':
// "IMG_0104.JPG" and "_MG_0105.JPG" both look like "MG_####.JPG".
std::string Skeleton(const std::string& name)
{
    std::string skeleton = name.substr(1);
    for (char& c : skeleton)
        if (std::isdigit(static_cast<unsigned char>(c)))
            c = '#';
    return skeleton;
}

bool IsShortName(const std::string& name)
{
    if (name.empty() || name.size() > 12)
        return false;
    for (const char c : name)
        if (std::islower(static_cast<unsigned char>(c)) || c == ' ' || static_cast<unsigned char>(c) >= 0x80)
            return false;
    return true;
}

bool LostItsFirstLetter(const CardFile& file) { return file.deleted && IsShortName(file.name) && file.name[0] == '_'; }

}  // namespace

void RestoreLostFirstLetters(std::vector<CardFile>& files)
{
    // For each folder and skeleton, the first letter the names that kept theirs agree on (0 when
    // they disagree).
    std::map<std::pair<std::string, std::string>, char> letters;
    for (const CardFile& file : files) {
        if (LostItsFirstLetter(file) || !IsShortName(file.name) || !std::isalnum(static_cast<unsigned char>(file.name[0])))
            continue;
        auto [at, inserted] = letters.try_emplace({file.folder, Skeleton(file.name)}, file.name[0]);
        if (!inserted && at->second != file.name[0])
            at->second = 0;
    }
    for (CardFile& file : files) {
        if (!LostItsFirstLetter(file))
            continue;
        const auto at = letters.find({file.folder, Skeleton(file.name)});
        if (at != letters.end() && at->second != 0)
            file.name[0] = at->second;
    }
}

}  // namespace quorvex
