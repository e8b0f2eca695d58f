#include "ImagingDialog.h"

#include "ResourceTable.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace quorvex::app {

namespace {

QString Size(std::uint64_t bytes)
{
    const double mib = static_cast<double>(bytes) / (1024.0 * 1024.0);
    return mib >= 1024 ? QString("%1 GB").arg(mib / 1024.0, 0, 'f', 2) : QString("%1 MB").arg(mib, 0, 'f', 1);
}

QString Duration(double seconds)
{
    if (seconds < 0)
        return "--:--";
    const auto total = static_cast<qlonglong>(seconds + 0.5);
    return total >= 3600 ? QString("%1:%2:%3").arg(total / 3600).arg(total / 60 % 60, 2, 10, QChar('0')).arg(total % 60, 2, 10, QChar('0'))
                         : QString("%1:%2").arg(total / 60).arg(total % 60, 2, 10, QChar('0'));
}

}  // namespace

// Runs the imaging on its thread and hands every report to the dialog, queued, in order.
class ImagingDialog::Worker : public QObject, public ImagingObserver {
    Q_OBJECT
public:
    DiskImager imager;
    void OnImagingProgress(const ImagingProgress& progress) override { emit Progressed(progress); }

signals:
    void Progressed(const ImagingProgress& progress);
    void Done();
};

ImagingDialog::ImagingDialog(Job job, std::function<bool(const QString&)> ask, QWidget* parent)
    : QDialog(parent), job_(std::move(job)), ask_(std::move(ask)), worker_(std::make_unique<Worker>())
{
    qRegisterMetaType<ImagingProgress>("ImagingProgress");
    setWindowTitle("Creating Disk Image...");
    setWindowIcon(res::LoadIcon(res::id::kAppIcon));
    auto* layout = new QVBoxLayout(this);
    auto* what = new QLabel(QString("Copying %1 into %2").arg(job_.sourceName, QString::fromStdString(job_.imagePath)), this);
    what->setWordWrap(true);
    phase_ = new QLabel("Reading the good areas first...", this);
    progress_ = new QProgressBar(this);
    progress_->setRange(0, 1000);
    progress_->setTextVisible(false);
    details_ = new QLabel(this);
    details_->setWordWrap(true);
    stop_ = new QPushButton("Stop", this);
    layout->addWidget(what);
    layout->addWidget(phase_);
    layout->addWidget(progress_);
    layout->addWidget(details_);
    layout->addWidget(stop_, 0, Qt::AlignHCenter);
    setMinimumWidth(460);
    connect(stop_, &QPushButton::clicked, this, &ImagingDialog::OnStop);
    connect(worker_.get(), &Worker::Progressed, this, &ImagingDialog::Show, Qt::QueuedConnection);
    connect(worker_.get(), &Worker::Done, this, &ImagingDialog::OnWorkerDone, Qt::QueuedConnection);
}

ImagingDialog::~ImagingDialog()
{
    if (thread_.joinable()) {
        worker_->imager.RequestStop();
        thread_.join();
    }
}

void ImagingDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (started_)
        return;
    started_ = true;
    thread_ = std::thread([this] {
        report_ = worker_->imager.Run(job_.source, job_.imagePath, job_.mapPath, *worker_);
        emit worker_->Done();
    });
}

void ImagingDialog::Show(const ImagingProgress& p)
{
    phase_->setText(p.phase == '?'   ? "Reading the good areas first..."
                    : p.phase == '*' ? "Reading the edges of the areas that failed, sector by sector..."
                    : p.phase == '/' ? "Reading each sector left on its own..."
                                     : "Done.");
    if (p.sizeBytes > 0)
        progress_->setValue(static_cast<int>((p.sizeBytes - p.pendingBytes) * 1000 / p.sizeBytes));
    details_->setText(QString("%1 of %2 copied at %3/s\n%4 gone, %5 left; %6 could not be read")
                          .arg(Size(p.rescuedBytes), Size(p.sizeBytes), Size(static_cast<std::uint64_t>(p.bytesPerSecond)),
                               Duration(p.elapsedSeconds), Duration(p.remainingSeconds), Size(p.unreadableBytes)));
}

void ImagingDialog::OnWorkerDone()
{
    if (thread_.joinable())
        thread_.join();
    done_ = true;
    accept();
}

void ImagingDialog::OnStop()
{
    if (done_)
        return;
    if (ask_ && ask_("Do you really want to stop making the image? You can go on later from where it stopped."))
        worker_->imager.RequestStop();  // the dialog closes when the worker has ended
}

void ImagingDialog::closeEvent(QCloseEvent* event)
{
    if (done_) {
        QDialog::closeEvent(event);
        return;
    }
    event->ignore();
    OnStop();
}

}  // namespace quorvex::app

#include "ImagingDialog.moc"
