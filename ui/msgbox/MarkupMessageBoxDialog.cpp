#include "MarkupMessageBoxDialog.h"

#include "MarkupMessageBox.h"
#include "QPainterMarkupCanvas.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QUrl>
#include <algorithm>

namespace quorvex::msgbox {

using namespace markup;

namespace {

constexpr std::uint64_t kIconHandle = 1;

// The built-in text of a button and the number of its string in a string table.
struct BuiltInText {
    std::int32_t id;
    int resource;
    const char* text;
};
constexpr BuiltInText kBuiltInTexts[] = {
    {IDOK, 9001, "OK"},
    {IDCANCEL, 9002, "Cancel"},
    {IDABORT, 9005, "Abort"},
    {IDRETRY, 9004, "Retry"},
    {IDIGNORE, 9003, "Ignore"},
    {IDYES, 9007, "Yes"},
    {IDNO, 9008, "No"},
    {IDHELP, 9006, "Help"},
    {IDTRYAGAIN, 9015, "Try again"},
    {IDCONTINUE, 9009, "Continue"},
    {IDSKIP, 9018, "Skip"},
    {IDSKIPALL, 9019, "Skip all"},
    {IDIGNOREALL, 9017, "Ignore all"},
    {IDYESTOALL, 9013, "Yes to all"},
    {IDNOTOALL, 9014, "No to all"},
    {IDREPORT, 9016, "Report"},
    {IDLESS, 9011, "<< More"},
    {IDMORE, 9010, "More >>"},
    {kCheckBoxTextId, 9012, "Do not show again"},
    {static_cast<std::int32_t>(kCaptionCountdownTextId), 9020, "%s (%d seconds remaining)"},
};

const BuiltInText* FindBuiltIn(std::int32_t id)
{
    for (const BuiltInText& entry : kBuiltInTexts)
        if (entry.id == id)
            return &entry;
    return nullptr;
}

QString FromUtf8(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// printf-style "%s" and "%d" filled in order; anything else is kept as written.
QString FillFormat(const QString& format, const QString& text, int number)
{
    QString out;
    bool textUsed = false, numberUsed = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size()) {
            const QChar next = format[i + 1];
            if (next == 's' && !textUsed) {
                out += text;
                textUsed = true;
                ++i;
                continue;
            }
            if (next == 'd' && !numberUsed) {
                out += QString::number(number);
                numberUsed = true;
                ++i;
                continue;
            }
            if (next == '%') {
                out += '%';
                ++i;
                continue;
            }
        }
        out += format[i];
    }
    return out;
}

}  // namespace

