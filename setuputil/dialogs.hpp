// The standard message boxes the install and uninstall sequences show.
#pragma once

#include "setuputil/windowhandle.hpp"

#include <string>

namespace setuputil {

// A question box captioned "Confirm" with Yes and No and the question icon.
// True only when the user pressed Yes; every other outcome counts as No.
bool AskYesNo(WindowHandle owner, const std::u16string& text);

// An error box captioned "Error" with OK and the error icon.
void ShowErrorBox(WindowHandle owner, const std::u16string& text);

// An error box captioned "Error" with Retry and Cancel and the error icon.
// True only when the user pressed Retry.
bool AskRetryCancel(WindowHandle owner, const std::u16string& text);

}  // namespace setuputil
