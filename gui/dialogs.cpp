#include "gui/dialogs.hpp"

#include "gui/application.hpp"
#include "setuputil/wintext.hpp"

namespace gui {

namespace {

HWND OwnerOrApplication(HWND owner) {
    if (owner) return owner;
    Application* application = Application::Current();
    return application ? application->Window() : nullptr;
}

}  // namespace

void ShowErrorMessage(HWND owner, const std::u16string& text, const std::u16string& caption) {
    ::MessageBoxW(OwnerOrApplication(owner), setuputil::WinStr(text), setuputil::WinStr(caption), MB_OK | MB_ICONERROR);
}

bool AskWarningYesNo(HWND owner, const std::u16string& text, const std::u16string& caption) {
    return ::MessageBoxW(OwnerOrApplication(owner), setuputil::WinStr(text), setuputil::WinStr(caption),
                         MB_YESNO | MB_ICONWARNING) == IDYES;
}

}  // namespace gui
