#include "SaveProgressDialog.h"

#include "CSkinButton.h"
#include "DialogUnits.h"
#include "ResourceTable.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>

namespace quorvex::app {

// SaveWorker: runs the save on its thread and hands every report to the dialog, queued, in order.
class SaveProgressDialog::Worker : public QObject, public SaveObserver {
    Q_OBJECT
public:
    explicit Worker(const FoundFileCatalogue& catalogue) : saver(catalogue, *this) {}
    FoundFileSaver saver;
    std::atomic<int> stopFinding{0};
    DuplicateMap foundHere;  // the copies, when they were not known before the save

    void OnSaveProgress(int percent) override { emit Progress(percent); }
    void OnFileStarted(const std::string& path) override { emit FileStarted(QString::fromStdString(path)); }
    void OnFileFailed(const std::string&, const std::string&) override {}

signals:
    void Progress(int percent);
    void FileStarted(const QString& path);
    void Done();
};

SaveProgressDialog::SaveProgressDialog(Job job, std::function<bool(const QString&)> ask, QWidget* parent)
    : QDialog(parent), job_(std::move(job)), ask_(std::move(ask)), worker_(std::make_unique<Worker>(*job_.catalogue))
{
    setWindowTitle("File Saving...");
    setWindowIcon(res::LoadIcon(res::id::kAppIcon));
    setFixedSize(DialogSize(350, 103));
    QFont font("Verdana");
    font.setPixelSize(13);
    auto* caption = new QLabel("File name :", this);
    caption->setFont(font);
    caption->setGeometry(DialogRect(13, 21, 48, 11));
    path_ = new QLabel(this);
    path_->setFont(font);
    path_->setGeometry(DialogRect(61, 21, 280, 11));
    path_->setTextFormat(Qt::PlainText);
    progress_ = new QProgressBar(this);
    progress_->setGeometry(DialogRect(12, 40, 321, 11));
    progress_->setRange(0, 100);
    progress_->setTextVisible(false);
    stop_ = new controls::CSkinButton(this);
    stop_->setGeometry(DialogRect(147, 64, 58, 18));
    stop_->SetButtonImages(res::id::kStopSaving, res::id::kStopSavingHover);
    connect(stop_, &QAbstractButton::clicked, this, &SaveProgressDialog::OnStopSaving);

    connect(worker_.get(), &Worker::Progress, progress_, &QProgressBar::setValue, Qt::QueuedConnection);
    connect(worker_.get(), &Worker::FileStarted, this,
            [this](const QString& path) { path_->setText(fontMetrics().elidedText(path, Qt::ElideMiddle, path_->width())); },
            Qt::QueuedConnection);
    connect(worker_.get(), &Worker::Done, this, &SaveProgressDialog::OnWorkerDone, Qt::QueuedConnection);
}

SaveProgressDialog::~SaveProgressDialog()
{
    if (thread_.joinable()) {
        worker_->saver.RequestStop();
        thread_.join();
    }
}

void SaveProgressDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (started_)
        return;
    started_ = true;
    worker_->saver.SetSpaceBudget(job_.spaceBudget);
    worker_->saver.SetNameByCaptureDate(job_.nameByCaptureDate);
    worker_->saver.SetKeepCardNames(job_.keepCardNames);
    thread_ = std::thread([this] {
        if (job_.skipDuplicates) {
            const DuplicateMap* duplicates = job_.duplicates;
            if (duplicates == nullptr) {
                // Copies are found among files of the same length only, so this is quick unless
                // many files share one.
                emit worker_->FileStarted("Looking for copies of the same photo...");
                VolumeReader reader;
                if (reader.Open(job_.opener).ok())
                    worker_->foundHere = FindDuplicates(reader, *job_.catalogue, &worker_->stopFinding,
                                                        [this](int percent) { emit worker_->Progress(percent); });
                duplicates = &worker_->foundHere;
            }
            worker_->saver.SetSkipDuplicates(duplicates);
        }
        report_ = job_.saveAll ? worker_->saver.SaveAll(job_.opener, job_.destinationFolder)
                               : worker_->saver.SaveSelected(job_.opener, job_.destinationFolder, job_.names);
        emit worker_->Done();
    });
}

void SaveProgressDialog::OnWorkerDone()
{
    if (thread_.joinable())
        thread_.join();
    done_ = true;
    accept();
}

void SaveProgressDialog::OnStopSaving()
{
    if (done_)
        return;
    if (ask_ && ask_("Do you really want to stop saving process ?")) {
        worker_->stopFinding.store(1);
        worker_->saver.RequestStop();  // the dialog closes when the worker has ended
    }
}

void SaveProgressDialog::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

void SaveProgressDialog::closeEvent(QCloseEvent* event)
{
    if (done_) {
        QDialog::closeEvent(event);
        return;
    }
    event->ignore();
    OnStopSaving();
}

void SaveProgressDialog::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    painter.drawPixmap(0, 0, res::LoadBitmap(res::id::kSaveProgressBackground));
}

}  // namespace quorvex::app

#include "SaveProgressDialog.moc"
