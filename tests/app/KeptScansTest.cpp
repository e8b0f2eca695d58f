// Scans that outlive the window, offscreen: a drive scanned before offers its results without a
// new scan, a stopped scan is resumed to the files an uninterrupted one finds, results saved to
// a file open again later, and what cannot be used is said and never overwritten. Also a type
// with thousands of files, shown at once.
#include "CSkinButton.h"
#include "CTypeTreeCtrl.h"
#include "FaultyVolumeSource.h"
#include "FoundFileListView.h"
#include "MainDialog.h"
#include "MemoryVolumeSource.h"
#include "PictureEncoders.h"
#include "RepeatingVolumeSource.h"
#include "ResultsPage.h"
#include "TempFolder.h"
#include "TestWorld.h"

#include <QProgressBar>
#include <QTreeWidget>
#include <QtTest>
#include <fstream>
#include <thread>

using namespace quorvex;
using namespace quorvex::app;
using quorvex::testing::TempFolder;
using quorvex::testing::World;
namespace fx = quorvex::fixtures;

namespace {

// A 16 MiB card with a JPEG every 256 KiB and a BMP between them, every picture different.
std::shared_ptr<std::vector<unsigned char>> SpreadCard()
{
    auto volume = std::make_shared<std::vector<unsigned char>>(quorvex::testing::MakeVolumeBytes(32768));
    for (int i = 0; i < 64; ++i) {
        const auto sector = static_cast<std::uint64_t>(i) * 512 + 3;
        quorvex::testing::PutAtSector(*volume, sector, fx::EncodeJpegJfif(fx::MakeScene(40, 30, i), 80));
        quorvex::testing::PutAtSector(*volume, sector + 256, fx::EncodeBmp(fx::MakeScene(20, 10, i)));
    }
    return volume;
}

// Reads of the card take `perRead` each, so that a scan can be stopped halfway.
std::function<VolumeOpenResult()> CardOpener(std::shared_ptr<std::vector<unsigned char>> card,
                                             std::chrono::milliseconds perRead = std::chrono::milliseconds(0))
{
    return [card, perRead] {
        auto faulty = std::make_unique<quorvex::testing::FaultyVolumeSource>(
            std::make_unique<quorvex::testing::MemoryVolumeSource>(*card));
        if (perRead.count() > 0)
            faulty->OnRead([perRead](std::uint64_t) { std::this_thread::sleep_for(perRead); });
        VolumeOpenResult result;
        result.source = std::move(faulty);
        return result;
    };
}

void ChooseFirstDrive(MainDialog& dialog)
{
    QTreeWidget* list = dialog.DriveList();
    list->setCurrentItem(list->topLevelItem(0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->topLevelItem(0)).center());
    dialog.OnNext();
}

void ScanFirstDrive(MainDialog& dialog)
{
    ChooseFirstDrive(dialog);
    QCOMPARE(dialog.Page(), int(MainDialog::kTypePage));
    dialog.SetSettings("FoundFile", "64");
    dialog.OnNext();
    dialog.WaitForScan();
}

struct Found {
    std::string name;
    std::uint64_t sector;
    friend bool operator==(const Found&, const Found&) = default;
};

std::vector<Found> FilesOf(const FoundFileCatalogue& catalogue)
{
    std::vector<Found> files;
    catalogue.ForEachEntry([&](const FoundFileEntry& e) { files.push_back({e.name, e.startSector}); });
    return files;
}

QStringList TreeLabels(MainDialog& dialog)
{
    QStringList labels;
    QTreeWidgetItem* root = dialog.ResultsTree()->topLevelItem(0);
    for (int i = 0; root != nullptr && i < root->childCount(); ++i)
        labels << preview::CTypeTreeCtrl::DisplayedLabel(root->child(i));
    return labels;
}

int CountContaining(const std::vector<QString>& texts, const QString& part)
{
    return static_cast<int>(std::count_if(texts.begin(), texts.end(), [&](const QString& t) { return t.contains(part); }));
}

}  // namespace

