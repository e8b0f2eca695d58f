#pragma once

#include "MessageBoxParams.h"

class QWidget;

namespace quorvex::msgbox {

// The program's own prompts: caption "Quorvex", the pale vertical bump background, the owner found
// by the box itself.
MessageBoxParams ProgramMessageBoxParams();

// A notice with the information icon and OK (type 64).
void ShowNotice(const MessageText& text, QWidget* owner = nullptr);
// A notice without icon (type 0).
void ShowPlainNotice(const MessageText& text, QWidget* owner = nullptr);
// A question with Yes and No and the question icon (type 36); true only for Yes.
bool AskQuestion(const MessageText& text, QWidget* owner = nullptr);

inline constexpr const char* kProgramCaption = "Quorvex";

}  // namespace quorvex::msgbox
