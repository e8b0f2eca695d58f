// The results page, offscreen: the type tree's clicks, checks and menu, thumbnails on their
// worker, the preview of one file, and saving through the progress dialog.
#include "CSkinButton.h"
#include "CTypeTreeCtrl.h"
#include "FileTypeList.h"
#include "FileVolumeSource.h"
#include "MainDialog.h"
#include "MediaPreviewDialog.h"
#include "MemoryVolumeSource.h"
#include "PictureEncoders.h"
#include "ExifWriter.h"
#include "FoundFileListModel.h"
#include "ResultsPage.h"
#include "PrivateTempFolder.h"
#include "SaveProgressDialog.h"
#include "FakeSysfs.h"
#include "SmallFileSystem.h"
#include "TempFolder.h"
#include "TestWorld.h"

#include "ModernFiles.h"
#include "CameraFiles.h"
#include "EntryTileMaker.h"
#include <random>

#include <QCheckBox>
#include <QLabel>
#include "FoundFileListView.h"
#include <QMenu>
#include <QProgressBar>
#include <QTreeWidget>
#include <QtTest>
#include <random>
#include <fstream>
#include <future>

using namespace quorvex;
using namespace quorvex::app;
using quorvex::testing::World;
namespace fx = quorvex::fixtures;

namespace {

// A card image in memory: `jpegs` JPEGs, `bitmaps` BMPs and `riffs` WAVE files, each at a
// cluster of its own, every file different.
std::vector<unsigned char> CardWith(int jpegs, int bitmaps, int riffs)
{
    auto volume = quorvex::testing::MakeVolumeBytes(4096);
    std::uint64_t sector = 8;
    for (int i = 0; i < jpegs; ++i, sector += 64)
        quorvex::testing::PutAtSector(volume, sector, fx::EncodeJpegJfif(fx::MakeScene(120, 80 + i * 10, i), 85));
    for (int i = 0; i < bitmaps; ++i, sector += 64)
        quorvex::testing::PutAtSector(volume, sector, fx::EncodeBmp(fx::MakeScene(40, 30, i)));
    for (int i = 0; i < riffs; ++i, sector += 8)
        quorvex::testing::PutAtSector(volume, sector, fx::EncodeWav(8000, 100, 440 + i));
    return volume;
}

std::function<VolumeOpenResult()> MemoryOpener(std::vector<unsigned char> bytes,
                                               std::function<void(std::uint64_t)> onRead = {})
{
    auto shared = std::make_shared<std::vector<unsigned char>>(std::move(bytes));
    return [shared, onRead] {
        auto faulty = std::make_unique<quorvex::testing::FaultyVolumeSource>(
            std::make_unique<quorvex::testing::MemoryVolumeSource>(*shared));
        if (onRead)
            faulty->OnRead(onRead);
        VolumeOpenResult result;
        result.source = std::move(faulty);
        return result;
    };
}

// Holds the worker that first reads a sector in [first, last) until the test releases it, so the
// test can act while the worker is known to be in the middle of that file.
class ReadGate {
public:
    ReadGate(std::uint64_t first, std::uint64_t last) : first_(first), last_(last), release_(releasePromise_.get_future().share()) {}
    // The volume's read hook.
    std::function<void(std::uint64_t)> Hook()
    {
        return [this](std::uint64_t offset) {
            const std::uint64_t sector = offset / 512;
            if (armed_.load() && sector >= first_ && sector < last_ && !reached_.exchange(true)) {
                reachedPromise_.set_value();
                release_.wait();
            }
        };
    }
    void Arm() { armed_ = true; }
    void WaitUntilReached() { reachedPromise_.get_future().wait(); }
    void Release() { releasePromise_.set_value(); }

private:
    std::uint64_t first_, last_;
    std::promise<void> reachedPromise_, releasePromise_;
    std::shared_future<void> release_;
    std::atomic<bool> armed_{false}, reached_{false};
};

// Drives the window to the results page with a finished scan of the world's volume.
void ScanTo(MainDialog& dialog, int figureKb = 64, bool exact = false)
{
    QTreeWidget* list = dialog.DriveList();
    list->setCurrentItem(list->topLevelItem(0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->topLevelItem(0)).center());
    dialog.OnNext();
    dialog.SetSettings("FoundFile", QString::number(figureKb));
    dialog.ExactRecoveryBox()->setChecked(exact);
    dialog.OnNext();
    dialog.WaitForScan();
}

// The main window on the results page after a finished scan of the volume `opener` gives.
struct ScannedCard {
    explicit ScannedCard(std::function<VolumeOpenResult()> opener, int figureKb = 64, bool exact = false)
    {
        world.opener = std::move(opener);
        dialog.show();
        ScanTo(dialog, figureKb, exact);
    }
    World world;
    MainDialog dialog{world.Environment()};
};

QTreeWidgetItem* TypeNode(MainDialog& dialog, const QString& token)
{
    QTreeWidgetItem* root = dialog.ResultsTree()->topLevelItem(0);
    for (int i = 0; i < root->childCount(); ++i)
        if (root->child(i)->text(0) == token)
            return root->child(i);
    return nullptr;
}

void ClickItem(QTreeWidget* tree, QTreeWidgetItem* item, Qt::MouseButton button = Qt::LeftButton)
{
    QTest::mouseClick(tree->viewport(), button, {}, tree->visualItemRect(item).center());
}

QStringList MenuTexts(QMenu* menu)
{
    QStringList texts;
    for (QAction* action : menu->actions())
        texts << (action->isSeparator() ? QString("--") : action->text());
    return texts;
}

}  // namespace

