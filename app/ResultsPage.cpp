#include "ResultsPage.h"

#include "EntryTileMaker.h"

#include "BackgroundTask.h"
#include "CColorLabel.h"
#include "CSkinButton.h"
#include "CTypeTreeCtrl.h"
#include "DialogUnits.h"
#include "ExtentCopy.h"
#include "FoundFileListModel.h"
#include "FoundFileListView.h"
#include "OutputFile.h"
#include "PrivateTempFolder.h"
#include "ResourceTable.h"
#include "ThumbnailBuilder.h"
#include "TileFetcher.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QUrl>
#include <algorithm>
#include <cstring>

namespace quorvex::app {

namespace {
constexpr const char* kRootLabel = "Found File Type";
constexpr const char* kFoldersRootLabel = "Card Folders";
}

ResultsPage::ResultsPage(const WizardControls& frame, const MainDialogEnvironment& env,
                         const FoundFileCatalogue& catalogue, Source source, QObject* parent)
    : QObject(parent), frame_(frame), env_(env), catalogue_(catalogue), source_(std::move(source)),
      model_(std::make_unique<preview::FoundFileListModel>(catalogue)),
      builder_(std::make_unique<preview::ThumbnailBuilder>()), fetcher_(std::make_unique<preview::TileFetcher>()),
      copiesTask_(std::make_unique<preview::BackgroundTask>()), datesTask_(std::make_unique<preview::BackgroundTask>())
{
    QWidget* surface = frame_.surface;
    tree_ = new preview::CTypeTreeCtrl(surface);
    tree_->setGeometry(DialogRect(21, 89, 96, 142));
    tree_->setFont(Verdana(7.5));
    tree_->setUniformRowHeights(true);
    tree_->setStyleSheet("QTreeView::item { height: 18px; }");
    tree_->SetFolderOpener([this](const QString& path) { env_.openUrl(QUrl::fromLocalFile(path).toString()); });
    connect(tree_, &preview::CTypeTreeCtrl::TypeClicked, this, &ResultsPage::BuildThumbnails);
    connect(tree_, &preview::CTypeTreeCtrl::CardFolderClicked, this, &ResultsPage::ShowCardFolder);
    tree_->hide();

    list_ = new preview::FoundFileListView(surface);
    list_->setGeometry(DialogRect(118, 89, 390, 142));
    list_->setModel(model_.get());
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(list_, &QWidget::customContextMenuRequested, this, &ResultsPage::ShowListMenu);
    connect(list_, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& index) { PreviewFoundFile(index.row()); });
    list_->hide();
    model_->SetPhotoFacts(&facts_);

    // Exact recovery: what is known of the current file, under the list.
    details_ = new QLabel(surface);
    details_->setGeometry(DialogRect(21, 234, 350, 10));
    details_->setFont(Verdana(7.5));
    details_->setTextFormat(Qt::PlainText);
    details_->hide();
    connect(list_->selectionModel(), &QItemSelectionModel::currentChanged, this, &ResultsPage::ShowDetails);
    connect(model_.get(), &QAbstractItemModel::dataChanged, this, [this](const QModelIndex& first, const QModelIndex& last) {
        const int current = list_->currentIndex().row();
        if (current >= first.row() && current <= last.row())
            ShowDetails();
    });
    connect(model_.get(), &QAbstractItemModel::modelReset, this, &ResultsPage::ShowDetails);
    connect(datesTask_.get(), &preview::BackgroundTask::Progress, this, [this](int percent) {
        details_->setText(QString("Reading when each photo was taken... %1%").arg(percent));
    });

    scanningPicture_ = new QLabel(surface);
    scanningPicture_->setGeometry(DialogRect(118, 89, 389, 144));
    scanningPicture_->setPixmap(res::LoadBitmap(res::id::kScanning));
    scanningPicture_->hide();

