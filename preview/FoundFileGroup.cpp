#include "FoundFileGroup.h"

namespace quorvex::preview {

FoundFileGroup FoundFileGroup::OfType(std::string token)
{
    FoundFileGroup group;
    group.token_ = std::move(token);
    return group;
}

FoundFileGroup FoundFileGroup::OfCardFolder(const FoundFileCatalogue& catalogue, std::string folder)
{
    auto shown = std::make_shared<FolderFiles>();
    shown->folder = std::move(folder);
    if (catalogue.NamedCount() > 0)
        for (std::uint64_t i = 0; i < catalogue.FoundCount(); ++i)
            if (const CardName* name = catalogue.CardNameAt(i); name != nullptr && name->folder == shown->folder)
                shown->indices.push_back(i);
    FoundFileGroup group;
    group.folder_ = std::move(shown);
    return group;
}

const std::string& FoundFileGroup::Folder() const
{
    static const std::string none;
    return folder_ ? folder_->folder : none;
}

std::uint64_t FoundFileGroup::Count(const FoundFileCatalogue& catalogue) const
{
    if (folder_)
        return folder_->indices.size();
    return token_.empty() ? 0 : catalogue.CountOfType(token_);
}

std::uint64_t FoundFileGroup::IndexAt(const FoundFileCatalogue& catalogue, std::uint64_t position) const
{
    return folder_ ? folder_->indices[position] : catalogue.IndexOfTypeEntry(token_, position);
}

std::map<std::string, std::uint64_t> CardFolderCounts(const FoundFileCatalogue& catalogue)
{
    std::map<std::string, std::uint64_t> counts;
    if (catalogue.NamedCount() > 0)
        for (std::uint64_t i = 0; i < catalogue.FoundCount(); ++i)
            if (const CardName* name = catalogue.CardNameAt(i))
                ++counts[name->folder];
    return counts;
}

}  // namespace quorvex::preview