class ResultsPageTest : public QObject {
    Q_OBJECT

private slots:
    void theCardsFoldersAreASecondViewThatShowsWhatEachHeld()
    {
        // A FAT32 card written with mtools: two photos in DCIM/100CANON (one deleted), one in Pictures.
        quorvex::testing::TempFolder folder;
        const std::string img = "'" + (folder / "card.img").string() + "'";
        std::string command = "MTOOLS_SKIP_CHECK=1 sh -c \"truncate -s 40M " + img + " && mkfs.vfat -F 32 -s 1 " + img +
                              " && mmd -i " + img + " ::/DCIM && mmd -i " + img + " ::/DCIM/100CANON && mmd -i " + img + " ::/Pictures";
        const char* names[] = {"DCIM/100CANON/IMG_0001.JPG", "DCIM/100CANON/IMG_0002.JPG", "Pictures/Sea view.jpg"};
        for (int i = 0; i < 3; ++i) {
            const auto photo = folder / ("p" + std::to_string(i) + ".jpg");
            const fx::Bytes bytes = fx::EncodeJpegJfif(fx::MakeScene(120, 90, i), 85);
            std::ofstream(photo, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
            command += " && mcopy -i " + img + " '" + photo.string() + "' '::/" + names[i] + "'";
        }
        command += " && mdel -i " + img + " ::/DCIM/100CANON/IMG_0002.JPG\" >/dev/null 2>&1";
        if (std::system(command.c_str()) != 0)
            QSKIP("mkfs.vfat or mtools is not installed");
        const std::string path = (folder / "card.img").string();
        ScannedCard card([path] { return FileVolumeSource::Open(path); }, 20480, true);
        MainDialog& dialog = card.dialog;
        QTreeWidget* tree = dialog.ResultsTree();
        QCOMPARE(tree->topLevelItemCount(), 2);
        QTreeWidgetItem* folders = tree->topLevelItem(1);
        QCOMPARE(folders->text(0), QString("Card Folders"));
        QCOMPARE(folders->childCount(), 2);  // DCIM and Pictures
        QTreeWidgetItem* dcim = folders->child(0);
        QCOMPARE(dcim->text(0), QString("DCIM"));
        QCOMPARE(dcim->childCount(), 1);
        QTreeWidgetItem* canon = dcim->child(0);
        QCOMPARE(preview::CTypeTreeCtrl::DisplayedLabel(canon), QString("100CANON (2)"));
        // A folder named like a type is a folder all the same.
        ClickItem(tree, canon);
        dialog.WaitForThumbnails();
        QCOMPARE(dialog.ResultsList()->Count(), 2);
        QCOMPARE(dialog.ResultsList()->NameAt(0), QString("IMG_0001.JPG"));
        QCOMPARE(dialog.ResultsList()->NameAt(1), QString("IMG_0002.JPG"));
        const QString tip = dialog.ResultsList()->model()->index(1, 0).data(Qt::ToolTipRole).toString();
        QVERIFY2(tip.contains("on the card in /DCIM/100CANON, deleted"), qPrintable(tip));
        ClickItem(tree, folders->child(1));
        dialog.WaitForThumbnails();
        QCOMPARE(dialog.ResultsList()->Count(), 1);
        QCOMPARE(dialog.ResultsList()->NameAt(0), QString("Sea view.jpg"));
        // The type view is still there, with every file under its type.
        QTreeWidgetItem* jpg = TypeNode(dialog, "JPG");
        QVERIFY(jpg != nullptr);
        ClickItem(tree, jpg);
        dialog.WaitForThumbnails();
        QCOMPARE(dialog.ResultsList()->Count(), 3);
    }

    void aTreeWithOnlyItsRootExpandsAndStartsNothing()
    {
        ScannedCard card(MemoryOpener(quorvex::testing::MakeVolumeBytes(64)));
        MainDialog& dialog = card.dialog;
        QTreeWidgetItem* root = dialog.ResultsTree()->topLevelItem(0);
        QCOMPARE(root->childCount(), 0);
        const bool expanded = root->isExpanded();
        ClickItem(dialog.ResultsTree(), root);
        QCOMPARE(root->isExpanded(), !expanded);
        QVERIFY(!dialog.ThumbnailsRunning());
        QCOMPARE(dialog.ResultsList()->Count(), 0);
    }

    void clickingATypeBuildsItsTilesOneByOneAndTogglesTheItem()
    {
        ScannedCard card(MemoryOpener(CardWith(3, 2, 0)));
        MainDialog& dialog = card.dialog;
        QTreeWidgetItem* jpg = TypeNode(dialog, "JPG");
        QVERIFY(jpg != nullptr);
        const bool expanded = jpg->isExpanded();
        ClickItem(dialog.ResultsTree(), jpg);
        QCOMPARE(jpg->isExpanded(), !expanded);
        QVERIFY(!dialog.ResultsTree()->isEnabled());
        dialog.WaitForThumbnails();
        QCOMPARE(dialog.ResultsList()->Count(), 3);
        QCOMPARE(dialog.ResultsList()->NameAt(0), QString("FoundFileJPG1.JPG"));
        QCOMPARE(dialog.ResultsList()->NameAt(2), QString("FoundFileJPG3.JPG"));
        QVERIFY(dialog.ResultsTree()->isEnabled());
        QVERIFY(!dialog.Progress()->isVisible());
        // The tile shows the picture: not a blank white tile.
        const QImage tile = dialog.ResultsList()->TileAt(0);
        QVERIFY(tile.pixel(50, 50) != qRgb(255, 255, 255));
        QCOMPARE(tile.pixel(0, 0), qRgb(0xC0, 0xC0, 0xC0));
        // No temporary copies: pictures are read straight from the volume.
        QVERIFY(!QFile::exists(preview::PrivateTempFolder() + "/temp.JPG"));
    }

    void aTypeWithoutEntriesLeavesTheListEmpty()
    {
        ScannedCard card(MemoryOpener(CardWith(2, 0, 0)));
        MainDialog& dialog = card.dialog;
        dialog.BuildThumbnails("NEF");
        dialog.WaitForThumbnails();
        QCOMPARE(dialog.ResultsList()->Count(), 0);
        QVERIFY(!dialog.Progress()->isVisible());
    }

    void stoppingDuringTheThirdJpegLeavesTwoItems()
    {
        ReadGate third(8 + 128, 8 + 192);  // the third JPEG starts at sector 8 + 2 × 64
        ScannedCard card(MemoryOpener(CardWith(5, 0, 0), third.Hook()));
        MainDialog& dialog = card.dialog;
        third.Arm();
        dialog.BuildThumbnails("JPG");
        third.WaitUntilReached();
        dialog.StopWork();
        third.Release();
        dialog.WaitForThumbnails();
        QCOMPARE(dialog.ResultsList()->Count(), 2);
        QVERIFY(!QFile::exists(preview::PrivateTempFolder() + "/temp.JPG"));
    }

    void thirtyRiffEntriesShareOnePlaceholder()
    {
        ScannedCard card(MemoryOpener(CardWith(0, 0, 30)));
        MainDialog& dialog = card.dialog;
        dialog.BuildThumbnails("RIFF");
        dialog.WaitForThumbnails();
        QCOMPARE(dialog.ResultsList()->Count(), 30);
        const qint64 key = dialog.ResultsList()->TileAt(0).cacheKey();
        for (int i = 1; i < 30; ++i)
            QCOMPARE(dialog.ResultsList()->TileAt(i).cacheKey(), key);
    }

    void theCheckMenuOfATypeItemAndItsBoldMarks()
    {
        preview::CTypeTreeCtrl tree;
        QTreeWidgetItem* root = tree.InsertItem("Found File Type", nullptr, true);
        QTreeWidgetItem* jpg = tree.InsertItem("JPG", root, false);
        tree.InsertItem("BMP", root, false);
        std::unique_ptr<QMenu> menu(tree.BuildContextMenu(jpg));
        QVERIFY(MenuTexts(menu.get()).contains("Deselect this folder and all SubFolder"));
        tree.RunCommand(preview::CTypeTreeCtrl::kDeselectSubtreeCommand, jpg);
        QVERIFY(!tree.IsBold(jpg));
        menu.reset(tree.BuildContextMenu(jpg));
        QVERIFY(MenuTexts(menu.get()).contains("Select this folder and all SubFolder"));
        tree.RunCommand(preview::CTypeTreeCtrl::kSelectSubtreeCommand, jpg);
        QVERIFY(tree.IsBold(jpg));
        QVERIFY(tree.IsBold(root));  // BMP still counts as checked in its initial state
        tree.RunCommand(preview::CTypeTreeCtrl::kDeselectSubtreeCommand, jpg);
        QVERIFY(!tree.IsBold(jpg));
        QVERIFY(!tree.IsBold(root));
        QCOMPARE(preview::CTypeTreeCtrl::FolderPath(jpg), QString("Found File Type/JPG/"));
    }

    void theRootsMenuOffersTheDiskPaddedAndListsCheckedChildren()
    {
        preview::CTypeTreeCtrl tree;
        QTreeWidgetItem* root = tree.InsertItem("Found File Type", nullptr, true);
        QTreeWidgetItem* jpg = tree.InsertItem("JPG", root, false);
        std::unique_ptr<QMenu> menu(tree.BuildContextMenu(root));
        const QStringList texts = MenuTexts(menu.get());
        QCOMPARE(texts[0], QString(27, ' ') + "Display Disk F" + QString(28, ' '));
        QCOMPARE(texts.last(), QString("0 Subfolder Selected"));
        tree.RunCommand(preview::CTypeTreeCtrl::kSelectSubtreeCommand, jpg);
        menu.reset(tree.BuildContextMenu(root));
        QCOMPARE(MenuTexts(menu.get()).last(), QString("Found File Type/JPG/"));
        menu.reset(tree.BuildContextMenu(jpg));
        QCOMPARE(MenuTexts(menu.get())[0], QString(27, ' ') + "Display Folder JPG" + QString(28, ' '));
        // Its command opens that folder; without an opener it does nothing.
        tree.RunCommand(preview::CTypeTreeCtrl::kDisplayFolderCommand, jpg);
        QStringList opened;
        tree.SetFolderOpener([&](const QString& path) { opened << path; });
        tree.RunCommand(preview::CTypeTreeCtrl::kDisplayFolderCommand, jpg);
        QCOMPARE(opened, QStringList{"Found File Type/JPG/"});
        QCOMPARE(preview::CTypeTreeCtrl::IconResourceFor("JPG", false), 175);
        QCOMPARE(preview::CTypeTreeCtrl::IconResourceFor("Found File Type", true), 179);
        QCOMPARE(preview::CTypeTreeCtrl::IconResourceFor("Found File Type", false), 180);
    }

    void theMenuHasItsTwoSeparatorsAndSubFoldersAreListedOnce()
    {
        // The folder path of an item is relative to the current directory.
        const QString previous = QDir::currentPath();
        QTemporaryDir here;
        QVERIFY(QDir(here.path()).mkpath("Found File Type/JPG/holiday"));
        QVERIFY(QDir(here.path()).mkpath("Found File Type/JPG/party"));
        QDir::setCurrent(here.path());
        preview::CTypeTreeCtrl tree;
        QTreeWidgetItem* root = tree.InsertItem("Found File Type", nullptr, true);
        QTreeWidgetItem* jpg = tree.InsertItem("JPG", root, false);
        tree.ListSubFolders(jpg);
        tree.ListSubFolders(jpg);
        QDir::setCurrent(previous);
        QCOMPARE(jpg->childCount(), 2);
        QCOMPARE(jpg->child(0)->text(0), QString("holiday"));
        QCOMPARE(jpg->child(1)->text(0), QString("party"));
        std::unique_ptr<QMenu> menu(tree.BuildContextMenu(jpg));
        const QStringList texts = MenuTexts(menu.get());
        QCOMPARE(texts.size(), 6);  // display, --, deselect, --, the two checked folders
        QCOMPARE(texts[1], QString("--"));
        QCOMPARE(texts[2], QString("Deselect this folder and all SubFolder"));
        QCOMPARE(texts[3], QString("--"));
        QCOMPARE(texts[4], QString("Found File Type/JPG/holiday/"));
    }

    void previewingTwoJpegsOverwritesOneCopyOfTheFullExtent()
    {
        const auto volume = CardWith(2, 0, 0);
        ScannedCard card(MemoryOpener(volume), 16);
        World& world = card.world;
        MainDialog& dialog = card.dialog;
        dialog.ResultsTree()->setCurrentItem(TypeNode(dialog, "JPG"));
        dialog.BuildThumbnails("JPG");
        dialog.WaitForThumbnails();
        const QString path = preview::PrivateTempFolder() + "/temp1.JPG";
        dialog.PreviewFoundFile(0);
        QCOMPARE(world.openedFiles, std::vector<QString>{path});
        QCOMPARE(QFileInfo(path).size(), 16 * 1024);
        dialog.PreviewFoundFile(1);
        QCOMPARE(world.openedFiles.size(), std::size_t(2));
        QFile copy(path);
        QVERIFY(copy.open(QIODevice::ReadOnly));
        const QByteArray bytes = copy.readAll();
        QCOMPARE(bytes.size(), 16 * 1024);
        QCOMPARE(bytes.left(64), QByteArray(reinterpret_cast<const char*>(volume.data()) + 72 * 512, 64));
        QCOMPARE(dialog.PreviewFilePath(), path);
        dialog.OnBack();  // Back deletes the latest preview copy
        QVERIFY(!QFile::exists(path));
    }

    void aPreviewDuringThumbnailsOnlyShowsTheNotice()
    {
        ReadGate second(8 + 64, 8 + 128);
        ScannedCard card(MemoryOpener(CardWith(3, 0, 0), second.Hook()));
        World& world = card.world;
        MainDialog& dialog = card.dialog;
        second.Arm();
        dialog.BuildThumbnails("JPG");
        second.WaitUntilReached();
        QCoreApplication::processEvents();
        dialog.PreviewFoundFile(0);
        QCOMPARE(world.plainNotices, std::vector<QString>{"Please stop the current process for preview."});
        QVERIFY(world.openedFiles.empty());
        second.Release();
        dialog.WaitForThumbnails();
    }

    void theMediaPreviewDeletesItsCopyOnEnterAndCloseButNotOnEscape()
    {
        quorvex::testing::TempFolder folder;
        auto make = [&](const char* name) {
            const QString path = QString::fromStdString((folder / name).string());
            QFile file(path);
            file.open(QIODevice::WriteOnly);
            const auto wav = fx::EncodeWav(8000, 200, 440);
            file.write(reinterpret_cast<const char*>(wav.data()), static_cast<qint64>(wav.size()));
            return path;
        };
        {
            const QString path = make("a.RIFF");
            preview::MediaPreviewDialog dialog(path);
            dialog.show();
            QCOMPARE(dialog.windowTitle(), QString("Media Preview"));
            QTest::keyClick(&dialog, Qt::Key_Return);
            QVERIFY(!QFile::exists(path));
        }
        {
            const QString path = make("b.RIFF");
            preview::MediaPreviewDialog dialog(path);
            dialog.show();
            QTest::keyClick(&dialog, Qt::Key_Escape);
            QVERIFY(!dialog.isVisible());
            QVERIFY(QFile::exists(path));
        }
        {
            const QString path = make("c.RIFF");
            preview::MediaPreviewDialog dialog(path);
            dialog.show();
            dialog.close();
            QVERIFY(!QFile::exists(path));
        }
    }

    void tenSelectedItemsSaveExactlyTenFiles()
    {
        quorvex::testing::TempFolder out;
        ScannedCard card(MemoryOpener(CardWith(0, 12, 0)), 4);
        card.world.folder = QString::fromStdString(out.Path().string());
        World& world = card.world;
        MainDialog& dialog = card.dialog;
        dialog.BuildThumbnails("BMP");
        dialog.WaitForThumbnails();
        QCOMPARE(dialog.ResultsList()->Count(), 12);
        for (int i = 0; i < 10; ++i)
            dialog.ResultsList()->SelectRow(i);
        dialog.OnSave(false);
        const QDir saved(world.folder + "/recoverd/BMP");
        QCOMPARE(saved.entryList(QDir::Files).size(), 10);
        QVERIFY(!saved.exists("FoundFileBMP11.BMP"));
        // Saved for someone who may have started Quorvex as root: the folder goes to them.
        QCOMPARE(world.givenToUser, std::vector<QString>{world.folder + "/recoverd"});
        QCOMPARE(QFileInfo(saved.filePath("FoundFileBMP1.BMP")).size(), 4 * 1024);
    }

    void anExactScanMarksEveryTileWithItsVerdictAndSavesEachFilesOwnLength()
    {
        // Two whole JPEGs, one whose middle was overwritten with zeros, a bitmap, and a sector that
        // only begins with "BM".
        const fx::Bytes first = fx::EncodeJpegJfif(fx::MakeScene(120, 80, 1), 85);
        const fx::Bytes second = fx::EncodeJpegJfif(fx::MakeScene(160, 90, 2), 85);
        fx::Bytes damaged = fx::EncodeJpegJfif(fx::MakeScene(200, 150, 3), 90);
        std::fill(damaged.begin() + static_cast<std::ptrdiff_t>(damaged.size() / 3),
              damaged.begin() + static_cast<std::ptrdiff_t>(damaged.size() * 2 / 3), 0);
        const fx::Bytes bitmap = fx::EncodeBmp(fx::MakeScene(40, 30, 4));
        auto volume = quorvex::testing::MakeVolumeBytes(2048);
        quorvex::testing::PutAtSector(volume, 8, first);
        quorvex::testing::PutAtSector(volume, 72, damaged);
        quorvex::testing::PutAtSector(volume, 136, second);
        quorvex::testing::PutAtSector(volume, 200, bitmap);
        quorvex::testing::PutAtSector(volume, 300, std::vector<unsigned char>{'B', 'M', 'W', 0, 0});
        quorvex::testing::TempFolder out;
        ScannedCard card(MemoryOpener(volume), 64, true);
        card.world.folder = QString::fromStdString(out.Path().string());
        MainDialog& dialog = card.dialog;
        QCOMPARE(dialog.Catalogue().FoundCount(), 4u);  // the false bitmap is not listed

        dialog.BuildThumbnails("JPG");
        dialog.WaitForThumbnails();
        QCOMPARE(dialog.ResultsList()->Count(), 3);
        auto markAt = [&](int row) {
            const QImage tile = dialog.ResultsList()->TileAt(row);
            return QColor(tile.pixel(100 - 8, 100 - 8));  // inside the badge, off its symbol
        };
        QCOMPARE(markAt(0), QColor(0x2E, 0x9E, 0x44));
        QCOMPARE(markAt(1), QColor(0xE8, 0x9A, 0x10));
        QCOMPARE(markAt(2), QColor(0x2E, 0x9E, 0x44));
        QVERIFY(dialog.ResultsList()->ToolTipAt(1).contains("damaged"));
        QVERIFY(dialog.ResultsList()->ToolTipAt(0).contains(QLocale(QLocale::English).toString(first.size())));

        dialog.OnSave(true);
        const QString saved = card.world.folder + "/recoverd/";
        QCOMPARE(QFileInfo(saved + "JPG/FoundFileJPG1.JPG").size(), qint64(first.size()));
        QCOMPARE(QFileInfo(saved + "JPG/FoundFileJPG2.JPG").size(), qint64(damaged.size()));
        QCOMPARE(QFileInfo(saved + "JPG/FoundFileJPG3.JPG").size(), qint64(second.size()));
        QCOMPARE(QFileInfo(saved + "BMP/FoundFileBMP4.BMP").size(), qint64(bitmap.size()));
        QFile file(saved + "JPG/FoundFileJPG3.JPG");
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray(reinterpret_cast<const char*>(second.data()), qsizetype(second.size())));
    }

