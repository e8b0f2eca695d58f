#pragma once

#include "FoundFileReader.h"
#include "Stoppable.h"
#include "VolumeSource.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace quorvex {

// What a card's file system still says of one regular file, live or deleted.
struct CardFile {
    std::string folder;  // on the card, '/'-separated, no leading or trailing '/' ("DCIM/100CANON"); "" is the root
    std::string name;    // as the card has it; a deleted FAT entry's lost first letter repaired where it can be
    bool deleted = false;
    std::uint64_t sizeBytes = 0;
    std::int64_t modified = 0;  // seconds since 1970 (UTC); 0 when the card does not say
    // Where its bytes lie on the volume, in file order, adding up to sizeBytes (empty for an empty
    // file). `mapped`: from the file system's own map of the file (a live file's cluster chain, an
    // NTFS record's runs, an exFAT file stored in one piece); otherwise a deleted entry's first
    // cluster onward, as if the file lay in one piece.
    std::vector<ByteRange> pieces;
    bool mapped = false;

    std::uint64_t FirstByte() const { return pieces.empty() ? UINT64_MAX : pieces.front().offset; }
    std::string Path() const { return folder.empty() ? name : folder + "/" + name; }
};

// The regular files of every file system found on a volume: on the whole volume, or in each
// partition of an MBR or GPT partition table.
struct CardFileSystems {
    std::vector<CardFile> files;  // in order of their first byte
    std::vector<std::string> found;  // what was read, e.g. "FAT32 at byte 1048576"
};

// A name or folder as the card has it (NUL-terminated, meant to be UTF-8), made text that can be
// shown and written anywhere: control characters and bytes that are not UTF-8 become '_'; at most
// 1024 bytes are kept.
std::string CleanCardText(const char* raw);

// Bounds on what a damaged file system can make the reader do.
struct CardReadLimits {
    std::size_t maxFiles = 4'000'000;        // entries kept; the rest are dropped
    std::size_t maxPiecesPerFile = 65'536;   // a file in more pieces is kept without its map
    unsigned maxDepth = 64;                  // folders deeper than this are not entered
};

// Reads every file system the volume holds (FAT12/16/32, exFAT, NTFS, ext2/3/4 and whatever else
// The Sleuth Kit knows) through `source`, never past its end. A volume without one, or with one too
// damaged to open, gives no files. `stop` (may be null) ends the walk early.
CardFileSystems ReadCardFileSystems(VolumeSource& source, const std::atomic<int>* stop = nullptr,
                                    const CardReadLimits& limits = {});

}  // namespace quorvex