MarkupMessageBoxDialog::MarkupMessageBoxDialog(QWidget* owner, MessageBoxParams params)
    : QDialog(owner), owner_(owner), params_(std::move(params)), headerRenderer_(PaletteSystemColor),
      messageRenderer_(PaletteSystemColor), detailsRenderer_(PaletteSystemColor)
{
    setModal(true);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    messageFont_ = QApplication::font("QMessageBox");
    setFont(messageFont_);

    // Caption: the call's, else the owner's title, else "Error".
    caption_ = FromUtf8(Resolve(params_.caption));
    if (caption_.isEmpty() && owner_ != nullptr)
        caption_ = owner_->window()->windowTitle();
    if (caption_.isEmpty())
        caption_ = "Error";

    // Icon by icon kind, from the platform style's standard icons.
    QIcon icon;
    switch (params_.type & 0xF0) {
    case mb::ICONHAND:
        icon = style()->standardIcon(QStyle::SP_MessageBoxCritical);
        break;
    case mb::ICONQUESTION:
        icon = style()->standardIcon(QStyle::SP_MessageBoxQuestion);
        break;
    case mb::ICONEXCLAMATION:
        icon = style()->standardIcon(QStyle::SP_MessageBoxWarning);
        break;
    case mb::ICONASTERISK:
        icon = style()->standardIcon(QStyle::SP_MessageBoxInformation);
        break;
    case mb::USERICON:
        icon = params_.userIcon;
        break;
    default:
        break;
    }
    if (!icon.isNull()) {
        const int size = style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, this);
        iconImage_ = icon.pixmap(QSize(size, size)).toImage().convertToFormat(QImage::Format_ARGB32);
        images_.RegisterHandle(kIconHandle, iconImage_);
    }

    // Countdown: the timeout wins when both are set.
    if (params_.disabledSeconds > 0)
        counter_ = params_.disabledSeconds;
    if (params_.timeoutSeconds > 0)
        counter_ = params_.timeoutSeconds;

    for (MarkupRenderer* renderer : {&headerRenderer_, &messageRenderer_, &detailsRenderer_}) {
        renderer->SetImageProvider(&images_);
        // A link's hover changed: redraw the text bands only, not the buttons.
        renderer->SetHost([this](int) {
            update(0, 0, width(), headerHeight_ + messageHeight_);
            if (expanded_)
                update(0, height() - detailsHeight_, width(), detailsHeight_);
        });
        renderer->SetOpener(OpenWithDesktop);
        renderer->SetNotify([this](const std::string& target) { emit MessageLinkClicked(FromUtf8(target)); });
    }

    // The message markup: right-aligned with MB_RIGHT, and beside the icon in a one-row table.
    messageMarkup_ = Resolve(params_.text);
    if (params_.type & mb::RIGHT)
        messageMarkup_ = "<right>" + messageMarkup_ + "</right>";
    if (!iconImage_.isNull())
        messageMarkup_ = "<table cellpadding=" + std::to_string(kIconPadding) + "><tr><td width=" +
                         std::to_string(iconImage_.width()) + "><icon handle=0x" +
                         QString::number(kIconHandle, 16).toUpper().toStdString() + "></td><td>" + messageMarkup_ +
                         "</td></tr></table>";

    MeasureAndCreateControls();

    if (params_.disabledSeconds > 0 && params_.countdownInCaption) {
        countdownFormat_ = FromUtf8(ButtonText(static_cast<std::int32_t>(kCaptionCountdownTextId), ""));
        setWindowTitle(CountdownCaption());
    } else {
        setWindowTitle(caption_);
    }

    // The close box is refused while cancel is not allowed, and while buttons are held disabled.
    const QPushButton* defaultButton = DefaultButton();
    const bool defaultIsCancel = defaultButton != nullptr && Button(IDCANCEL) == defaultButton;
    closeEnabled_ = !((params_.disabledSeconds < 1 && !cancelAllowed_) ||
                      (params_.disabledSeconds > 0 && params_.countdownInCaption) ||
                      (params_.disabledSeconds > 0 && !params_.countdownInCaption && (!cancelAllowed_ || defaultIsCancel)));
    UpdateCloseButton();

    CenterOnOwner();
    PlaceControls();

    if (params_.type & mb::TOPMOST)
        setWindowFlag(Qt::WindowStaysOnTopHint, true);
    connect(&timer_, &QTimer::timeout, this, &MarkupMessageBoxDialog::CountdownTick);
    if (counter_ > 0)
        timer_.start(1000);
}

MarkupMessageBoxDialog::~MarkupMessageBoxDialog() = default;

std::string MarkupMessageBoxDialog::Resolve(const MessageText& text) const
{
    if (const std::string* string = text.String())
        return *string;
    if (text.IsResource() && !(params_.type & MBX_NORESOURCE)) {
        const StringTable& table = params_.stringModule ? *params_.stringModule : ProgramStrings();
        if (const std::string* found = table.Find(text.ResourceId()))
            return *found;
    }
    return {};
}

std::string MarkupMessageBoxDialog::ButtonText(std::int32_t id, std::string fallback) const
{
    const BuiltInText* builtIn = FindBuiltIn(id);
    if (fallback.empty() && builtIn != nullptr)
        fallback = builtIn->text;
    if (const auto mapped = params_.buttonTexts.find(id); mapped != params_.buttonTexts.end())
        return Resolve(mapped->second);
    if (builtIn != nullptr && !(params_.type & MBX_NORESOURCE)) {
        const StringTable& table = params_.stringModule ? *params_.stringModule : ProgramStrings();
        if (const std::string* found = table.Find(builtIn->resource); found && !found->empty())
            return *found;
    }
    return fallback;
}

