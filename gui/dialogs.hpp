// The toolkit's standard message dialogs.
//   error kind:   caption "Error", the error icon, one button "OK"
//   warning kind: caption "Warning", the warning icon, "&Yes" and "&No";
//                 only "&Yes" counts as yes.
// With no owner given, the application window owns the dialog.
#pragma once

#include <windows.h>

#include <string>

namespace gui {

void ShowErrorMessage(HWND owner, const std::u16string& text);
bool AskWarningYesNo(HWND owner, const std::u16string& text);

}  // namespace gui
