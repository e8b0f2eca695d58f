// The main window, offscreen, with an injected list of volumes: start-up, the wizard, the drive
// page, the file-type page, the settings and a scan through the GUI.
#include "DriveProperties.h"
#include "FaultyVolumeSource.h"
#include "FileTypeList.h"
#include "FileVolumeSource.h"
#include "MainDialog.h"
#include "MemoryVolumeSource.h"
#include "RecoveryApp.h"
#include "SettingsDialog.h"
#include "SingleInstanceGuard.h"
#include "TempFolder.h"
#include "TestWorld.h"
#include "CSkinButton.h"

#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QProgressBar>
#include <QTreeWidget>
#include <QCheckBox>
#include <fcntl.h>
#include <fstream>
#include <QtTest>

using namespace quorvex;
using namespace quorvex::app;
using quorvex::testing::World;

namespace {

void ClickRow(MainDialog& dialog, int row)
{
    QTreeWidget* list = dialog.DriveList();
    const QRect rect = list->visualItemRect(list->topLevelItem(row));
    list->setCurrentItem(list->topLevelItem(row));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
}

void ToTypePage(MainDialog& dialog)
{
    ClickRow(dialog, 0);
    dialog.OnNext();
    QCOMPARE(dialog.Page(), int(MainDialog::kTypePage));
}

}  // namespace

class MainDialogTest : public QObject {
    Q_OBJECT

private slots:
    void aSecondInstanceSaysSoAndExitsWithOne()
    {
        const std::string name = "quorvex-test-guard-" + std::to_string(QCoreApplication::applicationPid());
        SingleInstanceGuard first(name);
        QVERIFY(first.Acquired());
        QVERIFY(!SingleInstanceGuard(name).Acquired());
        QString shown;
        RecoveryApp::Options options;
        options.guardName = name;
        options.otherInstanceNotice = [&](const QString& text) { shown = text; };
        QCOMPARE(RecoveryApp::Run(options), 1);
        QCOMPARE(shown, QString("Another instance of software is already running."));
    }

    void theDriveRowsComeInOrderWithTheirProperties()
    {
        World world;
        MainDialog dialog(world.Environment());
        dialog.show();
        QTreeWidget* list = dialog.DriveList();
        QCOMPARE(list->topLevelItemCount(), 4);
        QCOMPARE(list->topLevelItem(0)->text(0), QString("Logical Disk(sda1)"));
        QCOMPARE(list->topLevelItem(1)->text(0), QString("Removable Disk(sdb1)"));
        QCOMPARE(list->topLevelItem(2)->text(0), QString("3 1/2 Floppy(fd0)"));
        QVERIFY(!dialog.NextButton()->isVisible());

        ClickRow(dialog, 0);
        QCOMPARE(dialog.PropertyValue(0), QString("Ready"));
        QCOMPARE(dialog.PropertyValue(1), QString("Local Disk"));
        QCOMPARE(dialog.PropertyValue(2), QString("500.000000 GB"));
        QCOMPARE(dialog.PropertyValue(3), QString("512"));
        QVERIFY(dialog.NextButton()->isVisible());

        ClickRow(dialog, 1);
        QCOMPARE(dialog.PropertyValue(2), QString("256.000000 MB"));
        QCOMPARE(dialog.PropertyValue(1), QString("Removable"));

        ClickRow(dialog, 2);  // the floppy drive without a disk
        QCOMPARE(dialog.PropertyValue(0), QString("Not Ready"));
        QCOMPARE(dialog.PropertyValue(1), QString("3 1/2 Floopy"));
        QCOMPARE(dialog.PropertyValue(2), QString());
        QCOMPARE(dialog.PropertyValue(3), QString());
        QVERIFY(!dialog.NextButton()->isVisible());
    }

