#pragma once

#include "DuplicateFinder.h"
#include "FoundFileCatalogue.h"
#include "FoundFileGroup.h"
#include "PhotoFactsTable.h"
#include "MainDialogEnvironment.h"
#include "ScanObserver.h"
#include "WizardControls.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QLabel;
class QTreeWidgetItem;

namespace quorvex::preview {
class BackgroundTask;
class CTypeTreeCtrl;
class FoundFileListModel;
class FoundFileListView;
class ThumbnailBuilder;
class TileFetcher;
}  // namespace quorvex::preview

namespace quorvex::app {

// The wizard's last page: the tree of found types (with their counts) and the list of one type's
// found files with their tiles. A type with few files gets its tiles one by one with progress and
// Stop; a type with many shows every file at once and makes the tiles of the rows in view first.
// Double click previews a file. In exact recovery the tiles' workers read each photo's metadata
// (its facts show in the tooltip and in a line of details under the list), the copies among the
// found files are looked for once the scan has ended, and the list can be ordered by capture date.
class ResultsPage : public QObject {
    Q_OBJECT
public:
    // Types with more files than this show all their rows at once, tiles made on demand.
    static constexpr std::uint64_t kBuildOneByOneLimit = 1000;

    struct Source {
        std::function<std::optional<VolumeOpener>()> opener;  // the scanned drive's, if one is chosen
        std::function<bool()> scanRunning;
    };

    ResultsPage(const WizardControls& frame, const MainDialogEnvironment& env, const FoundFileCatalogue& catalogue,
                Source source, QObject* parent = nullptr);
    ~ResultsPage() override;

    void Show();
    void Hide();

    // A scan starts: both controls cleared and disabled, the list hidden behind the scanning picture.
    void BeginScan();
    void OnTypeFound(const QString& token);
    void OnFoundCounts(const std::vector<TypeCount>& counts);
    // The scan has ended: the controls are usable again. Returns whether anything was found.
    bool EndScan();
    // Shows the types of a catalogue found earlier (results opened or resumed), no scan running.
    void ShowFoundTypes();

    // The tiles of one type: one by one on the thumbnail worker, or all rows at once.
    void BuildThumbnails(const QString& token);
    // The files the card kept in `folder` ("" for its root), in the list (exact recovery).
    void ShowCardFolder(const QString& folder);
    // The item of a card folder in the tree's "Card Folders" view, or null.
    QTreeWidgetItem* CardFolderItem(const QString& folder) const;
    bool ThumbnailsRunning() const;
    void StopThumbnails();
    // Waits until the thumbnail worker has ended and its reports have been handled.
    void WaitForThumbnails();
    // Ends every worker that reads the catalogue and empties the list: the catalogue may change.
    void ReleaseCatalogue();

    // Exact recovery: the copies among the found files, once the search for them has ended.
    const DuplicateMap* Duplicates() const { return duplicates_ ? &*duplicates_ : nullptr; }
    const preview::PhotoFactsTable& Facts() const { return facts_; }
    // Orders the list by when each photo was taken (its metadata read first, off the window
    // thread), photos without a date last; or back in the order found on the card.
    void OrderByCaptureDate();
    void OrderByPosition();
    bool OrderingRunning() const;
    // Waits for the background searches (copies, capture dates) and handles their ends (for tests).
    void WaitForBackgroundWork();
    QLabel* DetailsLine() const { return details_; }

    // The names of the selected files, in list order.
    std::vector<std::string> SelectedNames() const;
    // Copies a found file to the private temporary folder and shows it (double click on a row).
    void PreviewFoundFile(int row);
    QString PreviewFilePath() const { return previewFilePath_; }
    void RemovePreviewFile();

    preview::CTypeTreeCtrl* TypeTree() const { return tree_; }
    preview::FoundFileListView* List() const { return list_; }
    preview::FoundFileListModel* ListModel() const { return model_.get(); }
    preview::TileFetcher* Fetcher() const { return fetcher_.get(); }
    QLabel* ScanningPicture() const { return scanningPicture_; }
    QTreeWidgetItem* TypeItem(const QString& token) const;

signals:
    void ThumbnailsEnded();
    // "Recover" in the list's menu: save the selected files.
    void RecoverRequested();

private:
    QTreeWidgetItem* InsertTreeNode(const QString& label, QTreeWidgetItem* parent);
    void OnBuiltTile(qulonglong position, const QImage& tile);
    void OnThumbnailsFinished();
    void ShowListMenu(const QPoint& position);
    std::uint64_t ServeTilesOf(const preview::FoundFileGroup& group);
    void ShowGroup(preview::FoundFileGroup group);
    // The tree's second view: the card's folders as they were, each with the count of the files
    // found that it held (exact recovery, when the card named any).
    void ShowCardFolders();
    // The facts table the tile workers fill: in exact recovery only.
    preview::PhotoFactsTable* FactsForTiles();
    void FindCopies();
    void ShowDetails();

    WizardControls frame_;
    const MainDialogEnvironment& env_;
    const FoundFileCatalogue& catalogue_;
    Source source_;
    preview::CTypeTreeCtrl* tree_ = nullptr;
    QTreeWidgetItem* root_ = nullptr;
    QTreeWidgetItem* foldersRoot_ = nullptr;  // "Card Folders"
    preview::FoundFileListView* list_ = nullptr;
    QLabel* scanningPicture_ = nullptr;
    QLabel* details_ = nullptr;
    preview::PhotoFactsTable facts_;
    std::optional<DuplicateMap> duplicates_;

    std::unique_ptr<preview::FoundFileListModel> model_;
    std::unique_ptr<preview::ThumbnailBuilder> builder_;
    std::unique_ptr<preview::TileFetcher> fetcher_;
    std::unique_ptr<preview::BackgroundTask> copiesTask_;
    std::unique_ptr<preview::BackgroundTask> datesTask_;
    bool builderReportPending_ = false;
    QString previewFilePath_;
};

}  // namespace quorvex::app
