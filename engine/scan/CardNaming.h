#pragma once

#include "CardFileSystem.h"
#include "FoundFileCatalogue.h"
#include "VolumeReader.h"

#include <cstdint>
#include <vector>

namespace quorvex {

// Gives the files an exact scan finds the names, folders and times the card's file system still
// has for them, trusting an entry only as far as the bytes agree: a file found where an entry's
// data begins takes its name when the format's walk over the entry's bytes closes exactly at the
// entry's size (a deleted entry whose clusters were written over by another file is not that
// file). Where the file system maps a file in pieces (a live file's cluster chain, an NTFS
// record's runs), a walk and a decode over those pieces that agree make the file complete, read
// from them, with no search for its pieces.
class CardNaming {
public:
    explicit CardNaming(CardFileSystems card);

    // For the entry just recorded at `index` (on the scan thread): names it and, where the card
    // maps it in pieces that agree, completes it. `reader` reads the volume.
    void NameFound(FoundFileCatalogue& catalogue, std::uint64_t index, VolumeReader& reader) const;

private:
    // Whether the walk (and decode) of the entry's type over `file`'s pieces agree with it.
    bool BytesAgree(std::string_view token, const CardFile& file, VolumeReader& reader) const;

    std::vector<CardFile> files_;  // in order of their first byte
};

// What a card file's record says, as the catalogue keeps it.
CardName CardNameOf(const CardFile& file);

}  // namespace quorvex
