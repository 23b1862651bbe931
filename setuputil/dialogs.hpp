// The standard message boxes the install and uninstall sequences show.
#pragma once

#include "setuputil/windowhandle.hpp"

#include <string>

namespace setuputil {

// The captions are the caller's, in the language it speaks ("Confirm" and
// "Error" in English); the buttons are the system's own.

// A question box with Yes and No and the question icon.  True only when
// the user pressed Yes; every other outcome counts as No.
bool AskYesNo(WindowHandle owner, const std::u16string& text, const std::u16string& caption);

// An error box with OK and the error icon.
void ShowErrorBox(WindowHandle owner, const std::u16string& text, const std::u16string& caption);

// An error box with Retry and Cancel and the error icon.  True only when
// the user pressed Retry.
bool AskRetryCancel(WindowHandle owner, const std::u16string& text, const std::u16string& caption);

}  // namespace setuputil
