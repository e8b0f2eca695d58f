#pragma once

#include "DuplicateFinder.h"
#include "FoundFileGroup.h"
#include "FoundFileCatalogue.h"
#include "PhotoFactsTable.h"
#include "TileCache.h"

#include <QAbstractListModel>
#include <QImage>
#include <QString>
#include <cstdint>
#include <optional>
#include <vector>

namespace quorvex::preview {

class TileFetcher;

// The item data role that gives the name of the file a row's file is a copy of (empty for one
// that is no copy).
inline constexpr int kCopyOfRole = Qt::UserRole + 1;

// The tooltip of a found file in exact recovery: its name, its size and what its verdict means,
// and when known, when the photo was taken, with which camera, its pixel size, and which found
// file it is a copy of.
QString FoundFileTip(const FoundFileEntry& entry, const std::optional<PhotoFacts>& facts = std::nullopt,
                     const QString& copyOf = {});

// One line of what is known of a found file: taken, camera, pixel size, file size, verdict.
QString FoundFileDetails(const FoundFileEntry& entry, const std::optional<PhotoFacts>& facts, const QString& copyOf);

// The results list's rows: the found files of one group (a type, or a card folder), in catalogue
// order, each with its name and its tile. A group's rows come either one by one as the thumbnail builder makes their tiles
// (a type with few files), or all at once with tiles made on demand for the rows in view (a type
// with many). The tiles kept are bounded by a TileCache; a row whose tile was dropped gets it
// made again when it is shown. Rows are revealed in batches as the view scrolls to its end.
class FoundFileListModel : public QAbstractListModel {
    Q_OBJECT
public:
    static constexpr std::size_t kTileBudgetBytes = std::size_t{64} << 20;
    static constexpr int kBatchRows = 20000;

    explicit FoundFileListModel(const FoundFileCatalogue& catalogue, std::size_t tileBudgetBytes = kTileBudgetBytes,
                                QObject* parent = nullptr);

    // No rows, no tiles, no requests.
    void Clear();
    // Starts the rows of `group` empty; AddBuiltTile appends them as the builder makes them.
    void BeginBuiltRows(FoundFileGroup group);
    // The builder's tile of the group's file at `position`: a new last row.
    void AddBuiltTile(std::uint64_t position, const QImage& tile);
    // Shows a row for every file of `group` (revealed in batches); tiles come from `fetcher`,
    // which must already serve this group (its generation given), for the rows in view.
    void ShowAllRows(FoundFileGroup group, TileFetcher* fetcher, std::uint64_t generation);
    // What the photos' metadata said (read by the tile workers), and the copies among the found
    // files; both must outlive the model's use of them. Null: not known.
    void SetPhotoFacts(const PhotoFactsTable* facts) { facts_ = facts; }
    void SetDuplicates(const DuplicateMap* duplicates);

    // Shows the rows in this order of positions (each of the group's positions once), or in
    // catalogue order when `positions` is empty. Built rows keep only the positions they have.
    void SetOrder(std::vector<std::uint64_t> positions);
    bool Ordered() const { return ordered_; }

    // The catalogue index of a row's file, and the line of details about it.
    std::uint64_t IndexAt(int row) const;
    QString DetailsAt(int row) const;

    // From now on, rows whose tile is missing ask `fetcher` (serving this group) for it.
    void FetchMissingTiles(TileFetcher* fetcher, std::uint64_t generation);

    const FoundFileGroup& Group() const { return group_; }
    // The type shown; empty for a card folder (and for no rows).
    QString Token() const { return QString::fromStdString(group_.Token()); }
    // The group's files, whether or not their rows are revealed yet.
    std::uint64_t EntryCount() const { return entries_; }
    std::uint64_t PositionAt(int row) const;
    QString NameAt(int row) const;
    // The tile the row has now; nothing while it is being made (a blank tile is shown meanwhile).
    std::optional<QImage> TileAt(int row) const;
    const TileCache& Tiles() const { return tiles_; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

private:
    void OnTileMade(qulonglong generation, qulonglong position, const QImage& tile);
    int RowOf(std::uint64_t position) const;
    QString CopyOf(std::uint64_t index) const;
    void AskForWanted();

    const FoundFileCatalogue& catalogue_;
    FoundFileGroup group_;
    std::uint64_t entries_ = 0;
    int shownRows_ = 0;
    bool allRows_ = false;
    std::vector<std::uint64_t> builtPositions_;  // row → position, for rows the builder made
    std::vector<std::uint64_t> order_;           // row → position when all rows are ordered
    std::vector<std::uint32_t> rowOfOrdered_;    // position → row, with order_
    bool ordered_ = false;                       // rows in an order of SetOrder
    const PhotoFactsTable* facts_ = nullptr;
    const DuplicateMap* duplicates_ = nullptr;
    mutable TileCache tiles_;                    // by position
    QImage pending_;                             // what a row shows until its tile comes
    TileFetcher* fetcher_ = nullptr;
    std::uint64_t generation_ = 0;
    mutable std::vector<std::uint64_t> wanted_;  // positions painted without a tile, in paint order
    mutable bool askQueued_ = false;
};

}  // namespace quorvex::preview
