#include "setuputil/dialogs.hpp"

#include "setuputil/wintext.hpp"

#include <windows.h>

namespace setuputil {

bool AskYesNo(WindowHandle owner, const std::u16string& text, const std::u16string& caption) {
    return MessageBoxW(owner, WinStr(text), WinStr(caption), MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void ShowErrorBox(WindowHandle owner, const std::u16string& text, const std::u16string& caption) {
    MessageBoxW(owner, WinStr(text), WinStr(caption), MB_OK | MB_ICONERROR);
}

bool AskRetryCancel(WindowHandle owner, const std::u16string& text, const std::u16string& caption) {
    return MessageBoxW(owner, WinStr(text), WinStr(caption), MB_RETRYCANCEL | MB_ICONERROR) == IDRETRY;
}

}  // namespace setuputil