void MarkupMessageBoxDialog::MeasureAndCreateControls()
{
    const QFontMetrics metrics(messageFont_);
    QImage scratch(1, 1, QImage::Format_RGB32);
    QPainter painter(&scratch);
    QPainterMarkupCanvas canvas(painter);
    int width = 0;

    if (params_.headerHeight != 0) {
        headerMarkup_ = Resolve(params_.headerText);
        headerHeight_ = params_.headerHeight;
        if (!headerMarkup_.empty()) {
            const Size size = headerRenderer_.Measure(canvas, headerMarkup_);
            width = size.width + 2 * kTextMargin;
            headerHeight_ = std::max(params_.headerHeight, size.height + 2 * kTextMargin);
        }
        headerSeparatorText_ = FromUtf8(Resolve(params_.headerBackground.separatorText));
        if (params_.headerBackground.separatorStyle != 0)
            width = std::max(width, metrics.horizontalAdvance(headerSeparatorText_) + 2 * kIconPadding);
    }
    if (!messageMarkup_.empty()) {
        const Size size = messageRenderer_.Measure(canvas, messageMarkup_);
        messageHeight_ = size.height + 2 * kTextMargin;
        width = std::max(width, size.width + 2 * kTextMargin);
    }
    detailsMarkup_ = Resolve(params_.detailsText);
    if (!detailsMarkup_.empty()) {
        const Size size = detailsRenderer_.Measure(canvas, detailsMarkup_);
        detailsHeight_ = size.height + 2 * kTextMargin;
        width = std::max(width, size.width + 2 * kTextMargin);
        detailsSeparatorText_ = FromUtf8(Resolve(params_.detailsBackground.separatorText));
    }

    controlHeight_ = kControlMargin;
    if (params_.controlBackground.effect >= 0 || params_.controlBackground.separatorStyle != 0) {
        controlHeight_ = 2 * kControlMargin;
        controlSeparatorText_ = FromUtf8(Resolve(params_.controlBackground.separatorText));
        if (params_.controlBackground.separatorStyle != 0)
            width = std::max(width, metrics.horizontalAdvance(controlSeparatorText_) + 2 * kIconPadding);
    }

    if (params_.type & MBX_CHECKBOX) {
        controlHeight_ += kCheckBoxSize + kControlMargin;
        QString label = FromUtf8(ButtonText(kCheckBoxTextId, Resolve(params_.checkBoxText)));
        if (label.isEmpty())
            label = "Do not show again";
        width = std::max(width, metrics.horizontalAdvance(label) + 2 * kCheckBoxLeft + 20);
        checkBox_ = new QCheckBox(this);
        checkBox_->setFixedSize(kCheckBoxSize, kCheckBoxSize);
        checkBox_->setChecked(params_.type & MBX_CHECKED);
        checkBoxLabel_ = new QLabel(label, this);
        checkBoxLabel_->setFont(messageFont_);
        checkBoxLabel_->setAttribute(Qt::WA_TranslucentBackground);
        checkBoxLabel_->setFixedSize(metrics.horizontalAdvance(label), kCheckBoxSize);
    }

    CreateButtons();
    width = std::max(width, kButtonGap + static_cast<int>(buttons_.size()) * (kButtonGap + buttonWidth_));
    controlHeight_ += buttonHeight_;
    setFixedSize(width, headerHeight_ + messageHeight_ + controlHeight_);
}

