#include "ProgramMessages.h"

#include "MarkupMessageBox.h"

namespace quorvex::msgbox {

MessageBoxParams ProgramMessageBoxParams()
{
    MessageBoxParams params;
    params.boxBackground.separatorStyle = 0;
    params.boxBackground.separatorAlign = 2;
    params.boxBackground.effect = 12;  // vbump
    params.boxBackground.color1 = 0xF8F5EE;
    params.boxBackground.color2 = 0xFFFFFF;
    params.boxBackground.color3 = 0xF8F5EE;
    return params;
}

void ShowNotice(const MessageText& text, QWidget* owner)
{
    const MessageBoxParams params = ProgramMessageBoxParams();
    MarkupMessageBox(owner, text, kProgramCaption, mb::OK | mb::ICONASTERISK, &params);
}

void ShowPlainNotice(const MessageText& text, QWidget* owner)
{
    const MessageBoxParams params = ProgramMessageBoxParams();
    MarkupMessageBox(owner, text, kProgramCaption, mb::OK, &params);
}

bool AskQuestion(const MessageText& text, QWidget* owner)
{
    const MessageBoxParams params = ProgramMessageBoxParams();
    return MarkupMessageBox(owner, text, kProgramCaption, mb::YESNO | mb::ICONQUESTION, &params) == IDYES;
}

}  // namespace quorvex::msgbox
