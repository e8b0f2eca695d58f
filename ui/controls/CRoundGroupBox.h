#pragma once

#include <QColor>
#include <QFont>
#include <QWidget>

namespace quorvex::controls {

// A group box drawn as a rounded rectangle with a caption. Frame style (0): a hollow outline
// with the caption set into its top edge; window style (non-zero): a filled rounded header over
// a filled body.
class CRoundGroupBox : public QWidget {
    Q_OBJECT
public:
    explicit CRoundGroupBox(QWidget* parent = nullptr);

    // The window text; the caption drawn when no caption was set.
    void setText(const QString& text);
    QString text() const { return windowText_; }

    void SetBorderColor(const QColor& color);
    void SetCaptionTextColor(const QColor& color);
    void SetBackgroundColors(const QColor& caption, const QColor& body);
    void SetBackgroundColor(const QColor& color);
    void SetBoxStyle(int style);
    // Stores the caption with one blank before and after it.
    void SetCaption(const QString& caption);
    void SetCaptionBold(bool bold);
    void SetCaptionFontName(const QString& face);
    void SetCaptionUnderline(bool underline);
    void SetCaptionItalic(bool italic);
    void SetCaptionPointSize(int points);
    void SetCaptionFont(const QFont& font);
    // 1 centred, 2 right, anything else left.
    void SetCaptionAlignment(int alignment);

    QString Caption() const { return caption_; }
    const QFont& CaptionFont() const { return captionFont_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void Repaint();

    QString caption_;
    QString windowText_;
    QColor borderColor_;
    QColor captionBackground_;
    QColor bodyBackground_;
    QColor captionTextColor_ = QColor(0, 0, 255);
    int boxStyle_ = 0;
    int captionAlignment_ = 0;
    QFont captionFont_;
};

}  // namespace quorvex::controls