    connect(builder_.get(), &preview::ThumbnailBuilder::Progress, this,
            [this](int percent) { frame_.progress->setValue(percent); }, Qt::QueuedConnection);
    connect(builder_.get(), &preview::ThumbnailBuilder::TileReady, this, &ResultsPage::OnBuiltTile,
            Qt::QueuedConnection);
    connect(builder_.get(), &preview::ThumbnailBuilder::Finished, this, &ResultsPage::OnThumbnailsFinished,
            Qt::QueuedConnection);
}

ResultsPage::~ResultsPage()
{
    builder_->RequestStop();
    builder_->Wait();
    fetcher_->Stop();
    copiesTask_->Stop();
    datesTask_->Stop();
}

void ResultsPage::Show()
{
    for (QWidget* w : std::initializer_list<QWidget*>{tree_, list_, frame_.progress, frame_.stop, frame_.caption})
        w->show();
    details_->setVisible(catalogue_.Mode() == RecoveryMode::Exact);
    frame_.caption->setText("Please click on the file type in tree to preview and save");
}

void ResultsPage::Hide()
{
    for (QWidget* w : std::initializer_list<QWidget*>{tree_, list_, frame_.progress, frame_.stop, frame_.caption, details_})
        w->hide();
    frame_.settings->setEnabled(false);
}

// ---- the tree

QTreeWidgetItem* ResultsPage::InsertTreeNode(const QString& label, QTreeWidgetItem* parent)
{
    // The root goes first at the top level; type nodes are appended in the order found.
    return tree_->InsertItem(label, parent, parent == nullptr);
}

QTreeWidgetItem* ResultsPage::TypeItem(const QString& token) const
{
    if (root_ == nullptr)
        return nullptr;
    for (int i = 0; i < root_->childCount(); ++i)
        if (root_->child(i)->text(0) == token)
            return root_->child(i);
    return nullptr;
}

void ResultsPage::BeginScan()
{
    ReleaseCatalogue();
    tree_->clear();
    foldersRoot_ = nullptr;
    root_ = InsertTreeNode(kRootLabel, nullptr);
    tree_->setEnabled(false);
    list_->setEnabled(false);
    list_->hide();
    scanningPicture_->show();
    frame_.progress->setValue(0);
}

void ResultsPage::OnTypeFound(const QString& token)
{
    if (root_ == nullptr || TypeItem(token) != nullptr)
        return;
    InsertTreeNode(token, root_);
    root_->setExpanded(true);
}

void ResultsPage::OnFoundCounts(const std::vector<TypeCount>& counts)
{
    for (const TypeCount& count : counts)
        if (QTreeWidgetItem* item = TypeItem(QString::fromStdString(count.token)))
            preview::CTypeTreeCtrl::SetCount(item, count.count);
}

bool ResultsPage::EndScan()
{
    tree_->setEnabled(true);
    list_->setEnabled(true);
    list_->show();
    frame_.progress->hide();
    frame_.back->show();
    frame_.stop->hide();
    scanningPicture_->hide();
    details_->setVisible(catalogue_.Mode() == RecoveryMode::Exact);
    FindCopies();
    ShowCardFolders();
    return root_ != nullptr && root_->childCount() > 0;
}

void ResultsPage::ShowCardFolders()
{
    if (catalogue_.Mode() != RecoveryMode::Exact || catalogue_.NamedCount() == 0 || foldersRoot_ != nullptr)
        return;
    foldersRoot_ = tree_->InsertItem(kFoldersRootLabel, nullptr, false);  // after "Found File Type"
    foldersRoot_->setData(0, preview::CTypeTreeCtrl::kCardFolderRole, QString(""));
    for (const auto& [folder, count] : preview::CardFolderCounts(catalogue_)) {
        QTreeWidgetItem* item = foldersRoot_;
        QString path;
        for (const QString& part : QString::fromStdString(folder).split('/', Qt::SkipEmptyParts)) {
            path = path.isEmpty() ? part : path + "/" + part;
            QTreeWidgetItem* child = nullptr;
            for (int i = 0; i < item->childCount() && child == nullptr; ++i)
                if (item->child(i)->data(0, preview::CTypeTreeCtrl::kCardFolderRole).toString() == path)
                    child = item->child(i);
            if (child == nullptr) {
                child = InsertTreeNode(part, item);
                child->setData(0, preview::CTypeTreeCtrl::kCardFolderRole, path);
                item->setExpanded(true);
            }
            item = child;
        }
        preview::CTypeTreeCtrl::SetCount(item, count);
    }
    foldersRoot_->setExpanded(true);
}

