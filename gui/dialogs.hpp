// The toolkit's standard message dialogs, captioned in the caller's
// language ("Error", "Warning" in English); the buttons are the system's.
//   error kind:   the error icon, one button "OK"
//   warning kind: the warning icon, "&Yes" and "&No"; only "&Yes" counts as yes.
// With no owner given, the application window owns the dialog.
#pragma once

#include <windows.h>

#include <string>

namespace gui {

void ShowErrorMessage(HWND owner, const std::u16string& text, const std::u16string& caption);
bool AskWarningYesNo(HWND owner, const std::u16string& text, const std::u16string& caption);

}  // namespace gui