class KeptScansTest : public QObject {
    Q_OBJECT

private slots:
    void aDriveScannedBeforeOffersItsResultsWithoutANewScan()
    {
        TempFolder sessions;
        World world;
        world.sessionFolder = QString::fromStdString(sessions.Path().string());
        world.opener = CardOpener(SpreadCard());
        std::vector<Found> first;
        {
            MainDialog dialog(world.Environment());
            ScanFirstDrive(dialog);
            first = FilesOf(dialog.Catalogue());
            QCOMPARE(first.size(), std::size_t{128});
            QVERIFY(QFile::exists(dialog.SessionPath()));
            QCOMPARE(TreeLabels(dialog), (QStringList{"JPG (64)", "BMP (64)"}));
        }
        MainDialog again(world.Environment());
        again.show();
        world.questions.clear();
        world.answer = true;
        ChooseFirstDrive(again);
        QCOMPARE(world.questions.size(), std::size_t{1});
        QVERIFY(world.questions[0].contains("was scanned before"));
        QVERIFY(world.questions[0].contains("128 files (JPG 64, BMP 64)"));
        QCOMPARE(again.Page(), int(MainDialog::kResultsPage));
        QVERIFY(!again.ScanRunning());
        QCOMPARE(FilesOf(again.Catalogue()), first);
        QCOMPARE(TreeLabels(again), (QStringList{"JPG (64)", "BMP (64)"}));
        QVERIFY(again.SaveAllButton()->isEnabled());
        again.BuildThumbnails("BMP");
        again.WaitForThumbnails();
        QCOMPARE(again.ResultsList()->Count(), 64);

        // Back goes to the type page with every type ticked, ready for a new scan.
        again.OnBack();
        QCOMPARE(again.Page(), int(MainDialog::kTypePage));
        QCOMPARE(again.Catalogue().FoundCount(), std::uint64_t{0});

        // No: the type page, and a new scan.
        MainDialog declined(world.Environment());
        world.answer = false;
        ChooseFirstDrive(declined);
        QCOMPARE(declined.Page(), int(MainDialog::kTypePage));
    }

    void aStoppedScanIsResumedToTheFilesAnUninterruptedScanFinds()
    {
        const auto card = SpreadCard();
        std::vector<Found> whole;
        {
            World plain;
            plain.opener = CardOpener(card);
            MainDialog dialog(plain.Environment());
            ScanFirstDrive(dialog);
            whole = FilesOf(dialog.Catalogue());
        }

        TempFolder sessions;
        World world;
        world.sessionFolder = QString::fromStdString(sessions.Path().string());
        world.opener = CardOpener(card, std::chrono::milliseconds(60));
        std::size_t foundBeforeStop = 0;
        {
            MainDialog dialog(world.Environment());
            dialog.show();
            ChooseFirstDrive(dialog);
            dialog.SetSettings("FoundFile", "64");
            dialog.OnNext();
            QTRY_VERIFY_WITH_TIMEOUT(dialog.Progress()->value() >= 30, 20000);
            dialog.StopWork();
            dialog.WaitForScan();
            foundBeforeStop = dialog.Catalogue().FoundCount();
            QVERIFY(foundBeforeStop > 0 && foundBeforeStop < whole.size());
        }

        world.opener = CardOpener(card);
        world.questions.clear();
        world.answer = true;
        MainDialog resumed(world.Environment());
        resumed.show();
        ChooseFirstDrive(resumed);
        QCOMPARE(world.questions.size(), std::size_t{1});
        QVERIFY2(world.questions[0].contains("stopped at") && world.questions[0].contains(QString("after finding %1 files").arg(foundBeforeStop)),
                 qPrintable(world.questions[0]));
        QCOMPARE(resumed.Page(), int(MainDialog::kResultsPage));
        resumed.WaitForScan();
        QCOMPARE(FilesOf(resumed.Catalogue()), whole);
        QCOMPARE(TreeLabels(resumed), (QStringList{"JPG (64)", "BMP (64)"}));

        // Finished now: the next visit offers the results, not a resume.
        world.questions.clear();
        MainDialog later(world.Environment());
        ChooseFirstDrive(later);
        QVERIFY(world.questions.at(0).contains("was scanned before"));
    }

    void aKeptScanThatCannotBeReadIsSetAsideAndSaidSo()
    {
        TempFolder sessions;
        World world;
        world.sessionFolder = QString::fromStdString(sessions.Path().string());
        world.opener = CardOpener(SpreadCard());
        QString kept;
        {
            MainDialog dialog(world.Environment());
            ScanFirstDrive(dialog);
            kept = dialog.SessionPath();
        }
        std::ofstream(kept.toStdString(), std::ios::trunc) << "QVXSCAN but not really";
        MainDialog dialog(world.Environment());
        world.questions.clear();
        ChooseFirstDrive(dialog);
        QCOMPARE(dialog.Page(), int(MainDialog::kTypePage));
        QVERIFY(world.questions.empty());
        QCOMPARE(CountContaining(world.notices, "cannot be used"), 1);
        QVERIFY(QFile::exists(kept + ".unusable"));
        QVERIFY(!QFile::exists(kept));
    }