void MarkupMessageBoxDialog::CreateButtons()
{
    std::vector<std::pair<std::int32_t, std::string>> row;  // identifier and caller's label
    const std::string custom = Resolve(params_.customButtons);
    if (!custom.empty()) {
        std::string lines;
        for (char c : custom)
            if (c != '\r')
                lines.push_back(c);
        lines.push_back('\n');
        std::size_t start = 0;
        std::int32_t id = IDCUSTOM1;
        while (start < lines.size() && id <= IDCUSTOM4) {
            const std::size_t end = lines.find('\n', start);
            const std::string line = lines.substr(start, end - start);
            start = end + 1;
            if (!line.empty())
                row.emplace_back(id++, line);
        }
        cancelAllowed_ = false;
    } else {
        const std::uint32_t set = params_.type & 0x0F;
        const bool yesToAll = params_.type & MBX_YESTOALL, noToAll = params_.type & MBX_NOTOALL;
        auto add = [&](std::initializer_list<std::int32_t> ids) {
            for (std::int32_t id : ids)
                row.emplace_back(id, std::string());
        };
        switch (set) {
        case mb::OK:
            add({IDOK});
            break;
        case mb::OKCANCEL:
            add({IDOK, IDCANCEL});
            break;
        case mb::ABORTRETRYIGNORE:
            add({IDABORT, IDRETRY, IDIGNORE});
            break;
        case mb::YESNOCANCEL:
        case mb::YESNO:
            add({IDYES});
            if (yesToAll)
                add({IDYESTOALL});
            add({IDNO});
            if (noToAll)
                add({IDNOTOALL});
            if (set == mb::YESNOCANCEL)
                add({IDCANCEL});
            break;
        case mb::RETRYCANCEL:
            add({IDRETRY, IDCANCEL});
            break;
        case mb::CANCELTRYCONTINUE:
            add({IDCANCEL, IDTRYAGAIN, IDCONTINUE});
            break;
        case MBX_CONTINUEABORT:
            add({IDCONTINUE, IDABORT});
            break;
        case MBX_SKIPSKIPALLCANCEL:
            add({IDSKIP, IDSKIPALL, IDCANCEL});
            break;
        case MBX_IGNOREIGNOREALLCANCEL:
            add({IDIGNORE, IDIGNOREALL, IDCANCEL});
            break;
        default:
            break;  // sets 10-15 have no standard buttons
        }
        cancelAllowed_ = set == 0 || set == 1 || set == 3 || set == 5 || set == 6 || set == 8 || set == 9;
    }
    if (params_.type & mb::HELP)
        row.emplace_back(IDHELP, std::string());
    if (params_.reportMessage != 0 && owner_ != nullptr)
        row.emplace_back(IDREPORT, std::string());
    if (!detailsMarkup_.empty()) {
        lessText_ = FromUtf8(ButtonText(IDLESS, ""));
        moreText_ = FromUtf8(ButtonText(IDMORE, ""));
        row.emplace_back(IDMORE, std::string());
    }

    defaultIndex_ = static_cast<int>((params_.type >> 8) & 0x0F);
    if (defaultIndex_ >= static_cast<int>(row.size()))
        defaultIndex_ = 0;

    const QFontMetrics metrics(messageFont_);
    const bool captionCountdown = params_.disabledSeconds > 0 && params_.countdownInCaption;
    for (std::size_t i = 0; i < row.size(); ++i) {
        const auto& [id, label] = row[i];
        const bool isDefault = static_cast<int>(i) == defaultIndex_;
        QString text;
        QSize extent;
        if (id == IDMORE) {
            text = moreText_;
            extent = QSize(std::max(metrics.horizontalAdvance(lessText_), metrics.horizontalAdvance(moreText_)),
                           metrics.height());
        } else {
            text = FromUtf8(id >= IDCUSTOM1 && id <= IDCUSTOM4 ? label : ButtonText(id, ""));
            extent = QSize(metrics.horizontalAdvance(text), metrics.height());
        }
        buttonWidth_ = std::max(buttonWidth_, MulDiv(extent.width(), 80, 45));
        buttonHeight_ = std::max(buttonHeight_, MulDiv(extent.height(), 23, 13));

        auto* button = new QPushButton(this);
        button->setFont(messageFont_);
        button->setAutoDefault(false);
        if (isDefault)
            defaultOwnText_ = text;
        if (id == IDHELP) {
            // Help is never disabled.
            if (isDefault) {
                button->setDefault(true);
                if (params_.timeoutSeconds > 0 || (params_.disabledSeconds > 0 && !params_.countdownInCaption))
                    text = CountedText(text);
            }
        } else if (captionCountdown) {
            button->setEnabled(false);
        } else if (isDefault) {
            button->setDefault(params_.disabledSeconds <= 0);
            if (counter_ > 0)
                text = CountedText(text);
            if (params_.disabledSeconds > 0)
                button->setEnabled(false);
        }
        button->setText(text);
        const std::int32_t commandId = id;
        connect(button, &QPushButton::clicked, this, [this, commandId] { Command(commandId); });
        buttons_.push_back({id, button});
    }
    buttonWidth_ = std::max(buttonWidth_, kMinButtonWidth);
    buttonHeight_ = std::max(buttonHeight_, kMinButtonHeight);
    for (const ButtonEntry& entry : buttons_)
        entry.button->setFixedSize(buttonWidth_, buttonHeight_);
    if (QPushButton* button = DefaultButton())
        button->setFocus();
}