    void aClickBelowTheLastRowClearsThePropertiesAndArrowKeysChangeNothing()
    {
        World world;
        MainDialog dialog(world.Environment());
        dialog.show();
        ClickRow(dialog, 0);
        QTest::mouseClick(dialog.DriveList()->viewport(), Qt::LeftButton, {},
                          QPoint(20, dialog.DriveList()->viewport()->height() - 5));
        QCOMPARE(dialog.PropertyValue(0), QString("Not Ready"));
        QCOMPARE(dialog.PropertyValue(2), QString());
        QVERIFY(!dialog.NextButton()->isVisible());

        ClickRow(dialog, 1);
        QTest::keyClick(dialog.DriveList(), Qt::Key_Up);
        QCOMPARE(dialog.DriveList()->currentItem(), dialog.DriveList()->topLevelItem(0));
        QCOMPARE(dialog.PropertyValue(2), QString("256.000000 MB"));  // still the clicked row's
        // Next takes the row at the selection mark.
        dialog.OnNext();
        QCOMPARE(dialog.SelectedDrive()->name, std::string("sda1"));
    }

    void capacitiesFollowTheGibibyteRule()
    {
        QCOMPARE(DescribeDrive(VolumeKind::Fixed, 500ull << 30).capacity, QString("500.000000 GB"));
        QCOMPARE(DescribeDrive(VolumeKind::Removable, 256ull << 20).capacity, QString("256.000000 MB"));
        QCOMPARE(DescribeDrive(VolumeKind::Floppy, 1474560).type, QString("3 1/2 Floopy"));
        QCOMPARE(DescribeDrive(VolumeKind::Floppy, 2ull << 30).type, QString("3 1/2 Floppy"));
        QCOMPARE(DescribeDrive(VolumeKind::Floppy, 0).capacity, QString("0.000000 GB"));
        QCOMPARE(DescribeDrive(VolumeKind::Fixed, std::nullopt).status, QString("Not Ready"));
    }

