#include "setuputil/dialogs.hpp"

#include "setuputil/wintext.hpp"

#include <windows.h>

namespace setuputil {

bool AskYesNo(WindowHandle owner, const std::u16string& text) {
    return MessageBoxW(owner, WinStr(text), L"Confirm", MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void ShowErrorBox(WindowHandle owner, const std::u16string& text) {
    MessageBoxW(owner, WinStr(text), L"Error", MB_OK | MB_ICONERROR);
}

bool AskRetryCancel(WindowHandle owner, const std::u16string& text) {
    return MessageBoxW(owner, WinStr(text), L"Error", MB_RETRYCANCEL | MB_ICONERROR) == IDRETRY;
}

}  // namespace setuputil