QString MarkupMessageBoxDialog::CountedText(const QString& text) const
{
    return QString("%1 = %2").arg(text).arg(counter_);
}

QString MarkupMessageBoxDialog::CountdownCaption() const
{
    return FillFormat(countdownFormat_, caption_, counter_);
}

void MarkupMessageBoxDialog::PlaceControls()
{
    const QRect r = rect();
    const bool checkBelow = (params_.type & MBX_CHECKBOX) && (params_.type & MBX_CHECKBOX_BELOW);
    const int top = r.bottom() + 1 - kButtonGap - buttonHeight_ - (checkBelow ? kCheckBoxSize + kButtonGap : 0);
    const int n = static_cast<int>(buttons_.size());
    const int rowWidth = n * (buttonWidth_ + kButtonGap) - kButtonGap;
    int left;
    if (params_.buttonAlign == 0)
        left = r.left() + kButtonGap;
    else if (params_.buttonAlign == 1)
        left = r.right() + 1 - kButtonGap - rowWidth;
    else
        left = r.left() + (r.width() - rowWidth) / 2;
    for (const ButtonEntry& entry : buttons_) {
        entry.button->move(left, top);
        left += buttonWidth_ + kButtonGap;
    }
    if (checkBox_ != nullptr) {
        const int checkTop = checkBelow ? r.bottom() + 1 - kButtonGap - kCheckBoxSize
                                        : r.bottom() + 1 - 2 * kButtonGap - buttonHeight_ - kCheckBoxSize;
        checkBox_->move(r.left() + kCheckBoxLeft, checkTop);
        checkBoxLabel_->move(r.left() + kCheckBoxLeft + kCheckBoxSize + kCheckBoxSize / 2, checkTop);
    }
}

void MarkupMessageBoxDialog::CenterOnOwner()
{
    QRect reference;
    if (owner_ != nullptr)
        reference = owner_->window()->frameGeometry();
    else if (const QScreen* screen = QGuiApplication::primaryScreen())
        reference = screen->geometry();
    if (reference.isNull())
        return;
    move(reference.left() + (reference.width() - width()) / 2, reference.top() + (reference.height() - height()) / 2);
}

void MarkupMessageBoxDialog::UpdateCloseButton()
{
    const bool visible = isVisible();
    setWindowFlag(Qt::CustomizeWindowHint, true);
    setWindowFlag(Qt::WindowTitleHint, true);
    setWindowFlag(Qt::WindowSystemMenuHint, closeEnabled_);
    setWindowFlag(Qt::WindowCloseButtonHint, closeEnabled_);
    if (visible)
        show();
}

std::vector<std::int32_t> MarkupMessageBoxDialog::ButtonIds() const
{
    std::vector<std::int32_t> ids;
    for (const ButtonEntry& entry : buttons_)
        ids.push_back(entry.id);
    return ids;
}

QPushButton* MarkupMessageBoxDialog::Button(std::int32_t id) const
{
    for (const ButtonEntry& entry : buttons_)
        if (entry.id == id)
            return entry.button;
    return nullptr;
}

QPushButton* MarkupMessageBoxDialog::DefaultButton() const
{
    if (defaultIndex_ < 0 || defaultIndex_ >= static_cast<int>(buttons_.size()))
        return nullptr;
    return buttons_[static_cast<std::size_t>(defaultIndex_)].button;
}

void MarkupMessageBoxDialog::CountdownTick()
{
    QPushButton* defaultButton = DefaultButton();
    if (counter_ > 0)
        --counter_;
    if (counter_ > 0) {
        if (params_.disabledSeconds > 0 && params_.countdownInCaption)
            setWindowTitle(CountdownCaption());
        else if (defaultButton != nullptr)
            defaultButton->setText(CountedText(defaultOwnText_));
        return;
    }
    timer_.stop();
    if (params_.disabledSeconds > 0) {
        if (cancelAllowed_) {
            closeEnabled_ = true;
            UpdateCloseButton();
        }
        if (params_.countdownInCaption) {
            setWindowTitle(caption_);
            for (const ButtonEntry& entry : buttons_)
                entry.button->setEnabled(true);
        } else if (defaultButton != nullptr) {
            defaultButton->setText(defaultOwnText_);
        }
        if (defaultButton != nullptr) {
            defaultButton->setEnabled(true);
            defaultButton->setDefault(true);
        }
    } else if (params_.timeoutSeconds > 0 && defaultButton != nullptr) {
        defaultButton->setText(defaultOwnText_);
        for (const ButtonEntry& entry : buttons_)
            if (entry.button == defaultButton)
                Command(entry.id);
    }
}