QTreeWidgetItem* ResultsPage::CardFolderItem(const QString& folder) const
{
    if (foldersRoot_ == nullptr)
        return nullptr;
    std::vector<QTreeWidgetItem*> items{foldersRoot_};
    while (!items.empty()) {
        QTreeWidgetItem* item = items.back();
        items.pop_back();
        if (item->data(0, preview::CTypeTreeCtrl::kCardFolderRole).toString() == folder)
            return item;
        for (int i = 0; i < item->childCount(); ++i)
            items.push_back(item->child(i));
    }
    return nullptr;
}

void ResultsPage::ShowFoundTypes()
{
    BeginScan();
    // The types in the order of their first file, as a scan would have met them.
    std::vector<std::pair<std::uint64_t, std::string>> firsts;
    for (const TypeSelection& type : catalogue_.Selection().Entries())
        if (catalogue_.CountOfType(type.token) > 0)
            firsts.emplace_back(catalogue_.IndexOfTypeEntry(type.token, 0), type.token);
    std::sort(firsts.begin(), firsts.end());
    std::vector<TypeCount> counts;
    for (const auto& [first, token] : firsts) {
        OnTypeFound(QString::fromStdString(token));
        counts.push_back({token, catalogue_.CountOfType(token)});
    }
    OnFoundCounts(counts);
}

// ---- thumbnails

bool ResultsPage::ThumbnailsRunning() const
{
    return builder_->IsRunning();
}

preview::PhotoFactsTable* ResultsPage::FactsForTiles()
{
    return catalogue_.Mode() == RecoveryMode::Exact ? &facts_ : nullptr;
}

std::uint64_t ResultsPage::ServeTilesOf(const preview::FoundFileGroup& group)
{
    const std::optional<VolumeOpener> opener = source_.opener();
    return fetcher_->Begin(catalogue_, group, opener ? *opener : VolumeOpener{}, QDir::currentPath(), FactsForTiles());
}

void ResultsPage::BuildThumbnails(const QString& token)
{
    ShowGroup(preview::FoundFileGroup::OfType(token.toStdString()));
}

void ResultsPage::ShowCardFolder(const QString& folder)
{
    if (catalogue_.Mode() == RecoveryMode::Exact)
        ShowGroup(preview::FoundFileGroup::OfCardFolder(catalogue_, folder.toStdString()));
}

void ResultsPage::ShowGroup(preview::FoundFileGroup group)
{
    if (builder_->IsRunning() || source_.scanRunning())
        return;
    const std::optional<VolumeOpener> opener = source_.opener();
    if (!opener)
        return;
    fetcher_->Stop();
    datesTask_->Stop();
    if (group.Count(catalogue_) > kBuildOneByOneLimit) {
        // Too many to make one by one: every row now, the tiles of the rows in view first.
        const std::uint64_t generation = ServeTilesOf(group);
        model_->ShowAllRows(std::move(group), fetcher_.get(), generation);
        list_->scrollToTop();
        return;
    }
    frame_.back->hide();
    frame_.next->hide();
    frame_.stop->show();
    frame_.stop->setEnabled(true);
    tree_->setEnabled(false);
    model_->BeginBuiltRows(group);
    frame_.progress->setValue(0);
    frame_.progress->show();
    builderReportPending_ = true;
    builder_->Start(catalogue_, std::move(group), *opener, QDir::currentPath(), FactsForTiles());
}

void ResultsPage::OnBuiltTile(qulonglong position, const QImage& tile)
{
    model_->AddBuiltTile(position, tile);
}