    void enterAndEscapeNeitherCloseNorMoveTheWizard()
    {
        World world;
        MainDialog dialog(world.Environment());
        dialog.show();
        ClickRow(dialog, 0);
        for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape})
            QTest::keyClick(&dialog, static_cast<Qt::Key>(key));
        QVERIFY(dialog.isVisible());
        QCOMPARE(dialog.Page(), int(MainDialog::kDrivePage));
        QVERIFY(world.questions.empty());
        QVERIFY(world.exits.empty());
    }

    void backFromTheTypePageShowsNextAtOnce()
    {
        World world;
        MainDialog dialog(world.Environment());
        dialog.show();
        ToTypePage(dialog);
        dialog.OnBack();
        QCOMPARE(dialog.Page(), int(MainDialog::kDrivePage));
        QVERIFY(dialog.NextButton()->isVisible());
        QCOMPARE(dialog.CaptionText(), QString("Select Drive to recover"));
    }

    void theExactRecoveryBoxShowsOnTheTypePageAndIsRemembered()
    {
        World world;
        bool stored = true;
        std::vector<bool> stores;
        auto env = world.Environment();
        env.loadExactRecovery = [&] { return stored; };
        env.storeExactRecovery = [&](bool exact) { stores.push_back(exact); };
        MainDialog dialog(env);
        dialog.show();
        QVERIFY(!dialog.ExactRecoveryBox()->isVisible());
        ToTypePage(dialog);
        QVERIFY(dialog.ExactRecoveryBox()->isVisible());
        QVERIFY(dialog.ExactRecoveryBox()->isChecked());  // as the last run left it
        QVERIFY(dialog.ExactRecoveryBox()->geometry().right() < dialog.BackButton()->geometry().left());
        QTest::mouseClick(dialog.ExactRecoveryBox(), Qt::LeftButton);
        QCOMPARE(stores, std::vector<bool>{false});
        dialog.OnNext();  // the scan starts in the mode the box says
        QVERIFY(!dialog.ExactRecoveryBox()->isVisible());
        dialog.StopWork();
        dialog.WaitForScan();
        QCOMPARE(dialog.Catalogue().Mode(), RecoveryMode::Described);
    }

    void createDiskImageCopiesTheSelectedDriveAndOffersToScanIt()
    {
        // sda1 of the world: 600 sectors, three of them bad.
        std::vector<unsigned char> volume(600 * 512);
        for (std::size_t i = 0; i < volume.size(); ++i)
            volume[i] = static_cast<unsigned char>(i / 512 % 200 + 1);
        World world;
        world.opener = [&volume] {
            auto faulty = std::make_unique<quorvex::testing::FaultyVolumeSource>(
                std::make_unique<quorvex::testing::MemoryVolumeSource>(volume));
            faulty->FailSectors(300, 3);
            VolumeOpenResult result;
            result.source = std::move(faulty);
            return result;
        };
        quorvex::testing::TempFolder folder;
        const QString image = QString::fromStdString((folder / "card.img").string());
        std::ofstream(folder / "taken.img") << "someone's file";
        world.imageFiles = {QString::fromStdString((folder / "taken.img").string()), image};
        MainDialog dialog(world.Environment());
        dialog.show();
        ClickRow(dialog, 0);
        dialog.OnCreateDiskImage();
        // The taken name is refused (never overwritten); then the imaging runs and asks to scan.
        QCOMPARE(int(world.notices.size()), 1);
        QVERIFY(world.notices[0].contains("exists already"));
        QCOMPARE(int(world.questions.size()), 1);
        QVERIFY(world.questions[0].contains("3 sectors could not be read"));
        auto expected = volume;
        std::fill_n(expected.begin() + 300 * 512, 3 * 512, 0);
        QVERIFY(quorvex::testing::ReadWholeFile(folder / "card.img") == expected);
        QVERIFY(QFile::exists(image + ".map"));
        // Yes: the image is the selected drive now.
        QCOMPARE(dialog.DriveList()->currentItem()->text(0), QString("Disk Image(card.img)"));
        QCOMPARE(dialog.SelectedDrive(), std::nullopt);
    }

    void nextWithNothingTickedNoticesAndStays()
    {
        World world;
        MainDialog dialog(world.Environment());
        dialog.show();
        ToTypePage(dialog);
        dialog.FileTypes()->SetChecked(FileTypeList::kGroupRow, false);
        QCOMPARE(dialog.FileTypes()->CheckedTypeCount(), 0);
        dialog.OnNext();
        QCOMPARE(dialog.Page(), int(MainDialog::kTypePage));
        QCOMPARE(world.notices, std::vector<QString>{"Please Select file type to recover."});
        QCOMPARE(dialog.CaptionText(), QString());
    }

    void theTypeListKeepsTheGroupInStep()
    {
        FileTypeList list;
        list.ApplySettingsToTypeList("FoundFile", "20480");
        list.CheckAll();
        QCOMPARE(list.item(1, FileTypeList::kPrefixColumn)->text(), QString("FoundFileJPG"));
        QCOMPARE(list.item(11, FileTypeList::kPrefixColumn)->text(), QString("FoundFileCRW"));
        list.SetChecked(2, false);  // BITMAP
        QVERIFY(!list.IsChecked(FileTypeList::kGroupRow));
        list.SetChecked(2, true);
        QVERIFY(list.IsChecked(FileTypeList::kGroupRow));
        list.SetChecked(FileTypeList::kGroupRow, false);
        QCOMPARE(list.CheckedTypeCount(), 0);
        list.SetChecked(FileTypeList::kGroupRow, true);
        QCOMPARE(list.CheckedTypeCount(), 11);
        const SelectedTypes selection = list.CollectSelection();
        QCOMPARE(selection.Count(), std::size_t(11));
        QCOMPARE(selection[0].prefix, std::string("FoundFileJPG"));
        QCOMPARE(selection[10].maxSizeKb, std::int64_t(20480));
    }

    void theSizeEditorCommitsOnFocusLossOnlyANumberAboveZero()
    {
        QWidget window;
        auto* list = new FileTypeList(&window);
        auto* elsewhere = new QLineEdit(&window);
        list->setGeometry(0, 0, 760, 300);
        elsewhere->setGeometry(0, 310, 100, 20);
        list->ApplySettingsToTypeList("FoundFile", "20480");
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        const int png = 4;
        // Returns the cell's text after typing, or what went wrong with the editor.
        auto edit = [&](const QString& typed) -> QString {
            const QRect cell = list->visualRect(list->model()->index(png, FileTypeList::kSizeColumn));
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell.center());
            if (!list->SizeEditor()->isVisible() || list->SizeEditor()->geometry().width() != cell.width() - 3)
                return "editor not placed over the cell";
            list->SizeEditor()->setText(typed);
            QTest::keyClick(list->SizeEditor(), Qt::Key_Return);  // Enter does not commit
            if (!list->SizeEditor()->isVisible())
                return "Enter closed the editor";
            elsewhere->setFocus();
            QApplication::processEvents();
            if (list->SizeEditor()->isVisible())
                return "editor still shown after losing the focus";
            return list->item(png, FileTypeList::kSizeColumn)->text();
        };
        QCOMPARE(edit("5000"), QString("5000"));
        QCOMPARE(edit("0"), QString("5000"));
        QCOMPARE(edit("lots"), QString("5000"));
        QCOMPARE(edit("300abc"), QString("300abc"));
        QCOMPARE(list->CollectSelection().MaxSizeKbOf("PNG"), std::int64_t(0));  // not ticked
        list->CheckAll();
        QCOMPARE(list->CollectSelection().MaxSizeKbOf("PNG"), std::int64_t(300));
        // A click on the group row or a type name opens no editor.
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualRect(list->model()->index(0, FileTypeList::kSizeColumn)).center());
        QVERIFY(!list->SizeEditor()->isVisible());
    }

    void theSettingsDialogChecksPrefixAndSize()
    {
        std::vector<QString> notices;
        auto run = [&](const QString& prefix, const QString& size) {
            SettingsDialog dialog("FoundFile", "20480", [&](const QString& n) { notices.push_back(n); });
            dialog.show();
            dialog.PrefixEditor()->setText(prefix);
            dialog.SizeEditor()->setText(size);
            dialog.OnOk();
            return dialog.result() == QDialog::Accepted;
        };
        QVERIFY(!run("", "100"));
        QVERIFY(!run("a:b", "100"));
        QVERIFY(!run("ok", ""));
        QVERIFY(!run("ok", "0"));  // refused without a message
        QVERIFY(run("Say\"Cheese", "100"));
        QCOMPARE(notices, (std::vector<QString>{"Please provide prefix.", "Illegal character found in file prefix.",
                                                "Please provide maximum file size."}));
        SettingsDialog digits("FoundFile", "20480", {});
        QTest::keyClicks(digits.SizeEditor(), "12x3");
        QCOMPARE(digits.SizeEditor()->text(), QString("2048012" "3"));
    }

    void newSettingsReplaceHandEditedSizes()
    {
        World world;
        MainDialog dialog(world.Environment());
        dialog.show();
        ToTypePage(dialog);
        dialog.FileTypes()->item(4, FileTypeList::kSizeColumn)->setText("5000");
        dialog.SetSettings("Trip", "100");
        QCOMPARE(dialog.FileTypes()->item(4, FileTypeList::kSizeColumn)->text(), QString("100"));
        QCOMPARE(dialog.FileTypes()->item(4, FileTypeList::kPrefixColumn)->text(), QString("TripPNG"));
        dialog.FileTypes()->SetChecked(3, false);
        dialog.OnBack();
        dialog.OnNext();  // forward again: every box ticked, the settings in every row
        QCOMPARE(dialog.FileTypes()->CheckedTypeCount(), 11);
    }

    void stopAnsweredNoKeepsScanningAndYesStops()
    {
        World world;
        MainDialog dialog(world.Environment());
        dialog.show();
        ToTypePage(dialog);
        dialog.OnNext();
        QCOMPARE(dialog.Page(), int(MainDialog::kResultsPage));
        QVERIFY(dialog.ScanRunning());
        QVERIFY(!dialog.BackButton()->isVisible());
        QVERIFY(dialog.StopButton()->isVisible());
        QVERIFY(!dialog.ResultsTree()->isEnabled());
        world.answer = false;
        dialog.OnStop();
        QCOMPARE(world.questions.back(), QString("Are you sure,stop surrent process."));
        QVERIFY(dialog.ScanRunning());
        dialog.OnSettings();  // Settings on page 3 does nothing
        world.answer = true;
        dialog.OnStop();
        dialog.WaitForScan();
        QVERIFY(!dialog.ScanRunning());
        QVERIFY(dialog.BackButton()->isVisible());
        QVERIFY(!dialog.StopButton()->isVisible());
        QVERIFY(dialog.ResultsTree()->isEnabled());
        // Nothing was found: the tree holds its root only, and saving stays off.
        QCOMPARE(dialog.ResultsTree()->topLevelItem(0)->text(0), QString("Found File Type"));
        QCOMPARE(dialog.ResultsTree()->topLevelItem(0)->childCount(), 0);
        QVERIFY(!dialog.SaveAllButton()->isEnabled());
        QVERIFY(!dialog.SaveSelectedButton()->isEnabled());
        dialog.OnBack();
        QCOMPARE(dialog.Page(), int(MainDialog::kTypePage));
        QCOMPARE(dialog.Catalogue().FoundCount(), 0u);
    }

    void closingDuringAScanAsksAndYesEndsWithZero()
    {
        World world;
        MainDialog dialog(world.Environment());
        dialog.show();
        ToTypePage(dialog);
        dialog.OnNext();
        world.answer = false;
        dialog.close();
        QCOMPARE(world.questions.back(), QString("Are you sure,exit software ?"));
        QVERIFY(world.exits.empty());
        QVERIFY(dialog.ScanRunning());
        world.answer = true;
        dialog.close();
        QCOMPARE(world.exits, std::vector<int>{0});
        QVERIFY(!dialog.ScanRunning());  // the scan was asked to stop first
    }

    void aVolumeThatCannotBeOpenedIsNoticedAndBackStillWorks()
    {
        World world;
        world.opener = quorvex::testing::FailingOpener(OpenFailure::Other, "/dev/sda1: Input/output error");
        MainDialog dialog(world.Environment());
        dialog.show();
        ToTypePage(dialog);
        dialog.OnNext();
        dialog.WaitForScan();
        QCOMPARE(world.notices.size(), std::size_t(1));
        QVERIFY(world.notices[0].contains("/dev/sda1: Input/output error"));
        QVERIFY(dialog.BackButton()->isVisible());
        dialog.OnBack();
        QCOMPARE(dialog.Page(), int(MainDialog::kTypePage));
    }

    void aDriveThatNeedsPermissionIsAskedForOnceAndEveryReaderReadsThroughTheGrant()
    {
        World world;
        world.opener = quorvex::testing::FailingOpener(OpenFailure::PermissionDenied, "/dev/sdb1: permission denied");
        std::vector<std::string> asked;
        MainDialogEnvironment env = world.Environment();
        env.requestDeviceAccess = [&](const std::string& path) {
            asked.push_back(path);
            access::AccessReply reply;
            reply.outcome = access::AccessOutcome::Granted;
            reply.fd.Reset(::open(QUORVEX_SAMPLE_IMAGE, O_RDONLY | O_CLOEXEC));
            return reply;
        };
        MainDialog dialog(env);
        dialog.show();
        ClickRow(dialog, 1);
        dialog.OnNext();
        QVERIFY(world.questions.back().contains("Removable Disk(sdb1)"));
        QVERIFY(world.questions.back().contains("Allow access?"));
        QCOMPARE(asked, std::vector<std::string>{"/dev/sdb1"});
        QCOMPARE(dialog.Page(), int(MainDialog::kTypePage));
        QVERIFY(dialog.isEnabled());
        dialog.OnNext();
        dialog.WaitForScan();
        QCOMPARE(dialog.Catalogue().FoundCount(), std::uint64_t(9));  // the sample card, through the grant
        QVERIFY(world.notices.empty());
        // Granted once for the run: going back and on again asks nothing.
        const std::size_t questions = world.questions.size();
        dialog.OnBack();
        dialog.OnBack();
        dialog.OnNext();
        QCOMPARE(dialog.Page(), int(MainDialog::kTypePage));
        QCOMPARE(world.questions.size(), questions);
        QCOMPARE(asked.size(), std::size_t(1));
    }

    void aDeclinedOrRefusedRequestLeavesTheDrivePageWithTheWaysToReadTheDrive()
    {
        World world;
        world.opener = quorvex::testing::FailingOpener(OpenFailure::PermissionDenied, "/dev/sdb1: permission denied");
        quorvex::testing::TempFolder folder;
        const std::string writable = (folder.Path() / "card.img").string();
        std::ofstream(writable) << std::string(4096, 'x');
        access::AccessOutcome outcome = access::AccessOutcome::Refused;
        bool writableDescriptor = false;
        int requests = 0;
        MainDialogEnvironment env = world.Environment();
        env.requestDeviceAccess = [&](const std::string&) {
            ++requests;
            access::AccessReply reply;
            reply.outcome = outcome;
            reply.message = "the system did not allow Quorvex to read the drive";
            if (writableDescriptor)
                reply.fd.Reset(::open(writable.c_str(), O_RDWR | O_CLOEXEC));
            return reply;
        };
        MainDialog dialog(env);
        dialog.show();
        ClickRow(dialog, 1);
        world.answer = false;  // declined: nothing is asked of the system
        dialog.OnNext();
        QCOMPARE(requests, 0);
        QCOMPARE(dialog.Page(), int(MainDialog::kDrivePage));
        QVERIFY(world.notices.empty());

        world.answer = true;
        dialog.OnNext();  // refused by the system
        QCOMPARE(requests, 1);
        QCOMPARE(dialog.Page(), int(MainDialog::kDrivePage));
        QVERIFY(dialog.NextButton()->isVisible());
        QCOMPARE(world.notices.size(), std::size_t(1));
        QVERIFY(world.notices[0].contains("did not allow"));
        QVERIFY(world.notices[0].contains("disk"));
        QVERIFY(world.notices[0].contains("image file"));

        // A descriptor that could write is never used, whoever sent it.
        outcome = access::AccessOutcome::Granted;
        writableDescriptor = true;
        dialog.OnNext();
        QCOMPARE(requests, 2);
        QCOMPARE(dialog.Page(), int(MainDialog::kDrivePage));
        QCOMPARE(world.notices.size(), std::size_t(2));
        QVERIFY(world.notices[1].contains("for writing"));

        // Without a way to ask, the page says what to do instead.
        env.requestDeviceAccess = {};
        MainDialog without(env);
        without.show();
        ClickRow(without, 1);
        without.OnNext();
        QCOMPARE(without.Page(), int(MainDialog::kDrivePage));
        QVERIFY(world.notices.back().contains("disk"));
        QCOMPARE(requests, 2);
    }

    void startedAsAdministratorItSaysOnceThatItIsNotNeeded()
    {
        World world;
        MainDialogEnvironment env = world.Environment();
        env.invokingUser = [] { return std::optional<access::InvokingUser>(access::InvokingUser{1000, 1000, "/home/u"}); };
        MainDialog dialog(env);
        dialog.show();
        QTest::qWait(20);
        QCOMPARE(world.notices.size(), std::size_t(1));
        QVERIFY(world.notices[0].contains("does not need to run as administrator"));
        ToTypePage(dialog);
        QCOMPARE(world.notices.size(), std::size_t(1));
    }

    void aScanOfTheSampleCardFindsWhatTheCliFinds()
    {
        World world;
        world.opener = [] { return FileVolumeSource::Open(QUORVEX_SAMPLE_IMAGE); };
        MainDialog dialog(world.Environment());
        dialog.show();
        dialog.AddDiskImage(QUORVEX_SAMPLE_IMAGE);
        QCOMPARE(dialog.DriveList()->currentItem()->text(0), QString("Disk Image(sample-card.img)"));
        dialog.OnNext();
        dialog.OnNext();
        dialog.WaitForScan();
        QStringList gui;
        dialog.Catalogue().ForEachEntry([&](const FoundFileEntry& e) {
            gui << QString("%1\t%2\t%3").arg(QString::fromStdString(e.name), QString::fromStdString(e.token)).arg(e.startSector);
        });
        QProcess cli;
        cli.start(QUORVEX_CLI_PATH, {"scan", QUORVEX_SAMPLE_IMAGE});
        QVERIFY(cli.waitForFinished(30000));
        const QStringList expected = QString::fromUtf8(cli.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(gui, expected);
        QCOMPARE(dialog.ResultsTree()->topLevelItem(0)->childCount(), 7);  // JPG PNG TIF BMP GIF RIFF CRW
        QCOMPARE(dialog.ResultsTree()->topLevelItem(0)->child(0)->text(0), QString("JPG"));
        QVERIFY(dialog.SaveAllButton()->isEnabled());
    }
};

QTEST_MAIN(MainDialogTest)
#include "MainDialogTest.moc"