void MarkupMessageBoxDialog::Command(std::int32_t id)
{
    if (id == 0)
        return;
    if (id == IDCANCEL && !cancelAllowed_)
        return;
    switch (id) {
    case IDHELP:
        QDesktopServices::openUrl(MessageBoxHelpUrl(params_.helpContext));
        return;
    case IDREPORT:
        if (owner_ != nullptr) {
            MessageBoxReportEvent event(params_.reportMessage);
            QCoreApplication::sendEvent(owner_, &event);
        }
        return;
    case IDLESS:
    case IDMORE:
        expanded_ = !expanded_;
        if (QPushButton* button = Button(IDMORE))
            button->setText(expanded_ ? lessText_ : moreText_);
        setFixedSize(width(), height() + (expanded_ ? detailsHeight_ : -detailsHeight_));
        update();
        return;
    default:
        break;
    }
    timer_.stop();
    int result = id;
    if (checkBox_ != nullptr && checkBox_->isChecked()) {
        result |= static_cast<int>(params_.type & MBX_CHECKED);
        if (!params_.persistValueName.empty())
            WritePersistedAnswer(params_, result);
    }
    done(result);
}

void MarkupMessageBoxDialog::reject()
{
    // Escape and the close box ask for IDCANCEL, which only a box that allows cancel accepts,
    // and not while its close box is refused.
    if (closeEnabled_)
        Command(IDCANCEL);
}

void MarkupMessageBoxDialog::closeEvent(QCloseEvent* event)
{
    if (result() == 0 && isVisible()) {
        event->ignore();
        reject();
        return;
    }
    QDialog::closeEvent(event);
}

void MarkupMessageBoxDialog::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        reject();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

Colorref MarkupMessageBoxDialog::ResolveColor(Colorref color) const
{
    if (color == AreaBackground::kButtonFace) {
        const QColor face = palette().color(QPalette::Button);
        return MakeColorref(face.red(), face.green(), face.blue());
    }
    return color;
}

void MarkupMessageBoxDialog::FillArea(QPainter& painter, const AreaBackground& area, const QRect& rect)
{
    if (area.effect < 0 || rect.isEmpty())
        return;
    QPainterMarkupCanvas canvas(painter);
    PaintEffect(canvas, ComputeEffect(area.effect, Rect{rect.left(), rect.top(), rect.right() + 1, rect.bottom() + 1},
                                      ResolveColor(area.color1), ResolveColor(area.color2),
                                      ResolveColor(area.color3), 0, 0, SharedEffectRandom()));
}

void MarkupMessageBoxDialog::DrawSeparator(QPainter& painter, const AreaBackground& area, const QString& text, int y)
{
    if (area.separatorStyle == 0)
        return;
    const int left = kIconPadding, right = width() - kIconPadding;
    auto line = [&](int from, int to) {
        if (from >= to)
            return;
        switch (area.separatorStyle) {
        case 1:  // etched: a shadow line with a highlight below it
            painter.setPen(palette().color(QPalette::Mid));
            painter.drawLine(from, y, to - 1, y);
            painter.setPen(Qt::white);
            painter.drawLine(from, y + 1, to - 1, y + 1);
            break;
        case 2:
            painter.setPen(Qt::black);
            painter.drawLine(from, y, to - 1, y);
            break;
        case 3:
            painter.setPen(Qt::white);
            painter.drawLine(from, y, to - 1, y);
            break;
        default:
            break;
        }
    };
    if (text.isEmpty() || area.separatorAlign < 0 || area.separatorAlign > 2) {
        line(left, right);
        return;
    }
    painter.setFont(messageFont_);
    const QFontMetrics metrics(messageFont_);
    const int textWidth = metrics.horizontalAdvance(text);
    int textLeft = left;
    if (area.separatorAlign == 1)
        textLeft = right - textWidth;
    else if (area.separatorAlign == 2)
        textLeft = left + (right - left - textWidth) / 2;
    // Embossed like disabled text: a white copy one pixel down and right, the grey text over it.
    const int baseline = y - metrics.height() / 2 + metrics.ascent();
    painter.setPen(Qt::white);
    painter.drawText(textLeft + 1, baseline + 1, text);
    painter.setPen(palette().color(QPalette::Disabled, QPalette::WindowText));
    painter.drawText(textLeft, baseline, text);
    if (area.separatorAlign == 0) {
        line(textLeft + textWidth + kIconPadding, right);
    } else if (area.separatorAlign == 1) {
        line(left, textLeft - kIconPadding);
    } else {
        line(left, textLeft - kIconPadding);
        line(textLeft + textWidth + kIconPadding, right);
    }
}

