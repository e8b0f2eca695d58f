#pragma once

#include "FoundFileCatalogue.h"

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace quorvex::preview {

// The found files one results list shows, in catalogue order: those of one type, or (exact
// recovery) those the card's file system kept in one folder, of any type. A position is a file's
// place in the group, from 0.
class FoundFileGroup {
public:
    FoundFileGroup() = default;
    static FoundFileGroup OfType(std::string token);
    // The entries the card names in `folder` ("" for its root), not those of its sub-folders.
    static FoundFileGroup OfCardFolder(const FoundFileCatalogue& catalogue, std::string folder);

    bool IsType() const { return !token_.empty(); }
    bool IsCardFolder() const { return folder_ != nullptr; }
    bool Empty() const { return !IsType() && !IsCardFolder(); }
    const std::string& Token() const { return token_; }
    const std::string& Folder() const;

    std::uint64_t Count(const FoundFileCatalogue& catalogue) const;
    std::uint64_t IndexAt(const FoundFileCatalogue& catalogue, std::uint64_t position) const;

    friend bool operator==(const FoundFileGroup& a, const FoundFileGroup& b)
    {
        return a.token_ == b.token_ && (a.folder_ == nullptr) == (b.folder_ == nullptr) &&
               (a.folder_ == nullptr || a.folder_->folder == b.folder_->folder);
    }

private:
    struct FolderFiles {
        std::string folder;
        std::vector<std::uint64_t> indices;
    };
    std::string token_;
    std::shared_ptr<const FolderFiles> folder_;
};

// How many found files the card names in each of its folders ("" is its root), by folder.
std::map<std::string, std::uint64_t> CardFolderCounts(const FoundFileCatalogue& catalogue);

}  // namespace quorvex::preview
