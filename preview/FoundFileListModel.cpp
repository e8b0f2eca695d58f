#include "FoundFileListModel.h"

#include "DecodedImage.h"
#include "ThumbnailTile.h"
#include "TileFetcher.h"

#include <QDateTime>
#include <QLocale>
#include <QMetaObject>
#include <algorithm>

namespace quorvex::preview {

namespace {

QString SizeText(std::uint64_t bytes)
{
    const double kib = static_cast<double>(bytes) / 1024.0;
    return kib >= 1024 ? QString("%1 MB").arg(kib / 1024.0, 0, 'f', 1) : QString("%1 KB").arg(kib, 0, 'f', 1);
}

// What the card's file system says of a file: its folder there, live or deleted, and its time.
QString CardNameText(const CardName& name)
{
    QString text = QString("on the card in /%1, %2").arg(QString::fromStdString(name.folder),
                                                         name.deleted ? "deleted" : "not deleted");
    if (name.modified != 0)
        text += ", changed " + QDateTime::fromSecsSinceEpoch(name.modified, Qt::UTC).toString("yyyy-MM-dd hh:mm:ss");
    return text;
}

QString PixelsText(const PhotoFacts& facts)
{
    return QString("%1 × %2").arg(facts.width).arg(facts.height);
}

}  // namespace

QString FoundFileTip(const FoundFileEntry& entry, const std::optional<PhotoFacts>& facts, const QString& copyOf)
{
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
    case Verdict::Reassembled:
        meaning = QString("reassembled: the card stored it in %1 pieces, put back together").arg(entry.fragments.size());
        break;
    case Verdict::None:
        break;
    }
    QString tip = QString("%1\n%2 (%3 bytes)\n%4")
                      .arg(QString::fromStdString(entry.name), SizeText(entry.lengthBytes),
                           QLocale(QLocale::English, QLocale::UnitedStates).toString(static_cast<qulonglong>(entry.lengthBytes)),
                           meaning);
    if (facts && facts->captured)
        tip += "\nTaken " + QString::fromStdString(facts->captured->Shown());
    if (facts && !facts->camera.empty())
        tip += "\nCamera: " + QString::fromStdString(facts->camera);
    if (facts && facts->width > 0)
        tip += "\n" + PixelsText(*facts) + " pixels";
    if (!copyOf.isEmpty())
        tip += "\nA copy of " + copyOf + " (the same bytes)";
    if (entry.cardName)
        tip += "\n" + CardNameText(*entry.cardName);
    return tip;
}

QString FoundFileDetails(const FoundFileEntry& entry, const std::optional<PhotoFacts>& facts, const QString& copyOf)
{
    QStringList parts{QString::fromStdString(entry.name)};
    if (facts && facts->captured)
        parts << "taken " + QString::fromStdString(facts->captured->Shown());
    if (facts && !facts->camera.empty())
        parts << QString::fromStdString(facts->camera);
    if (facts && facts->width > 0)
        parts << PixelsText(*facts);
    parts << SizeText(entry.lengthBytes);
    if (entry.verdict != Verdict::None)
        parts << QString::fromUtf8(VerdictName(entry.verdict));
    if (!copyOf.isEmpty())
        parts << "copy of " + copyOf;
    if (entry.cardName) {
        // What the card said comes first: the line is cut at the list's width.
        parts.front() = QString::fromStdString(entry.cardName->name);
        parts.insert(1, CardNameText(*entry.cardName));
    }
    return parts.join(" · ");
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
    group_ = {};
    entries_ = 0;
    shownRows_ = 0;
    allRows_ = false;
    builtPositions_.clear();
    order_.clear();
    rowOfOrdered_.clear();
    ordered_ = false;
    tiles_.Clear();
    wanted_.clear();
    endResetModel();
}