    void todaysPhotosRawsAndVideosShowTheirPicturesAndSaveUnderTheirOwnTypes()
    {
        // A phone's HEIC, a camera's ARW and CR3, and a movie (its frames JPEGs), in exact
        // recovery: the type page lists them in groups of their own.
        const fx::Bytes heic = fx::EncodeHeic(fx::MakeScene(240, 160, 1), 60);
        const fx::Bytes arw = fx::EncodeCameraRaw(fx::CameraRaw::Arw, fx::MakeScene(320, 240, 2), 80000);
        const fx::Bytes cr3 = fx::EncodeCr3(fx::MakeScene(320, 240, 3), 60000);
        fx::MovieOptions movie;
        movie.brand = "qt  ";
        movie.frames = {fx::MakeScene(320, 240, 4), fx::MakeScene(320, 240, 5)};
        const fx::Bytes mov = fx::EncodeMovie(movie);
        auto volume = quorvex::testing::MakeVolumeBytes(4096);
        quorvex::testing::PutAtSector(volume, 8, heic);
        quorvex::testing::PutAtSector(volume, 100, arw);
        quorvex::testing::PutAtSector(volume, 400, cr3);
        quorvex::testing::PutAtSector(volume, 700, mov);
        quorvex::testing::TempFolder out;
        World world;
        world.opener = MemoryOpener(volume);
        world.folder = QString::fromStdString(out.Path().string());
        MainDialog dialog(world.Environment());
        dialog.show();
        QTreeWidget* drives = dialog.DriveList();
        drives->setCurrentItem(drives->topLevelItem(0));
        dialog.OnNext();
        FileTypeList* types = dialog.FileTypes();
        const int described = types->rowCount();
        int shown = 0;
        for (int row = 0; row < described; ++row)
            shown += !types->isRowHidden(row);
        QCOMPARE(shown, 12);  // the group and the eleven
        dialog.ExactRecoveryBox()->setChecked(true);
        QStringList groups;
        for (int row = 0; row < types->rowCount(); ++row)
            if (!types->isRowHidden(row) && types->item(row, FileTypeList::kSizeColumn)->text().isEmpty())
                groups << types->item(row, FileTypeList::kTypeColumn)->text();
        QCOMPARE(groups, (QStringList{"Graphics", "Photos", "Camera raw", "Video", "Sound"}));
        dialog.OnNext();
        dialog.WaitForScan();
        QCOMPARE(dialog.Catalogue().FoundCount(), 4u);

        // Each tile is a picture (not a drawing), the video's with its film mark.
        for (const QString& token : {QString("HEIC"), QString("ARW"), QString("CR3"), QString("MOV")}) {
            dialog.BuildThumbnails(token);
            dialog.WaitForThumbnails();
            QCOMPARE(dialog.ResultsList()->Count(), 1);
            const QImage tile = dialog.ResultsList()->TileAt(0);
            const QImage drawing = preview::EntryTileMaker::PlaceholderTile(preview::TileKindOf(token.toStdString()), {});
            QVERIFY2(tile.copy(0, 0, 90, 90) != drawing.copy(0, 0, 90, 90), qPrintable(token));
            if (token == "MOV")
                QCOMPARE(QColor(tile.pixel(2, 50)).lightness() < 40, true);  // the strip's dark edge
        }
        dialog.OnSave(true);
        const QString saved = world.folder + "/recoverd/";
        QCOMPARE(QFileInfo(saved + "HEIC/FoundFileHEIC1.HEIC").size(), qint64(heic.size()));
        QCOMPARE(QFileInfo(saved + "ARW/FoundFileARW2.ARW").size(), qint64(arw.size()));
        QCOMPARE(QFileInfo(saved + "CR3/FoundFileCR33.CR3").size(), qint64(cr3.size()));
        QCOMPARE(QFileInfo(saved + "MOV/FoundFileMOV4.MOV").size(), qint64(mov.size()));
    }

