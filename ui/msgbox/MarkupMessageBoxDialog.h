#pragma once

#include "MarkupRenderer.h"
#include "MessageBoxParams.h"
#include "QtMarkupSupport.h"

#include <QDialog>
#include <QFont>
#include <QImage>
#include <QTimer>
#include <memory>
#include <vector>

class QCheckBox;
class QLabel;
class QPushButton;

namespace quorvex::msgbox {

// The modal dialog of one MarkupMessageBox call: areas of markup over background effects, a row
// of buttons, an optional check box, countdowns and an expandable details area.
class MarkupMessageBoxDialog : public QDialog {
    Q_OBJECT
public:
    // Layout constants, in pixels.
    static constexpr int kIconPadding = 5;       // icon cell padding and separator inset
    static constexpr int kTextMargin = 14;       // around a text area, both ways
    static constexpr int kCheckBoxLeft = 10;
    static constexpr int kCheckBoxSize = 13;     // also the check-box row height
    static constexpr int kButtonGap = 11;        // between buttons and around the row
    static constexpr int kControlMargin = 11;
    static constexpr int kMinButtonWidth = 80;
    static constexpr int kMinButtonHeight = 23;

    // `params` holds the call's text, caption and type; its owner is `owner`.
    MarkupMessageBoxDialog(QWidget* owner, MessageBoxParams params);
    ~MarkupMessageBoxDialog() override;

    // The one-second countdown step the timer runs; public so that tests can drive it.
    void CountdownTick();
    // What a button (or Escape, as IDCANCEL) does.
    void Command(std::int32_t id);

    // For tests and tools.
    std::vector<std::int32_t> ButtonIds() const;
    QPushButton* Button(std::int32_t id) const;
    QPushButton* DefaultButton() const;
    QCheckBox* CheckBox() const { return checkBox_; }
    QLabel* CheckBoxLabel() const { return checkBoxLabel_; }
    bool CancelAllowed() const { return cancelAllowed_; }
    bool CloseEnabled() const { return closeEnabled_; }
    bool Expanded() const { return expanded_; }
    int Counter() const { return counter_; }
    bool TimerActive() const { return timer_.isActive(); }
    const std::string& MessageMarkup() const { return messageMarkup_; }
    const QString& Caption() const { return caption_; }
    int HeaderHeight() const { return headerHeight_; }
    int MessageHeight() const { return messageHeight_; }
    int ControlHeight() const { return controlHeight_; }
    int DetailsHeight() const { return detailsHeight_; }

signals:
    // A "msg" link in the box's markup was clicked.
    void MessageLinkClicked(const QString& target);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    struct ButtonEntry {
        std::int32_t id;
        QPushButton* button;
    };

    std::string Resolve(const MessageText& text) const;
    std::string ButtonText(std::int32_t id, std::string fallback) const;
    void MeasureAndCreateControls();
    void CreateButtons();
    void PlaceControls();
    void CenterOnOwner();
    void UpdateCloseButton();
    void PaintBackgroundCache();
    void DrawSeparator(QPainter& painter, const AreaBackground& area, const QString& text, int y);
    void FillArea(QPainter& painter, const AreaBackground& area, const QRect& rect);
    markup::Colorref ResolveColor(markup::Colorref color) const;
    QString CountdownCaption() const;
    QString CountedText(const QString& text) const;
    std::vector<markup::MarkupRenderer*> ActiveRenderers();

    QWidget* owner_;
    MessageBoxParams params_;
    QFont messageFont_;
    QImage iconImage_;
    markup::QtMarkupImageProvider images_;
    markup::MarkupRenderer headerRenderer_, messageRenderer_, detailsRenderer_;
    std::vector<ButtonEntry> buttons_;
    QCheckBox* checkBox_ = nullptr;
    QLabel* checkBoxLabel_ = nullptr;
    QTimer timer_;

    QString caption_;
    std::string messageMarkup_, headerMarkup_, detailsMarkup_;
    QString headerSeparatorText_, controlSeparatorText_, detailsSeparatorText_;
    QString lessText_, moreText_, countdownFormat_, defaultOwnText_;
    int headerHeight_ = 0, messageHeight_ = 0, controlHeight_ = 0, detailsHeight_ = 0;
    int buttonWidth_ = 0, buttonHeight_ = 0;
    int defaultIndex_ = 0;
    int counter_ = 0;
    bool cancelAllowed_ = false;
    bool closeEnabled_ = true;
    bool expanded_ = false;
    QImage background_;
};

}  // namespace quorvex::msgbox