void MarkupMessageBoxDialog::PaintBackgroundCache()
{
    const int fullHeight = headerHeight_ + messageHeight_ + controlHeight_ + detailsHeight_;
    background_ = QImage(width(), fullHeight, QImage::Format_RGB32);
    QPainter painter(&background_);
    if (params_.boxBackground.effect < 0)
        painter.fillRect(background_.rect(), palette().color(QPalette::Button));
    else
        FillArea(painter, params_.boxBackground, background_.rect());
    if (headerHeight_ > 0) {
        FillArea(painter, params_.headerBackground, QRect(0, 0, width(), headerHeight_));
        DrawSeparator(painter, params_.headerBackground, headerSeparatorText_, headerHeight_ - 1);
    }
    const int controlTop = headerHeight_ + messageHeight_;
    FillArea(painter, params_.controlBackground, QRect(0, controlTop, width(), controlHeight_));
    DrawSeparator(painter, params_.controlBackground, controlSeparatorText_, controlTop);
    if (!detailsMarkup_.empty()) {
        const int detailsTop = controlTop + controlHeight_;
        FillArea(painter, params_.detailsBackground, QRect(0, detailsTop, width(), fullHeight - detailsTop));
        DrawSeparator(painter, params_.detailsBackground, detailsSeparatorText_, detailsTop);
    }
}

void MarkupMessageBoxDialog::paintEvent(QPaintEvent*)
{
    if (background_.isNull() || background_.width() != width())
        PaintBackgroundCache();
    QPainter painter(this);
    painter.drawImage(0, 0, background_);
    QPainterMarkupCanvas canvas(painter);
    if (headerHeight_ > 0 && !headerMarkup_.empty())
        headerRenderer_.Draw(canvas, Rect{kTextMargin, kTextMargin, width() - kTextMargin, headerHeight_ - kTextMargin});
    if (messageHeight_ > 0)
        messageRenderer_.Draw(canvas, Rect{kTextMargin, headerHeight_ + kTextMargin, width() - kTextMargin,
                                           headerHeight_ + messageHeight_ - kTextMargin});
    if (expanded_ && detailsHeight_ > 0)
        detailsRenderer_.Draw(canvas, Rect{kTextMargin, height() - detailsHeight_ + kTextMargin, width() - kTextMargin,
                                           height()});
}

std::vector<MarkupRenderer*> MarkupMessageBoxDialog::ActiveRenderers()
{
    std::vector<MarkupRenderer*> renderers;
    if (headerHeight_ != 0)
        renderers.push_back(&headerRenderer_);
    if (messageHeight_ != 0)
        renderers.push_back(&messageRenderer_);
    if (detailsHeight_ != 0 && expanded_)
        renderers.push_back(&detailsRenderer_);
    return renderers;
}

void MarkupMessageBoxDialog::mouseMoveEvent(QMouseEvent* event)
{
    const Point point{event->position().toPoint().x(), event->position().toPoint().y()};
    bool hand = false;
    for (MarkupRenderer* renderer : ActiveRenderers())
        if (renderer->CursorTest(point)) {
            hand = true;
            break;
        }
    if (hand)
        setCursor(Qt::PointingHandCursor);
    else
        unsetCursor();
    QDialog::mouseMoveEvent(event);
}

void MarkupMessageBoxDialog::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        const Point point{event->position().toPoint().x(), event->position().toPoint().y()};
        for (MarkupRenderer* renderer : ActiveRenderers())
            renderer->Click(point);
    }
    QDialog::mousePressEvent(event);
}

}  // namespace quorvex::msgbox