    void resultsSavedToAFileOpenLaterOnlyOnTheSameCard()
    {
        TempFolder folder;
        const auto card = SpreadCard();
        World world;
        world.opener = CardOpener(card);
        world.resultsFile = QString::fromStdString((folder / "card.qvxscan").string());
        std::vector<Found> first;
        {
            MainDialog dialog(world.Environment());
            ScanFirstDrive(dialog);
            first = FilesOf(dialog.Catalogue());
            dialog.OnSaveScanResults();
            QVERIFY(world.notices.empty());
            QVERIFY(QFile::exists(world.resultsFile));
        }

        MainDialog opened(world.Environment());
        opened.show();
        opened.OnOpenScanResults();
        QCOMPARE(opened.Page(), int(MainDialog::kResultsPage));
        QVERIFY(!opened.ScanRunning());
        QCOMPARE(FilesOf(opened.Catalogue()), first);
        QCOMPARE(opened.SelectedDrive()->path, std::string("/dev/sda1"));
        QCOMPARE(TreeLabels(opened), (QStringList{"JPG (64)", "BMP (64)"}));

        // Another card in the reader: nothing shown from the results, and why.
        auto other = std::make_shared<std::vector<unsigned char>>(*card);
        (*other)[5] ^= 0xFF;
        world.opener = CardOpener(other);
        MainDialog refused(world.Environment());
        refused.OnOpenScanResults();
        QCOMPARE(refused.Page(), int(MainDialog::kDrivePage));
        QCOMPARE(CountContaining(world.notices, "is not the drive these results were found on"), 1);

        // A drive that is not there at all.
        world.opener = CardOpener(card);
        world.volumes.erase(world.volumes.begin());
        MainDialog absent(world.Environment());
        absent.OnOpenScanResults();
        QCOMPARE(absent.Page(), int(MainDialog::kDrivePage));
        QCOMPARE(CountContaining(world.notices, "which is not here now"), 1);

        std::ofstream(world.resultsFile.toStdString(), std::ios::trunc) << "not results";
        MainDialog damaged(world.Environment());
        damaged.OnOpenScanResults();
        QCOMPARE(CountContaining(world.notices, "cannot be used"), 1);
    }

    void aSessionFolderThatCannotBeWrittenLetsTheScanFinishAndSaysSoOnce()
    {
        TempFolder folder;
        std::ofstream(folder / "in-the-way") << "a file, not a folder";
        World world;
        world.sessionFolder = QString::fromStdString((folder / "in-the-way" / "sessions").string());
        world.opener = CardOpener(SpreadCard());
        MainDialog dialog(world.Environment());
        ScanFirstDrive(dialog);
        QTRY_COMPARE(CountContaining(world.notices, "cannot be resumed"), 1);
        QCOMPARE(dialog.Catalogue().FoundCount(), std::uint64_t{128});
    }

    void aTypeWithThousandsOfFilesShowsThemAllAtOnce()
    {
        // 3,000 BMPs, one every two sectors.
        fx::Bytes picture = fx::EncodeBmp(fx::MakeScene(24, 16, 5));
        picture.resize(1024, 0);
        World world;
        world.opener = [picture] {
            VolumeOpenResult result;
            result.source = std::make_unique<quorvex::testing::RepeatingVolumeSource>(3000 * 1024, picture);
            return result;
        };
        MainDialog dialog(world.Environment());
        dialog.show();
        ScanFirstDrive(dialog);
        QCOMPARE(TreeLabels(dialog), QStringList{"BMP (3,000)"});
        dialog.BuildThumbnails("BMP");
        QVERIFY(!dialog.ThumbnailsRunning());   // no pass one by one
        QVERIFY(dialog.StopButton()->isHidden());
        QVERIFY(dialog.ResultsTree()->isEnabled());
        QCOMPARE(dialog.ResultsList()->Count(), 3000);
        QTRY_VERIFY_WITH_TIMEOUT(dialog.ResultsList()->TileAt(0).pixel(50, 50) != qRgb(255, 255, 255), 10000);

        // Saving the selected ones reads the names off the model.
        for (int row = 2990; row < 3000; ++row)
            dialog.ResultsList()->SelectRow(row);
        const std::vector<std::string> names = dialog.Results()->SelectedNames();
        QCOMPARE(names.size(), std::size_t{10});
        QCOMPARE(names.front(), std::string("FoundFileBMP2991.BMP"));
    }
};

QTEST_MAIN(KeptScansTest)
#include "KeptScansTest.moc"