void FoundFileListModel::BeginBuiltRows(FoundFileGroup group)
{
    Clear();
    group_ = std::move(group);
    entries_ = group_.Count(catalogue_);
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

void FoundFileListModel::ShowAllRows(FoundFileGroup group, TileFetcher* fetcher, std::uint64_t generation)
{
    Clear();
    beginResetModel();
    group_ = std::move(group);
    entries_ = group_.Count(catalogue_);
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
    if (!allRows_)
        return builtPositions_[static_cast<std::size_t>(row)];
    return order_.empty() ? static_cast<std::uint64_t>(row) : order_[static_cast<std::size_t>(row)];
}

std::uint64_t FoundFileListModel::IndexAt(int row) const
{
    return group_.IndexAt(catalogue_, PositionAt(row));
}

QString FoundFileListModel::NameAt(int row) const
{
    if (row < 0 || row >= shownRows_)
        return {};
    return QString::fromStdString(catalogue_.EntryAt(IndexAt(row)).name);
}

QString FoundFileListModel::CopyOf(std::uint64_t index) const
{
    if (duplicates_ == nullptr)
        return {};
    const std::optional<std::uint64_t> original = duplicates_->OriginalOf(index);
    return original ? QString::fromStdString(catalogue_.EntryAt(*original).name) : QString();
}

QString FoundFileListModel::DetailsAt(int row) const
{
    if (row < 0 || row >= shownRows_)
        return {};
    const std::uint64_t index = IndexAt(row);
    return FoundFileDetails(catalogue_.EntryAt(index), facts_ ? facts_->Get(index) : std::nullopt, CopyOf(index));
}

void FoundFileListModel::SetDuplicates(const DuplicateMap* duplicates)
{
    duplicates_ = duplicates;
    if (shownRows_ > 0)
        emit dataChanged(index(0), index(shownRows_ - 1), {Qt::ToolTipRole, kCopyOfRole});
}

void FoundFileListModel::SetOrder(std::vector<std::uint64_t> positions)
{
    beginResetModel();
    ordered_ = !positions.empty();
    if (allRows_) {
        order_ = std::move(positions);
        rowOfOrdered_.assign(order_.empty() ? 0 : static_cast<std::size_t>(entries_), 0);
        for (std::size_t row = 0; row < order_.size(); ++row)
            rowOfOrdered_[static_cast<std::size_t>(order_[row])] = static_cast<std::uint32_t>(row);
    } else {
        // The built rows (all of the type's, unless the builder was stopped) in the order's sequence.
        std::vector<std::uint64_t> rank(static_cast<std::size_t>(entries_));
        for (std::size_t i = 0; i < rank.size(); ++i)
            rank[i] = positions.empty() ? i : UINT64_MAX;
        for (std::size_t i = 0; i < positions.size(); ++i)
            rank[static_cast<std::size_t>(positions[i])] = i;
        std::stable_sort(builtPositions_.begin(), builtPositions_.end(),
                         [&](std::uint64_t a, std::uint64_t b) { return rank[a] < rank[b]; });
    }
    endResetModel();
}

int FoundFileListModel::RowOf(std::uint64_t position) const
{
    if (allRows_) {
        const std::uint64_t row = order_.empty() ? position : rowOfOrdered_[static_cast<std::size_t>(position)];
        return row < static_cast<std::uint64_t>(shownRows_) ? static_cast<int>(row) : -1;
    }
    const auto at = std::find(builtPositions_.begin(), builtPositions_.end(), position);
    return at != builtPositions_.end() ? static_cast<int>(at - builtPositions_.begin()) : -1;
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
    case Qt::DisplayRole: {
        // A file the card still names is shown by that name; it is found (and saved, unless the
        // names are kept) by its found name.
        if (catalogue_.NamedCount() > 0)
            if (const CardName* name = catalogue_.CardNameAt(IndexAt(row)))
                return QString::fromStdString(name->name);
        return NameAt(row);
    }
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
    case Qt::ToolTipRole: {
        if (catalogue_.Mode() != RecoveryMode::Exact)
            return {};
        const std::uint64_t at = IndexAt(row);
        return FoundFileTip(catalogue_.EntryAt(at), facts_ ? facts_->Get(at) : std::nullopt, CopyOf(at));
    }
    case kCopyOfRole:
        return CopyOf(IndexAt(row));
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
    // The tile's worker may have read the photo's facts too: the tooltip changes with it.
    if (const int row = RowOf(position); row >= 0)
        emit dataChanged(index(row), index(row), {Qt::DecorationRole, Qt::ToolTipRole});
}

}  // namespace quorvex::preview
