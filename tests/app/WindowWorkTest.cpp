// The window's pieces of work, each without the window: KeptScans keeps a scan's checkpoints in
// the drive's session, offers them again and opens saved results only on the same medium;
// SaveWorkflow asks again after a refused folder, saves into the next, and saves nothing when the
// choice is cancelled.
#include "KeptScans.h"
#include "MemoryVolumeSource.h"
#include "PictureEncoders.h"
#include "RecordingObservers.h"
#include "SaveWorkflow.h"
#include "ScanEngine.h"
#include "TempFolder.h"
#include "TestWorld.h"

#include <QtTest>
#include <fstream>

using namespace quorvex;
using namespace quorvex::app;
using quorvex::testing::TempFolder;
using quorvex::testing::World;
namespace fx = quorvex::fixtures;

namespace {

// A 1 MiB card with three JPEGs.
std::shared_ptr<std::vector<unsigned char>> SmallCard()
{
    auto card = std::make_shared<std::vector<unsigned char>>(quorvex::testing::MakeVolumeBytes(2048));
    for (int i = 0; i < 3; ++i)
        quorvex::testing::PutAtSector(*card, 64 + static_cast<std::uint64_t>(i) * 256,
                                      fx::EncodeJpegJfif(fx::MakeScene(40, 30, i), 80));
    return card;
}

std::function<VolumeOpenResult()> CardOpener(std::shared_ptr<std::vector<unsigned char>> card)
{
    return [card] {
        VolumeOpenResult result;
        result.source = std::make_unique<quorvex::testing::MemoryVolumeSource>(*card);
        return result;
    };
}

void Scan(const MainDialogEnvironment& env, const VolumeDescription& drive, FoundFileCatalogue& catalogue,
          ScanCheckpointSink* sink)
{
    quorvex::testing::RecordingScanObserver observer;
    ScanEngine engine(catalogue, observer);
    engine.SetCheckpointSink(sink);
    engine.Run(env.openerFor(drive), SelectedTypes::AllTypes("FoundFile", 64), RecoveryMode::Exact);
}

}  // namespace

class WindowWorkTest : public QObject {
    Q_OBJECT

private slots:
    void keptScansOfferAFinishedScanAndOpenResultsOnlyOnTheSameCard()
    {
        TempFolder folder;
        const auto card = SmallCard();
        World world;
        world.opener = CardOpener(card);
        world.sessionFolder = QString::fromStdString((folder / "sessions").string());
        world.resultsFile = QString::fromStdString((folder / "card.qvxscan").string());
        const MainDialogEnvironment env = world.Environment();
        const VolumeDescription drive = world.volumes[1];
        QObject context;

        KeptScans first(env, &context);
        first.SelectDrive(drive);
        QVERIFY(!first.SessionPath().isEmpty());
        QVERIFY(!first.OfferKeptSession(drive));  // nothing kept yet, nothing asked
        QVERIFY(world.questions.empty());
        FoundFileCatalogue catalogue;
        Scan(env, drive, catalogue, first.BeginScan());
        first.EndScan();
        QCOMPARE(catalogue.FoundCount(), std::uint64_t{3});
        QVERIFY(QFile::exists(first.SessionPath()));
        first.SaveResults(catalogue, drive);
        QVERIFY(world.notices.empty());

        KeptScans again(env, &context);
        again.SelectDrive(drive);
        QCOMPARE(again.SessionPath(), first.SessionPath());
        const std::optional<TakenScan> kept = again.OfferKeptSession(drive);
        QVERIFY(kept && !kept->resume);
        QCOMPARE(kept->session.catalogue.FoundCount(), std::uint64_t{3});
        QVERIFY(world.questions.back().contains("was scanned before: 3 files (JPG 3) were found"));
        world.answer = false;
        QVERIFY(!again.OfferKeptSession(drive));

        const auto opened = KeptScans(env, &context).OpenResults(world.volumes);
        QVERIFY(opened);
        QCOMPARE(opened->drive.path, drive.path);
        QCOMPARE(opened->scan.session.catalogue.FoundCount(), std::uint64_t{3});

        auto other = std::make_shared<std::vector<unsigned char>>(*card);
        (*other)[7] ^= 0xFF;
        world.opener = CardOpener(other);
        QVERIFY(!KeptScans(world.Environment(), &context).OpenResults(world.volumes));
        QVERIFY(world.notices.back().contains("is not the drive these results were found on"));
    }

    void aSaveAsksAgainAfterARefusedFolderAndCancellingSavesNothing()
    {
        TempFolder folder;
        World world;
        world.opener = CardOpener(SmallCard());
        const MainDialogEnvironment env = world.Environment();
        FoundFileCatalogue catalogue;
        Scan(env, world.volumes[1], catalogue, nullptr);
        std::ofstream(folder / "a-file") << "not a folder";
        world.folders = {QString::fromStdString((folder / "a-file").string())};
        world.folder = QString::fromStdString((folder / "out").string());

        SaveRequest request;
        request.catalogue = &catalogue;
        request.drive = world.volumes[1];
        const std::optional<SaveReport> report = SaveWorkflow(env, nullptr).Save(request);
        QVERIFY(report);
        QCOMPARE(report->saved, std::uint64_t{3});
        QCOMPARE(world.notices.size(), std::size_t{1});
        QVERIFY(world.notices[0].contains("is not a folder"));
        QVERIFY(QFile::exists(world.folder + "/recoverd/JPG/FoundFileJPG1.JPG"));

        world.folder.clear();
        QVERIFY(!SaveWorkflow(world.Environment(), nullptr).Save(request));
    }
};

QTEST_MAIN(WindowWorkTest)
#include "WindowWorkTest.moc"
