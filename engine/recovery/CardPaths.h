#pragma once

#include "FoundFileCatalogue.h"

#include <optional>
#include <string>
#include <unordered_map>

namespace quorvex {

// Where a file the card named is saved, below the recovery folder: its folder and name on the
// card, made safe for any destination. Every part of the folder and the name become a single
// path component each: separators, "." and "..", characters that FAT, exFAT and NTFS destinations
// refuse (\ : * ? " < > |), leading spaces and trailing dots and spaces are replaced, empty parts
// left out, and parts longer than 255 bytes shortened (a name keeps its extension). Nothing when
// the name leaves nothing, or the folder is deeper than 32 parts or longer than 1024 bytes.
std::optional<std::string> SafeCardPath(const CardName& name);

// The paths one save gives files below the recovery folder: a second file of the same path (in
// any case, since the destination may not tell case apart) gets _2 before its extension, a third
// _3, and so on.
class SavedPaths {
public:
    std::string Claim(const std::string& relativePath);

private:
    std::unordered_map<std::string, unsigned> uses_;  // by lower-case path
};

}  // namespace quorvex