    void aPhotoPutBackTogetherIsMarkedShownSavedAndPreviewedWhole()
    {
        // A PNG the card stored in two pieces, with random bytes between them.
        const fx::Bytes png = fx::EncodePng(fx::MakeScene(300, 200, 5));
        auto volume = quorvex::testing::MakeVolumeBytes(4096);
        std::mt19937 random(3);
        for (unsigned char& b : volume)
            b = static_cast<unsigned char>(random() % 0x40 + 0x20);
        const std::size_t cut = png.size() / 2 / 4096 * 4096, start = 64 * 512, gap = 3 * 4096;
        std::copy(png.begin(), png.begin() + static_cast<std::ptrdiff_t>(cut), volume.begin() + start);
        std::copy(png.begin() + static_cast<std::ptrdiff_t>(cut), png.end(), volume.begin() + start + cut + gap);
        quorvex::testing::TempFolder out;
        ScannedCard card(MemoryOpener(volume), 1024, true);
        card.world.folder = QString::fromStdString(out.Path().string());
        MainDialog& dialog = card.dialog;
        QCOMPARE(dialog.Catalogue().CountOfVerdict(Verdict::Reassembled), 1u);
        QVERIFY(dialog.ReassemblyLabel()->isVisible());
        QCOMPARE(dialog.ReassemblyLabel()->text(), QString("1 damaged photo put back together from their pieces"));
        QVERIFY(dialog.ReassemblyLabel()->geometry().right() < dialog.BackButton()->geometry().left());

        dialog.ResultsTree()->setCurrentItem(TypeNode(dialog, "PNG"));
        dialog.BuildThumbnails("PNG");
        dialog.WaitForThumbnails();
        QCOMPARE(QColor(dialog.ResultsList()->TileAt(0).pixel(100 - 8, 100 - 8)), QColor(0x2A, 0x7F, 0xC9));
        QVERIFY(dialog.ResultsList()->ToolTipAt(0).contains("reassembled: the card stored it in 2 pieces"));
        const QByteArray whole(reinterpret_cast<const char*>(png.data()), qsizetype(png.size()));
        dialog.PreviewFoundFile(0);
        QFile preview(preview::PrivateTempFolder() + "/temp1.PNG");
        QVERIFY(preview.open(QIODevice::ReadOnly));
        QCOMPARE(preview.readAll(), whole);

        dialog.OnSave(true);
        QFile saved(card.world.folder + "/recoverd/PNG/FoundFilePNG1.PNG");
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), whole);
    }

    void anExactScanShowsWhenEachPhotoWasTakenItsCopiesAndOrdersByDate()
    {
        // Taken in 2023, in 2021, a copy of the first, and one that does not say.
        auto photo = [](int seed, const char* taken) {
            return fx::WithExif(fx::EncodeJpegJfif(fx::MakeScene(120, 80, seed), 85), {taken, "Canon", "Canon EOS R6", 1});
        };
        const fx::Bytes first = photo(1, "2023:07:14 09:05:33");
        auto volume = quorvex::testing::MakeVolumeBytes(2048);
        quorvex::testing::PutAtSector(volume, 8, first);
        quorvex::testing::PutAtSector(volume, 72, photo(2, "2021:01:02 03:04:05"));
        quorvex::testing::PutAtSector(volume, 136, first);
        quorvex::testing::PutAtSector(volume, 200, fx::EncodeJpegJfif(fx::MakeScene(120, 80, 3), 85));
        quorvex::testing::TempFolder out;
        ScannedCard card(MemoryOpener(volume), 64, true);
        MainDialog& dialog = card.dialog;
        dialog.BuildThumbnails("JPG");
        dialog.WaitForThumbnails();
        dialog.Results()->WaitForBackgroundWork();
        preview::FoundFileListView* list = dialog.ResultsList();
        QCOMPARE(list->Count(), 4);
        QVERIFY(list->ToolTipAt(0).contains("Taken 2023-07-14 09:05:33"));
        QVERIFY(list->ToolTipAt(0).contains("Camera: Canon EOS R6"));
        QVERIFY(list->ToolTipAt(0).contains("120 × 80 pixels"));
        QVERIFY(!list->ToolTipAt(3).contains("Taken"));
        QVERIFY(list->ToolTipAt(2).contains("A copy of FoundFileJPG1.JPG"));
        QCOMPARE(list->model()->index(2, 0).data(preview::kCopyOfRole).toString(), QString("FoundFileJPG1.JPG"));
        QVERIFY(list->model()->index(0, 0).data(preview::kCopyOfRole).toString().isEmpty());

        // The line under the list follows the current file.
        QVERIFY(dialog.Results()->DetailsLine()->isVisible());
        list->setCurrentIndex(list->model()->index(1, 0));
        QVERIFY(dialog.Results()->DetailsLine()->text().startsWith("FoundFileJPG2.JPG"));
        QVERIFY(dialog.Results()->DetailsLine()->toolTip().contains("taken 2021-01-02 03:04:05"));
        QVERIFY(!dialog.Results()->DetailsLine()->toolTip().contains("copy of"));
        list->setCurrentIndex(list->model()->index(2, 0));
        QVERIFY(dialog.Results()->DetailsLine()->toolTip().endsWith("copy of FoundFileJPG1.JPG"));

        // By capture date: the oldest first, the photo without a date last; then as found again.
        dialog.Results()->OrderByCaptureDate();
        dialog.Results()->WaitForBackgroundWork();
        QCOMPARE(dialog.Results()->ListModel()->Ordered(), true);
        QStringList names;
        for (int row = 0; row < list->Count(); ++row)
            names << list->NameAt(row);
        QCOMPARE(names, (QStringList{"FoundFileJPG2.JPG", "FoundFileJPG1.JPG", "FoundFileJPG3.JPG", "FoundFileJPG4.JPG"}));
        QVERIFY(list->ToolTipAt(0).contains("2021-01-02"));  // rows and what they say move together
        dialog.Results()->OrderByPosition();
        QCOMPARE(list->NameAt(0), QString("FoundFileJPG1.JPG"));
        QCOMPARE(list->NameAt(1), QString("FoundFileJPG2.JPG"));

        // Saved by date, without the copy (Settings' choices); the described mode's names otherwise.
        card.world.photoSaving = {true, true};
        card.world.folder = QString::fromStdString(out.Path().string());
        dialog.OnSave(true);
        QDir saved(card.world.folder + "/recoverd/JPG");
        QCOMPARE(saved.entryList(QDir::Files, QDir::Name),
                 (QStringList{"2021-01-02_03-04-05.JPG", "2023-07-14_09-05-33.JPG", "FoundFileJPG4.JPG"}));
        quorvex::testing::TempFolder plain;
        card.world.photoSaving = {false, false};
        card.world.folder = QString::fromStdString(plain.Path().string());
        dialog.OnSave(true);
        QCOMPARE(QDir(card.world.folder + "/recoverd/JPG").entryList(QDir::Files).size(), 4);
    }

    void aFolderOnTheScannedDriveIsRefusedAndTheChooserAsksAgain()
    {
        // The scanned drive is sda1 (the world's first); the first folder chosen lives on it.
        quorvex::testing::FakeSysfs sys;
        sys.AddDisk("pci0/ata1", "sda", 1000000, 0, "8:0");
        sys.AddPartition("pci0/ata1", "sda", "sda1", 900000, "8:1");
        quorvex::testing::TempFolder onCard, elsewhere;
        std::ofstream(onCard / "mountinfo") << "30 1 8:1 / " << onCard.Path().string() << " rw - vfat /dev/sda1 rw\n";
        World world;
        world.opener = MemoryOpener(CardWith(0, 2, 0));
        world.folders = {QString::fromStdString((onCard / "rescued").string()),
                         QString::fromStdString(elsewhere.Path().string())};
        auto env = world.Environment();
        env.systemTables = {sys.ClassBlock(), onCard / "mountinfo"};
        MainDialog dialog(env);
        dialog.show();
        ScanTo(dialog, 4);
        dialog.OnSave(true);
        QCOMPARE(int(world.notices.size()), 1);
        QVERIFY(world.notices[0].contains("the drive you are recovering from"));
        QVERIFY(!QDir(QString::fromStdString((onCard / "rescued").string())).exists());
        QCOMPARE(QDir(QString::fromStdString((elsewhere / "recoverd/BMP").string())).entryList(QDir::Files).size(), 2);
    }

    void aFolderWithTooLittleRoomGetsAsManyFilesAsFitAndSaysWhatIsMissing()
    {
        quorvex::testing::SmallFileSystem small(200);
        if (!small.Mounted())
            QSKIP("mounting a tmpfs is not allowed here");
        ScannedCard card(MemoryOpener(CardWith(0, 5, 0)), 64);
        card.world.folder = QString::fromStdString(small.Path().string());
        card.dialog.OnSave(true);
        QCOMPARE(int(card.world.questions.size()), 1);
        QVERIFY(card.world.questions[0].contains("Save as many of them as fit"));
        const QStringList saved = QDir(card.world.folder + "/recoverd/BMP").entryList(QDir::Files);
        QVERIFY(saved.size() >= 1 && saved.size() < 5);
        for (const QString& name : saved)
            QCOMPARE(QFileInfo(card.world.folder + "/recoverd/BMP/" + name).size(), qint64(64 * 1024));
        QCOMPARE(int(card.world.notices.size()), 1);
        QVERIFY(card.world.notices[0].contains("as many as fit"));
        QVERIFY(card.world.notices[0].contains("FoundFileBMP5.BMP"));
    }

    void unreadableSectorsShowDuringTheScanAndManyOfThemSuggestAnImage()
    {
        World world;
        world.opener = [] {
            auto faulty = std::make_unique<quorvex::testing::FaultyVolumeSource>(
                std::make_unique<quorvex::testing::MemoryVolumeSource>(CardWith(1, 0, 0)));
            faulty->FailSectors(1000, 100);
            VolumeOpenResult result;
            result.source = std::move(faulty);
            return result;
        };
        MainDialog dialog(world.Environment());
        dialog.show();
        ScanTo(dialog, 64);
        QCOMPARE(dialog.UnreadableSectors(), 104u);  // whole 8-sector chunks
        QVERIFY(dialog.ReadErrorsLabel()->isVisible());
        QCOMPARE(dialog.ReadErrorsLabel()->text(), QString("104 unreadable sectors skipped"));
        QCOMPARE(int(world.notices.size()), 1);
        QVERIFY(world.notices[0].contains("Create Disk Image"));
        QCOMPARE(int(dialog.Catalogue().FoundCount()), 1);  // the picture before the bad area
    }

    void saveSelectedWithNothingSelectedWritesNothing()
    {
        quorvex::testing::TempFolder out;
        ScannedCard card(MemoryOpener(CardWith(0, 3, 0)), 4);
        card.world.folder = QString::fromStdString(out.Path().string());
        World& world = card.world;
        MainDialog& dialog = card.dialog;
        dialog.OnSave(false);
        QVERIFY(!QDir(world.folder + "/recoverd").exists());
        dialog.OnSave(true);  // Save All does not need a selection
        QCOMPARE(QDir(world.folder + "/recoverd/BMP").entryList(QDir::Files).size(), 3);
    }

    void saveDuringAScanAnsweredNoLeavesTheScanRunning()
    {
        World world;  // the default volume is a large virtual one
        quorvex::testing::TempFolder out;
        world.folder = QString::fromStdString(out.Path().string());
        MainDialog dialog(world.Environment());
        dialog.show();
        QTreeWidget* list = dialog.DriveList();
        list->setCurrentItem(list->topLevelItem(0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->topLevelItem(0)).center());
        dialog.OnNext();
        dialog.OnNext();
        QVERIFY(dialog.ScanRunning());
        world.answer = false;
        dialog.OnSave(true);
        QCOMPARE(world.questions.back(), QString("Are you sure,stop current searching process and save the files."));
        QVERIFY(dialog.ScanRunning());
        QVERIFY(!QDir(world.folder + "/recoverd").exists());
        dialog.StopWork();
        dialog.WaitForScan();
    }

    void aStopConfirmedInTheMiddleOfAFileKeepsItShortAndWritesNoMore()
    {
        World world;
        // Two found files of 256 MiB each on a virtual volume: the first is still being written
        // when the stop comes.
        world.opener = [] {
            auto virtualVolume = std::make_unique<quorvex::testing::VirtualVolumeSource>(1ull << 30);
            virtualVolume->PlantSector(8, {'B', 'M'});
            virtualVolume->PlantSector(16, {'B', 'M'});
            VolumeOpenResult result;
            result.source = std::move(virtualVolume);
            return result;
        };
        quorvex::testing::TempFolder out;
        world.folder = QString::fromStdString(out.Path().string());
        MainDialog dialog(world.Environment());
        dialog.show();
        QTreeWidget* list = dialog.DriveList();
        list->setCurrentItem(list->topLevelItem(0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->topLevelItem(0)).center());
        dialog.OnNext();
        dialog.SetSettings("FoundFile", "262144");
        dialog.FileTypes()->SetChecked(0, false);
        dialog.FileTypes()->SetChecked(2, true);  // BITMAP only
        dialog.OnNext();
        dialog.WaitForScan();
        QCOMPARE(dialog.Catalogue().FoundCount(), 2u);
        const QString first = world.folder + "/recoverd/BMP/FoundFileBMP1.BMP";
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* progress = qobject_cast<SaveProgressDialog*>(QApplication::activeModalWidget());
            if (progress != nullptr && QFileInfo(first).size() > 0) {
                poll.stop();
                progress->OnStopSaving();
            }
        });
        poll.start(5);
        dialog.OnSave(true);
        QCOMPARE(world.questions.back(), QString("Do you really want to stop saving process ?"));
        QVERIFY(QFile::exists(first));
        QVERIFY(QFileInfo(first).size() < 256ll << 20);
        QVERIFY(!QFile::exists(world.folder + "/recoverd/BMP/FoundFileBMP2.BMP"));
    }
};

QTEST_MAIN(ResultsPageTest)
#include "ResultsPageTest.moc"
