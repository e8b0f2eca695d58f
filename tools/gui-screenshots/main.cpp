// gui-screenshots: walks the main window through its pages with the sample card image and saves a
// screenshot of each, of the settings dialog and of the About box, on the offscreen platform.
// With a second card, also the type page with "Exact recovery" ticked and the results of an
// exact scan of that card (each tile with its verdict mark, a photo put back together from its
// pieces).
// With a third card, of today's files, the type page's groups of exact recovery's own types and
// their results (HEIC photos, camera raws, a video's frame).
//   gui-screenshots SAMPLE_IMAGE OUTPUT_FOLDER [EXACT_CARD_IMAGE [MODERN_CARD_IMAGE]]
#include "AboutBox.h"
#include "CTypeTreeCtrl.h"
#include "MediaPreviewDialog.h"
#include "SaveProgressDialog.h"
#include "FileTypeList.h"
#include "ImagingDialog.h"
#include "MainDialog.h"
#include "SettingsDialog.h"

#include "FileVolumeSource.h"
#include "FoundFileListView.h"
#include "MarkupMessageBoxDialog.h"
#include "PictureEncoders.h"
#include "ProgramMessages.h"
#include "RepeatingVolumeSource.h"
#include "ResultsPage.h"

#include <QTemporaryDir>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QPainter>
#include "FoundFileListView.h"
#include <QMenu>
#include <QTimer>
#include <QTreeWidget>
#include <chrono>
#include <cstdio>
#include <thread>

using namespace quorvex;
using namespace quorvex::app;

namespace {

// A volume that reads slowly, so the results page can be seen while the scan runs.
class SlowVolume : public VolumeSource {
public:
    explicit SlowVolume(std::unique_ptr<VolumeSource> inner) : inner_(std::move(inner)) {}
    std::uint64_t SizeBytes() const override { return inner_->SizeBytes(); }
    ReadOutcome ReadAt(std::uint64_t offset, std::span<unsigned char> destination) override
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(120));
        return inner_->ReadAt(offset, destination.first(std::min<std::size_t>(destination.size(), 512 * 1024)));
    }

private:
    std::unique_ptr<VolumeSource> inner_;
};