void ResultsPage::OnThumbnailsFinished()
{
    builderReportPending_ = false;
    frame_.back->show();
    frame_.stop->hide();
    list_->setEnabled(true);
    tree_->setEnabled(true);
    frame_.progress->hide();
    // A tile the cache let go is made again when its row is shown.
    model_->FetchMissingTiles(fetcher_.get(), ServeTilesOf(model_->Group()));
    emit ThumbnailsEnded();
}

void ResultsPage::StopThumbnails()
{
    if (builder_->IsRunning())
        builder_->RequestStop();
}

void ResultsPage::WaitForThumbnails()
{
    builder_->Wait();
    while (builderReportPending_)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

void ResultsPage::ReleaseCatalogue()
{
    StopThumbnails();
    WaitForThumbnails();
    fetcher_->Stop();
    copiesTask_->Stop();
    datesTask_->Stop();
    model_->SetDuplicates(nullptr);
    model_->Clear();
    duplicates_.reset();
    facts_.Clear();
}

// ---- what is known of the photos (exact recovery)

void ResultsPage::FindCopies()
{
    const std::optional<VolumeOpener> opener = source_.opener();
    if (catalogue_.Mode() != RecoveryMode::Exact || duplicates_ || copiesTask_->Running() || !opener ||
        catalogue_.FoundCount() < 2)
        return;
    auto found = std::make_shared<std::optional<DuplicateMap>>();
    copiesTask_->Start(
        [this, opener = *opener, found](const std::atomic<int>& stop, const std::function<void(int)>&) {
            VolumeReader reader;
            if (reader.Open(opener).ok()) {
                DuplicateMap map = FindDuplicates(reader, catalogue_, &stop);
                if (!stop.load())
                    *found = std::move(map);
            }
        },
        [this, found] {
            if (!*found)
                return;
            duplicates_ = std::move(*found);
            model_->SetDuplicates(&*duplicates_);
        });
}

void ResultsPage::OrderByCaptureDate()
{
    const std::optional<VolumeOpener> opener = source_.opener();
    const preview::FoundFileGroup group = model_->Group();
    if (catalogue_.Mode() != RecoveryMode::Exact || builder_->IsRunning() || group.Empty() || !opener)
        return;
    auto order = std::make_shared<std::vector<std::uint64_t>>();
    datesTask_->Start(
        [this, opener = *opener, group, order](const std::atomic<int>& stop, const std::function<void(int)>& progress) {
            VolumeReader reader;
            const bool opened = reader.Open(opener).ok();
            const std::uint64_t count = group.Count(catalogue_);
            std::vector<std::pair<CaptureTime, std::uint64_t>> dated;
            std::vector<std::uint64_t> undated;
            int shown = -1;
            for (std::uint64_t position = 0; position < count; ++position) {
                if (stop.load())
                    return;
                const std::uint64_t index = group.IndexAt(catalogue_, position);
                if (!facts_.Has(index) && opened)
                    facts_.Put(index, ReadFoundFileMetadata(reader, catalogue_, index).facts);
                if (const std::optional<CaptureTime> captured = facts_.CapturedAt(index))
                    dated.emplace_back(*captured, position);
                else
                    undated.push_back(position);
                if (const int percent = static_cast<int>(position * 100 / count); percent != shown)
                    progress(shown = percent);
            }
            std::stable_sort(dated.begin(), dated.end());
            order->reserve(static_cast<std::size_t>(count));
            for (const auto& [captured, position] : dated)
                order->push_back(position);
            order->insert(order->end(), undated.begin(), undated.end());
        },
        [this, order, group] {
            if (model_->Group() == group)
                model_->SetOrder(std::move(*order));
        });
}

void ResultsPage::OrderByPosition()
{
    datesTask_->Stop();
    if (model_->Ordered() || !model_->Group().Empty())
        model_->SetOrder({});
}

bool ResultsPage::OrderingRunning() const
{
    return datesTask_->Running();
}

void ResultsPage::WaitForBackgroundWork()
{
    copiesTask_->WaitUntilDone();
    datesTask_->WaitUntilDone();
}

void ResultsPage::ShowDetails()
{
    if (catalogue_.Mode() != RecoveryMode::Exact || datesTask_->Running())
        return;
    const QString details = model_->DetailsAt(list_->currentIndex().row());
    details_->setToolTip(details);
    details_->setText(details_->fontMetrics().elidedText(details, Qt::ElideRight, details_->width()));
}

// ---- the list

std::vector<std::string> ResultsPage::SelectedNames() const
{
    QModelIndexList selected = list_->selectionModel()->selectedIndexes();
    std::sort(selected.begin(), selected.end(), [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    std::vector<std::string> names;
    names.reserve(static_cast<std::size_t>(selected.size()));
    for (const QModelIndex& index : selected)
        names.push_back(model_->NameAt(index.row()).toStdString());
    return names;
}

void ResultsPage::ShowListMenu(const QPoint& position)
{
    QMenu menu(list_);
    QAction* preview = menu.addAction("Preview");
    QAction* recover = menu.addAction("Recover");
    const QModelIndex clicked = list_->indexAt(position);
    preview->setEnabled(clicked.isValid());
    QAction* byDate = nullptr;
    QAction* byPosition = nullptr;
    if (catalogue_.Mode() == RecoveryMode::Exact) {
        menu.addSeparator();
        byDate = menu.addAction("Order by Capture Date");
        byPosition = menu.addAction("Order by Position on the Card");
        byDate->setCheckable(true);
        byPosition->setCheckable(true);
        byDate->setChecked(model_->Ordered());
        byPosition->setChecked(!model_->Ordered());
        const bool canOrder = !builder_->IsRunning() && !model_->Group().Empty();
        byDate->setEnabled(canOrder && !datesTask_->Running());
        byPosition->setEnabled(canOrder);
    }
    QAction* chosen = menu.exec(list_->viewport()->mapToGlobal(position));
    if (chosen != nullptr && chosen == byDate)
        OrderByCaptureDate();
    else if (chosen != nullptr && chosen == byPosition)
        OrderByPosition();
    else if (chosen == recover)
        emit RecoverRequested();
    else if (chosen == preview && clicked.isValid())
        PreviewFoundFile(clicked.row());  // as a double click would
}

void ResultsPage::RemovePreviewFile()
{
    if (!previewFilePath_.isEmpty())
        QFile::remove(previewFilePath_);
}

void ResultsPage::PreviewFoundFile(int row)
{
    if (builder_->IsRunning()) {
        env_.plainNotice("Please stop the current process for preview.");
        return;
    }
    QTreeWidgetItem* type = tree_->currentItem();
    const std::optional<VolumeOpener> opener = source_.opener();
    if (row < 0 || row >= model_->rowCount() || type == nullptr || !opener)
        return;
    const std::string token = type->text(0).toStdString();
    const std::optional<FoundFileEntry> entry = catalogue_.FindByName(model_->NameAt(row).toStdString());
    if (!entry)
        return;
    const QString path = preview::PrivateTempFolder() + "/temp1." + QString::fromStdString(token);
    VolumeReader reader;
    if (!reader.Open(*opener).ok())
        return;  // nothing happens, as when the drive is gone
    OutputFile output;
    if (const int error = output.Create(QFile::encodeName(path).toStdString()); error != 0) {
        env_.notice("The preview copy could not be made:<br>" + path.toHtmlEscaped() + "<br>" +
                    QString::fromLocal8Bit(std::strerror(error)).toHtmlEscaped());
        return;
    }
    SectorBuffer buffer;
    const CopyResult copy = CopyFoundFile(reader, buffer, *entry, output, nullptr);
    output.Close();
    if (copy.status == CopyStatus::WriteFailed) {
        QFile::remove(path);
        env_.notice("The preview copy could not be written:<br>" + path.toHtmlEscaped() + "<br>" +
                    QString::fromLocal8Bit(std::strerror(copy.writeError)).toHtmlEscaped());
        return;
    }
    previewFilePath_ = path;
    if (preview::PlaysAsMedia(token))
        env_.playMedia(path);
    else
        env_.openFile(path);
}

}  // namespace quorvex::app
