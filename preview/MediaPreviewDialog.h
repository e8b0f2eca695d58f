#pragma once

#include <QDialog>
#include <QString>

class QAudioOutput;
class QLabel;
class QMediaPlayer;
class QVideoWidget;

namespace quorvex::preview {

// "Media Preview": plays a RIFF file (WAVE, AVI, ...) at once. Enter and the close box stop it,
// unload it and delete the file; Escape closes the window and leaves the file for later.
class MediaPreviewDialog : public QDialog {
    Q_OBJECT
public:
    MediaPreviewDialog(QString filePath, QWidget* parent = nullptr);
    ~MediaPreviewDialog() override;

    QMediaPlayer* Player() const { return player_; }
    const QString& FilePath() const { return filePath_; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    // Stops, unloads and deletes the copy: what Enter and the close box do.
    void StopAndDelete();

    QString filePath_;
    QMediaPlayer* player_;
    QAudioOutput* audio_;
    QVideoWidget* video_;
    QLabel* audioOnly_;
    bool escaping_ = false;
};

}  // namespace quorvex::preview
