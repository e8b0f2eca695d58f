#include "FoundFileListModel.h"

#include "DecodedImage.h"
#include "ThumbnailTile.h"
#include "TileFetcher.h"

#include <QLocale>
#include <QMetaObject>
#include <algorithm>

namespace quorvex::preview {

QString FoundFileTip(const FoundFileEntry& entry)
{
    const double kib = static_cast<double>(entry.lengthBytes) / 1024.0;
    const QString size = kib >= 1024 ? QString("%1 MB").arg(kib / 1024.0, 0, 'f', 1) : QString("%1 KB").arg(kib, 0, 'f', 1);
    QString meaning;
    switch (entry.verdict) {
    case Verdict::Complete:
        meaning = "complete: the whole file is there";
        break;
    case Verdict::Damaged:
        meaning = "damaged: part of it was overwritten, or the card stored it in pieces";
        break;
    case Verdict::Truncated:
        meaning = "truncated: its end lies past the Maximum Size or the end of the drive";
        break;
    case Verdict::None:
        break;
    }
    return QString("%1\n%2 (%3 bytes)\n%4")
        .arg(QString::fromStdString(entry.name), size,
             QLocale(QLocale::English, QLocale::UnitedStates).toString(static_cast<qulonglong>(entry.lengthBytes)),
             meaning);
}

FoundFileListModel::FoundFileListModel(const FoundFileCatalogue& catalogue, std::size_t tileBudgetBytes,
                                       QObject* parent)
    : QAbstractListModel(parent), catalogue_(catalogue), tiles_(tileBudgetBytes), pending_(MakeTile(DecodedImage()))
{
}

void FoundFileListModel::Clear()
{
    beginResetModel();
    if (fetcher_ != nullptr)
        disconnect(fetcher_, nullptr, this, nullptr);
    fetcher_ = nullptr;
    token_.clear();
    entries_ = 0;
    shownRows_ = 0;
    allRows_ = false;
    builtPositions_.clear();
    tiles_.Clear();
    wanted_.clear();
    endResetModel();
}

void FoundFileListModel::BeginBuiltRows(const QString& token)
{
    Clear();
    token_ = token;
    entries_ = catalogue_.CountOfType(token.toStdString());
}

void FoundFileListModel::AddBuiltTile(std::uint64_t position, const QImage& tile)
{
    const int row = shownRows_;
    beginInsertRows({}, row, row);
    builtPositions_.push_back(position);
    tiles_.Insert(position, tile);
    ++shownRows_;
    endInsertRows();
}

void FoundFileListModel::ShowAllRows(const QString& token, TileFetcher* fetcher, std::uint64_t generation)
{
    Clear();
    beginResetModel();
    token_ = token;
    entries_ = catalogue_.CountOfType(token.toStdString());
    allRows_ = true;
    shownRows_ = static_cast<int>(std::min<std::uint64_t>(entries_, kBatchRows));
    endResetModel();
    FetchMissingTiles(fetcher, generation);
}

void FoundFileListModel::FetchMissingTiles(TileFetcher* fetcher, std::uint64_t generation)
{
    if (fetcher_ != nullptr)
        disconnect(fetcher_, nullptr, this, nullptr);
    fetcher_ = fetcher;
    generation_ = generation;
    if (fetcher_ != nullptr)
        connect(fetcher_, &TileFetcher::TileMade, this, &FoundFileListModel::OnTileMade, Qt::QueuedConnection);
}

std::uint64_t FoundFileListModel::PositionAt(int row) const
{
    return allRows_ ? static_cast<std::uint64_t>(row) : builtPositions_[static_cast<std::size_t>(row)];
}

QString FoundFileListModel::NameAt(int row) const
{
    if (row < 0 || row >= shownRows_)
        return {};
    const std::uint64_t index = catalogue_.IndexOfTypeEntry(token_.toStdString(), PositionAt(row));
    return QString::fromStdString(catalogue_.EntryAt(index).name);
}

std::optional<QImage> FoundFileListModel::TileAt(int row) const
{
    if (row < 0 || row >= shownRows_)
        return std::nullopt;
    if (const QImage* tile = tiles_.Find(PositionAt(row)))
        return *tile;
    return std::nullopt;
}

int FoundFileListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : shownRows_;
}

QVariant FoundFileListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= shownRows_)
        return {};
    const int row = index.row();
    switch (role) {
    case Qt::DisplayRole:
        return NameAt(row);
    case Qt::DecorationRole: {
        const std::uint64_t position = PositionAt(row);
        if (const QImage* tile = tiles_.Find(position))
            return *tile;
        if (fetcher_ != nullptr) {
            wanted_.push_back(position);
            if (!askQueued_) {
                askQueued_ = true;
                QMetaObject::invokeMethod(const_cast<FoundFileListModel*>(this), &FoundFileListModel::AskForWanted,
                                          Qt::QueuedConnection);
            }
        }
        return pending_;
    }
    case Qt::ToolTipRole:
        if (catalogue_.Mode() == RecoveryMode::Exact)
            return FoundFileTip(catalogue_.EntryAt(catalogue_.IndexOfTypeEntry(token_.toStdString(), PositionAt(row))));
        return {};
    default:
        return {};
    }
}

bool FoundFileListModel::canFetchMore(const QModelIndex& parent) const
{
    return !parent.isValid() && allRows_ && static_cast<std::uint64_t>(shownRows_) < entries_;
}

void FoundFileListModel::fetchMore(const QModelIndex& parent)
{
    if (!canFetchMore(parent))
        return;
    const auto more = static_cast<int>(std::min<std::uint64_t>(entries_ - static_cast<std::uint64_t>(shownRows_), kBatchRows));
    beginInsertRows({}, shownRows_, shownRows_ + more - 1);
    shownRows_ += more;
    endInsertRows();
}

void FoundFileListModel::AskForWanted()
{
    askQueued_ = false;
    if (fetcher_ == nullptr || wanted_.empty()) {
        wanted_.clear();
        return;
    }
    std::vector<std::uint64_t> wanted;
    wanted.swap(wanted_);
    // The newest paint's rows, once each, in the order they were painted.
    std::vector<std::uint64_t> once;
    for (const std::uint64_t position : wanted)
        if (std::find(once.begin(), once.end(), position) == once.end() && !tiles_.Contains(position))
            once.push_back(position);
    fetcher_->Ask(once);
}

void FoundFileListModel::OnTileMade(qulonglong generation, qulonglong position, const QImage& tile)
{
    if (generation != generation_ || fetcher_ == nullptr)
        return;
    tiles_.Insert(position, tile);
    // The row of a position: itself when every row is shown, else looked up among the built rows.
    int row = -1;
    if (allRows_) {
        if (position < static_cast<std::uint64_t>(shownRows_))
            row = static_cast<int>(position);
    } else {
        const auto at = std::find(builtPositions_.begin(), builtPositions_.end(), position);
        if (at != builtPositions_.end())
            row = static_cast<int>(at - builtPositions_.begin());
    }
    if (row >= 0)
        emit dataChanged(index(row), index(row), {Qt::DecorationRole});
}

}  // namespace quorvex::preview