// The window with its title bar drawn in, as a window manager would frame it.
QImage Shot(QWidget& window)
{
    QApplication::processEvents();
    const QPixmap content = window.grab();
    QImage framed(content.width() + 2, content.height() + 28, QImage::Format_RGB32);
    framed.fill(QColor(0x33, 0x3A, 0x44));
    QPainter p(&framed);
    p.setPen(Qt::white);
    p.setFont(QFont("DejaVu Sans", 10, QFont::Bold));
    p.drawText(QRect(10, 0, framed.width() - 20, 27), Qt::AlignVCenter | Qt::AlignLeft, window.windowTitle());
    p.drawPixmap(1, 27, content);
    return framed;
}

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 3 || argc > 6) {
        std::fprintf(stderr, "usage: gui-screenshots SAMPLE_IMAGE OUTPUT_FOLDER [EXACT_CARD_IMAGE [MODERN_CARD_IMAGE "
                             "[NAMES_CARD_IMAGE]]]\n");
        return 1;
    }
    const QString image = QString::fromLocal8Bit(argv[1]);
    const QDir out(QString::fromLocal8Bit(argv[2]));
    QDir().mkpath(out.path());
    bool slow = true;

    MainDialogEnvironment env = MainDialogEnvironment::Default();
    QTemporaryDir sessions;  // no kept scan of an earlier run is offered
    env.sessionFolder = sessions.path();
    // Questions are answered Yes; the one about a kept scan is drawn as the user sees it.
    env.ask = [&out](const QString& text) {
        if (text.contains("scanned before")) {
            msgbox::MessageBoxParams params = msgbox::ProgramMessageBoxParams();
            params.text = text.toStdString();
            params.caption = msgbox::kProgramCaption;
            params.type = msgbox::mb::YESNO | msgbox::mb::ICONQUESTION;
            msgbox::MarkupMessageBoxDialog box(nullptr, params);
            box.show();
            Shot(box).save(out.filePath("13-kept-scan-question.png"));
        }
        return true;
    };
    env.notice = [](const QString& text) { std::fprintf(stderr, "notice: %s\n", qPrintable(text)); };
    env.exitProcess = [](int) {};
    env.openUrl = [](const QString&) {};
    env.loadExactRecovery = [] { return false; };
    env.storeExactRecovery = [](bool) {};
    env.openerFor = [&slow](const VolumeDescription& volume) -> VolumeOpener {
        return [&slow, path = volume.path] {
            VolumeOpenResult result = FileVolumeSource::Open(path);
            if (result.ok() && slow)
                result.source = std::make_unique<SlowVolume>(std::move(result.source));
            return result;
        };
    };
    MainDialog dialog(env);
    dialog.show();
    dialog.AddDiskImage(image);
    Shot(dialog).save(out.filePath("1-drive-page.png"));

    dialog.OnNext();
    Shot(dialog).save(out.filePath("2-type-page.png"));
    {
        SettingsDialog settings(dialog.PrefixSetting(), dialog.SizeSetting(), env.notice, &dialog);
        settings.SetPhotoChoices(dialog.CurrentPhotoSaving().nameByCaptureDate, dialog.CurrentPhotoSaving().skipDuplicates);
        settings.show();
        Shot(settings).save(out.filePath("4-settings.png"));
    }
    {
        AboutBox about(&dialog);
        about.show();
        Shot(about).save(out.filePath("5-about.png"));
    }

    dialog.SetSettings("FoundFile", "1024");
    dialog.OnNext();  // starts the slow scan
    for (int i = 0; i < 20; ++i) {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    Shot(dialog).save(out.filePath("3a-results-scanning.png"));
    dialog.WaitForScan();
    dialog.ResultsTree()->expandAll();
    Shot(dialog).save(out.filePath("3b-results-done.png"));
    slow = false;

    // Thumbnails of the JPEGs, two of them selected.
    QTreeWidgetItem* root = dialog.ResultsTree()->topLevelItem(0);
    QTreeWidgetItem* jpg = root->child(0);
    dialog.ResultsTree()->setCurrentItem(jpg);
    dialog.BuildThumbnails(jpg->text(0));
    dialog.WaitForThumbnails();
    for (int i = 0; i < dialog.ResultsList()->Count(); ++i)
        dialog.ResultsList()->SelectRow(i);
    Shot(dialog).save(out.filePath("6-results-thumbnails.png"));
    dialog.ResultsTree()->setCurrentItem(root->child(1));
    dialog.BuildThumbnails(root->child(1)->text(0));
    dialog.WaitForThumbnails();
    Shot(dialog).save(out.filePath("6b-results-thumbnails-png.png"));

    // The tree's right-click menu over the JPG item, drawn into the window's picture.
    {
        dialog.ResultsTree()->setCurrentItem(jpg);
        QImage window = Shot(dialog);
        std::unique_ptr<QMenu> menu(dialog.TypeTree()->BuildContextMenu(jpg));
        menu->popup(QPoint(0, 0));
        QApplication::processEvents();
        const QPixmap shot = menu->grab();
        menu->close();
        QPainter p(&window);
        const QPoint at = dialog.TypeTree()->mapTo(&dialog, dialog.TypeTree()->visualItemRect(jpg).center());
        p.drawPixmap(at + QPoint(1, 27 + 10), shot);
        p.end();
        window.save(out.filePath("7-tree-menu.png"));
    }

    // The save progress dialog while it writes (slowly, to be seen).
    {
        slow = true;
        SaveProgressDialog::Job job;
        job.catalogue = &dialog.Catalogue();
        job.opener = env.openerFor(*dialog.SelectedDrive());
        job.destinationFolder = QDir::temp().filePath("quorvex-screenshot-save").toStdString();
        job.saveAll = true;
        SaveProgressDialog progress(std::move(job), [](const QString&) { return true; }, &dialog);
        QTimer::singleShot(600, &progress, [&] {
            Shot(progress).save(out.filePath("8-save-progress.png"));
            progress.OnStopSaving();
        });
        progress.exec();
        QDir(QDir::temp().filePath("quorvex-screenshot-save")).removeRecursively();
        slow = false;
    }

    // Making a disk image of the card (slowly, to be seen), stopped half way.
    {
        slow = true;
        ImagingDialog::Job job;
        job.source = env.openerFor(*dialog.SelectedDrive());
        job.sourceName = "Disk Image(sample-card.img)";
        job.imagePath = QDir::temp().filePath("quorvex-screenshot.img").toStdString();
        job.mapPath = job.imagePath + ".map";
        QFile::remove(QString::fromStdString(job.imagePath));
        QFile::remove(QString::fromStdString(job.mapPath));
        ImagingDialog imaging(job, [](const QString&) { return true; }, &dialog);
        QTimer::singleShot(900, &imaging, [&] {
            Shot(imaging).save(out.filePath("12-create-disk-image.png"));
            imaging.OnStop();
        });
        imaging.exec();
        QFile::remove(QString::fromStdString(job.imagePath));
        QFile::remove(QString::fromStdString(job.mapPath));
        slow = false;
    }

    // The media preview window playing a WAVE file found on the card.
    {
        const QString wav = QDir::temp().filePath("quorvex-screenshot.RIFF");
        QFile(wav).remove();
        QFile::copy(image, wav);
        preview::MediaPreviewDialog media(wav);
        media.show();
        QApplication::processEvents(QEventLoop::AllEvents, 300);
        Shot(media).save(out.filePath("9-media-preview.png"));
        media.close();
    }
    // The same card picked again: its kept scan is offered, and shown without scanning.
    {
        MainDialog again(env);
        again.show();
        again.AddDiskImage(image);
        again.OnNext();
        again.ResultsTree()->expandAll();
        Shot(again).save(out.filePath("13b-results-kept-scan.png"));
    }

    // A type with thousands of files: every row at once, the tiles in view made first.
    {
        fixtures::Bytes pattern;
        for (int variant = 0; variant < 7; ++variant) {
            fixtures::Bytes picture = fixtures::EncodeBmp(fixtures::MakeScene(60, 40, variant));
            picture.resize((picture.size() + 511) / 512 * 512, 0);
            pattern.insert(pattern.end(), picture.begin(), picture.end());
        }
        MainDialogEnvironment many = env;
        VolumeDescription card;
        card.kind = VolumeKind::Removable;
        card.name = "sdc1";
        card.path = "/dev/sdc1";
        card.sizeBytes = 6000 * pattern.size() / 7;
        many.listVolumes = [card] { return std::vector<VolumeDescription>{card}; };
        many.openerFor = [pattern, size = *card.sizeBytes](const VolumeDescription&) -> VolumeOpener {
            return [pattern, size] {
                VolumeOpenResult result;
                result.source = std::make_unique<testing::RepeatingVolumeSource>(size, pattern);
                return result;
            };
        };
        MainDialog big(many);
        big.show();
        big.DriveList()->setCurrentItem(big.DriveList()->topLevelItem(0));
        big.OnNext();
        big.SetSettings("FoundFile", "8");
        big.OnNext();
        big.WaitForScan();
        QTreeWidgetItem* bmp = big.ResultsTree()->topLevelItem(0)->child(0);
        big.ResultsTree()->setCurrentItem(bmp);
        big.BuildThumbnails("BMP");
        preview::FoundFileListView& list = *big.ResultsList();
        for (int i = 0; i < 50; ++i)  // the rows are laid out in batches
            QApplication::processEvents(QEventLoop::AllEvents, 20);
        list.scrollTo(list.model()->index(2400, 0), QAbstractItemView::PositionAtTop);
        for (int i = 0; i < 200; ++i) {
            QApplication::processEvents(QEventLoop::AllEvents, 20);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        list.SelectRow(list.RowsInView().first + 1);
        Shot(big).save(out.filePath("14-results-many-files.png"));
        std::printf("many files: %s\n", qPrintable(preview::CTypeTreeCtrl::DisplayedLabel(bmp)));
    }

    std::printf("found %llu files; screenshots in %s\n", static_cast<unsigned long long>(dialog.Catalogue().FoundCount()),
                argv[2]);

    if (argc >= 4) {
        MainDialog exact(env);
        exact.show();
        exact.AddDiskImage(QString::fromLocal8Bit(argv[3]));
        exact.OnNext();
        exact.ExactRecoveryBox()->setChecked(true);
        Shot(exact).save(out.filePath("10-type-page-exact.png"));
        exact.OnNext();
        exact.WaitForScan();
        QTreeWidgetItem* types = exact.ResultsTree()->topLevelItem(0);
        for (int i = 0; i < types->childCount(); ++i) {
            if (types->child(i)->text(0) != "JPG")
                continue;
            exact.ResultsTree()->setCurrentItem(types->child(i));
            exact.BuildThumbnails("JPG");
            exact.WaitForThumbnails();
        }
        // Scroll to the first file that is not whole, so its mark is in the picture.
        for (int i = 0; i < exact.ResultsList()->Count(); ++i)
            if (!exact.ResultsList()->ToolTipAt(i).contains("complete")) {
                exact.ResultsList()->scrollTo(exact.ResultsList()->model()->index(i, 0));
                exact.ResultsList()->SelectRow(i);
                std::printf("%s\n", qPrintable(exact.ResultsList()->ToolTipAt(i)));
                break;
            }
        Shot(exact).save(out.filePath("11-results-exact.png"));

        // A photo the card stored in pieces, put back together after the scan.
        for (int i = 0; i < exact.ResultsList()->Count(); ++i)
            if (exact.ResultsList()->ToolTipAt(i).contains("reassembled")) {
                exact.ResultsList()->scrollTo(exact.ResultsList()->model()->index(i, 0));
                exact.ResultsList()->SelectRow(i);
                exact.ResultsList()->setCurrentIndex(exact.ResultsList()->model()->index(i, 0));
                for (int k = 0; k < 50; ++k)
                    QApplication::processEvents(QEventLoop::AllEvents, 10);
                std::printf("reassembled: %s\n", qPrintable(exact.ResultsList()->ToolTipAt(i)));
                Shot(exact).save(out.filePath("17-results-reassembled.png"));
                break;
            }
        std::printf("exact scan: found %llu files\n", static_cast<unsigned long long>(exact.Catalogue().FoundCount()));

        // The photos by capture date, the current one's details under the list.
        exact.Results()->WaitForBackgroundWork();
        exact.Results()->OrderByCaptureDate();
        exact.Results()->WaitForBackgroundWork();
        for (int i = 0; i < 100; ++i)
            QApplication::processEvents(QEventLoop::AllEvents, 10);
        preview::FoundFileListView* list = exact.ResultsList();
        list->scrollToTop();
        list->setCurrentIndex(list->model()->index(1, 0));
        Shot(exact).save(out.filePath("15-results-by-capture-date.png"));
        std::printf("by date: %s\n", qPrintable(exact.Results()->DetailsLine()->text()));

        // Camera raw files shown by their embedded previews.
        for (int i = 0; i < types->childCount(); ++i) {
            const QString token = types->child(i)->text(0);
            if (token != "NEF")
                continue;
            exact.ResultsTree()->setCurrentItem(types->child(i));
            exact.BuildThumbnails(token);
            exact.WaitForThumbnails();
            for (int k = 0; k < 100; ++k)
                QApplication::processEvents(QEventLoop::AllEvents, 10);
            list->setCurrentIndex(list->model()->index(0, 0));
            Shot(exact).save(out.filePath("16-results-raw-previews.png"));
            std::printf("raw: %s\n", qPrintable(exact.Results()->DetailsLine()->text()));
        }
    }
    if (argc == 6) {
        // A card whose file system still names its files: the tree's Card Folders view.
        MainDialog named(env);
        named.show();
        named.AddDiskImage(QString::fromLocal8Bit(argv[5]));
        named.OnNext();
        named.ExactRecoveryBox()->setChecked(true);
        named.OnNext();
        named.WaitForScan();
        named.Results()->ShowCardFolder("DCIM/100CANON");
        if (QTreeWidgetItem* item = named.Results()->CardFolderItem("DCIM/100CANON"))
            named.ResultsTree()->setCurrentItem(item);
        named.WaitForThumbnails();
        for (int k = 0; k < 50; ++k)
            QApplication::processEvents(QEventLoop::AllEvents, 10);
        named.ResultsList()->setCurrentIndex(named.ResultsList()->model()->index(2, 0));
        Shot(named).save(out.filePath("24-results-card-folders.png"));
        std::printf("card folders: %s\n", qPrintable(named.Results()->DetailsLine()->text()));
    }
    if (argc >= 5) {
        MainDialog modern(env);
        modern.show();
        modern.AddDiskImage(QString::fromLocal8Bit(argv[4]));
        modern.OnNext();
        modern.ExactRecoveryBox()->setChecked(true);
        FileTypeList* typeList = modern.FileTypes();
        QApplication::processEvents();
        typeList->scrollToItem(typeList->item(typeList->rowCount() - 1, 0), QAbstractItemView::PositionAtBottom);
        QApplication::processEvents();
        Shot(modern).save(out.filePath("18-type-page-today.png"));
        modern.OnNext();
        modern.WaitForScan();
        QTreeWidgetItem* types = modern.ResultsTree()->topLevelItem(0);
        const std::pair<QString, QString> shots[] = {{"HEIC", "19-results-heic.png"}, {"CR2", "20-results-today-raw.png"},
                                                     {"MP4", "21-results-video.png"}};
        for (const auto& [token, name] : shots)
            for (int i = 0; i < types->childCount(); ++i) {
                if (types->child(i)->text(0) != token)
                    continue;
                modern.ResultsTree()->setCurrentItem(types->child(i));
                modern.BuildThumbnails(token);
                modern.WaitForThumbnails();
                modern.ResultsList()->setCurrentIndex(modern.ResultsList()->model()->index(0, 0));
                for (int k = 0; k < 50; ++k)
                    QApplication::processEvents(QEventLoop::AllEvents, 10);
                Shot(modern).save(out.filePath(name));
                std::printf("%s: %s\n", qPrintable(token), qPrintable(modern.Results()->DetailsLine()->text()));
            }
    }
    {
        // A card only root may open: the drive page asks for permission, and a refusal says what
        // else can be done.
        MainDialogEnvironment asking = env;
        asking.listVolumes = [] {
            VolumeDescription card;
            card.kind = VolumeKind::Removable;
            card.name = "sdb1";
            card.path = "/dev/sdb1";
            card.sizeBytes = 32ull << 30;
            return std::vector<VolumeDescription>{card};
        };
        asking.volumeSize = [](const VolumeDescription& volume) { return volume.sizeBytes; };
        asking.openerFor = [](const VolumeDescription& volume) -> VolumeOpener {
            return [path = volume.path] {
                VolumeOpenResult refused;
                refused.failure = OpenFailure::PermissionDenied;
                refused.message = path + ": permission denied";
                return refused;
            };
        };
        auto box = [&out](const QString& text, unsigned type, const char* name) {
            msgbox::MessageBoxParams params = msgbox::ProgramMessageBoxParams();
            params.text = text.toStdString();
            params.caption = msgbox::kProgramCaption;
            params.type = type;
            msgbox::MarkupMessageBoxDialog shown(nullptr, params);
            shown.show();
            Shot(shown).save(out.filePath(name));
        };
        asking.ask = [&](const QString& text) {
            box(text, msgbox::mb::YESNO | msgbox::mb::ICONQUESTION, "22-allow-access.png");
            return true;
        };
        asking.notice = [&](const QString& text) {
            box(text, msgbox::mb::OK | msgbox::mb::ICONASTERISK, "23-access-refused.png");
        };
        asking.requestDeviceAccess = [](const std::string&) {
            access::AccessReply reply;
            reply.outcome = access::AccessOutcome::Refused;
            reply.message = "the password dialog was closed";
            return reply;
        };
        MainDialog drive(asking);
        drive.show();
        drive.DriveList()->setCurrentItem(drive.DriveList()->topLevelItem(0));
        drive.OnNext();
    }
    return 0;
}
