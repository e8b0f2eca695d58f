#pragma once

#include "MessageBoxParams.h"

#include <QEvent>
#include <QUrl>
#include <cstdint>

class QWidget;

namespace quorvex::msgbox {

// Shows a modal markup message box and returns the identifier of the button that closed it,
// OR-ed with MBX_CHECKED when the box had MBX_CHECKED and its check box was ticked; or the answer
// remembered earlier by "Do not show again", without showing anything. `owner` may be null: the
// active window is taken. `params` may be null: the defaults apply. Text, caption and type always
// come from the arguments.
int MarkupMessageBox(QWidget* owner, const MessageText& text, const MessageText& caption, std::uint32_t type,
                     const MessageBoxParams* params = nullptr);

// What the Report button sends to the box's owner.
class MessageBoxReportEvent : public QEvent {
public:
    explicit MessageBoxReportEvent(std::uint32_t message) : QEvent(EventType()), message_(message) {}
    static QEvent::Type EventType();
    std::uint32_t Message() const { return message_; }

private:
    std::uint32_t message_;
};

// Where the Help button points: a web page or a file, opened with the desktop's launcher; a help
// context other than 0 is added as the fragment "#context-N". Empty: the executable's path with
// the extension ".html".
void SetMessageBoxHelpLocation(const QString& location);
QUrl MessageBoxHelpUrl(std::uint32_t helpContext);

// The value name and settings under which "Do not show again" answers are kept.
QString PersistedValueName(const MessageBoxParams& params);
// The remembered answer, or 0.
int ReadPersistedAnswer(const MessageBoxParams& params);
void WritePersistedAnswer(const MessageBoxParams& params, int answer);

}  // namespace quorvex::msgbox
