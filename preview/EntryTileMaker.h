#pragma once

#include <map>
#include <memory>

#include "FoundFileCatalogue.h"
#include "PhotoFactsTable.h"
#include "VolumeReader.h"

#include <QImage>
#include <QString>
#include <atomic>
#include <optional>
#include <string>

namespace quorvex::preview {

// Which tokens get a fixed placeholder tile instead of a picture of the file.
// How a type's tiles are made: its own picture decoded, a camera raw's embedded preview (or the
// camera drawing), a video's first picture with a film mark (or the media drawing), or the
// media drawing alone (sound, other RIFF forms).
enum class TileKind { Picture, CameraPlaceholder, MediaPlaceholder, Video };
TileKind TileKindOf(std::string_view token);
// Whether a type's preview plays in the program's own media window.
bool PlaysAsMedia(std::string_view token);

// Makes the 100 × 100 tiles of one type's found files. Pictures are decoded straight from the
// volume, bounded to the bytes the catalogue gives each file (its extent, or in exact recovery
// its own length), so no temporary copy is written; RIFF and camera raw files share one
// placeholder tile per verdict. In exact recovery every tile carries its file's verdict mark.
// One maker serves one thread.
class EntryTileMaker {
public:
    // `placeholderFolder` is looked in first for camera.bmp and mpg2.bmp, then the installed data
    // folder; the built-in pictures serve when they are in neither.
    EntryTileMaker(std::string token, QString placeholderFolder, PhotoFactsTable* facts = nullptr);

    TileKind Kind() const { return kind_; }
    bool NeedsVolume() const
    {
        return kind_ == TileKind::Picture || kind_ == TileKind::Video || (facts_ != nullptr && ReadsMetadata());
    }

    // The tile of catalogue entry `index`. `reader` is the opened volume, or null when it could
    // not be opened (a JPG then gets a blank tile, other pictures none). Nothing (no list item)
    // for a token whose name maps to no picture format, and when `stop` was set during the read.
    std::optional<QImage> Make(const FoundFileCatalogue& catalogue, std::uint64_t index, VolumeReader* reader,
                               const std::atomic<int>& stop);

    // The placeholder picture's tile (for tests and the preview of a single file).
    static QImage PlaceholderTile(TileKind kind, const QString& placeholderFolder);

private:
    bool ReadsMetadata() const;
    // The placeholder tile with the verdict's mark, made once per verdict.
    QImage Placeholder(Verdict verdict);

    std::string token_;
    PhotoFactsTable* facts_;
    QString placeholderFolder_;
    TileKind kind_;
    std::uint32_t format_;
    QImage placeholders_[4];  // one per verdict mark, each shared by every item that has it
    QImage decodeBuffer_;     // lent to every decode, so large pictures do not allocate anew each time
};

// The tile makers of a group's files, one per type, made as the group's types come.
class GroupTileMakers {
public:
    GroupTileMakers(QString placeholderFolder, PhotoFactsTable* facts) : folder_(std::move(placeholderFolder)), facts_(facts) {}
    EntryTileMaker& For(const std::string& token)
    {
        std::unique_ptr<EntryTileMaker>& maker = makers_[token];
        if (!maker)
            maker = std::make_unique<EntryTileMaker>(token, folder_, facts_);
        return *maker;
    }

private:
    QString folder_;
    PhotoFactsTable* facts_;
    std::map<std::string, std::unique_ptr<EntryTileMaker>> makers_;
};

}  // namespace quorvex::preview
