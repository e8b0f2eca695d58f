#include "MediaPreviewDialog.h"

#include <QAudioOutput>
#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMediaPlayer>
#include <QUrl>
#include <QVBoxLayout>
#include <QVideoWidget>

namespace quorvex::preview {

MediaPreviewDialog::MediaPreviewDialog(QString filePath, QWidget* parent)
    : QDialog(parent), filePath_(std::move(filePath)), player_(new QMediaPlayer(this)), audio_(new QAudioOutput(this)),
      video_(new QVideoWidget(this))
{
    setWindowTitle("Media Preview");
    setSizeGripEnabled(true);
    resize(657, 367);  // 438 × 226 dialog units
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(video_);
    // A sound has no picture: say what is playing instead of showing an empty frame.
    audioOnly_ = new QLabel(QString::fromUtf8("\u266B  Playing ") + QFileInfo(filePath_).fileName(), this);
    audioOnly_->setAlignment(Qt::AlignCenter);
    audioOnly_->setStyleSheet("font-size: 16px; color: #1d3557;");
    layout->addWidget(audioOnly_);
    video_->hide();
    connect(player_, &QMediaPlayer::hasVideoChanged, this, [this](bool video) {
        video_->setVisible(video);
        audioOnly_->setVisible(!video);
    });
    player_->setAudioOutput(audio_);
    player_->setVideoOutput(video_);
    player_->setSource(QUrl::fromLocalFile(filePath_));
    player_->play();
}

MediaPreviewDialog::~MediaPreviewDialog()
{
    player_->stop();
}

void MediaPreviewDialog::StopAndDelete()
{
    player_->stop();
    player_->setSource(QUrl());
    QFile::remove(filePath_);
}

void MediaPreviewDialog::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        StopAndDelete();
        accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void MediaPreviewDialog::reject()
{
    // Escape: close and keep the copy; Back or the end of the program deletes it.
    escaping_ = true;
    player_->stop();
    QDialog::reject();
}

void MediaPreviewDialog::closeEvent(QCloseEvent* event)
{
    if (!escaping_)
        StopAndDelete();
    QDialog::closeEvent(event);
}

}  // namespace quorvex::preview
