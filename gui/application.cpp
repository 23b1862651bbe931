#include "gui/application.hpp"

#include "gui/control.hpp"
#include "gui/dialogs.hpp"
#include "gui/form.hpp"
#include "setuputil/codepage.hpp"
#include "setuputil/wintext.hpp"

#include <commctrl.h>

#include <stdexcept>

namespace gui {

namespace {
constexpr wchar_t kApplicationClass[] = L"TallowinApplication";
Application* current = nullptr;
}  // namespace

Application::Application() { current = this; }

Application::~Application() {
    if (current == this) current = nullptr;
}

Application* Application::Current() { return current; }

bool Application::Initialize() {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_TREEVIEW_CLASSES};
    ::InitCommonControlsEx(&controls);
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    Container::RegisterClass(instance);
    WNDCLASSEXW info{};
    info.cbSize = sizeof(info);
    info.lpfnWndProc = &Application::WindowProc;
    info.hInstance = instance;
    info.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(1));
    info.lpszClassName = kApplicationClass;
    ::RegisterClassExW(&info);
    // Zero-sized, so only its task-bar button is ever seen.
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    window_.reset(::CreateWindowExW(0, kApplicationClass, L"", WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU,
                                    (work.left + work.right) / 2, (work.top + work.bottom) / 2, 0, 0, nullptr,
                                    nullptr, instance, nullptr));
    return static_cast<bool>(window_);
}

void Application::SetTitle(const std::u16string& title) {
    if (window_) ::SetWindowTextW(window_.get(), setuputil::WinStr(title));
}

void Application::SetMainForm(Form& form) {
    if (!mainForm_) mainForm_ = &form;
}

int Application::Run() {
    if (!terminated_ && mainForm_) {
        if (window_) ::ShowWindow(window_.get(), SW_SHOWNOACTIVATE);
        mainForm_->ShowForm();
    }
    MSG message{};
    while (!terminated_) {
        const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
        if (got <= 0) break;
        DispatchOne(message);
    }
    return 0;
}

void Application::ProcessMessages() {
    MSG message{};
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            terminated_ = true;
            break;
        }
        DispatchOne(message);
    }
}

void Application::Terminate() {
    if (terminated_) return;
    terminated_ = true;
    ::PostQuitMessage(0);
}

void Application::DispatchOne(MSG& message) {
    // Tab, Enter, Escape and mnemonics inside the toolkit's forms.
    const HWND root = message.hwnd ? ::GetAncestor(message.hwnd, GA_ROOT) : nullptr;
    if (root && Container::IsToolkitWindow(root) && ::IsDialogMessageW(root, &message)) return;
    ::TranslateMessage(&message);
    ::DispatchMessageW(&message);
}

void Application::ShowException(std::exception_ptr error) {
    std::u16string text = u"An unexpected error occurred.";
    try {
        if (error) std::rethrow_exception(error);
    } catch (const std::exception& e) {
        text = setuputil::AnsiToWide(e.what());
    } catch (...) {
    }
    Form* main = current ? current->MainForm() : nullptr;
    // Below the wizard's languages: the framework's last word stays English.
    ShowErrorMessage(main ? main->Handle() : nullptr, text, u"Error");
}

LRESULT CALLBACK Application::WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
        case WM_ACTIVATE:
            // The task-bar button activates this window: pass the
            // activation on to the form or dialog the user works in.
            if (LOWORD(wparam) != WA_INACTIVE) {
                const HWND popup = ::GetLastActivePopup(window);
                if (popup && popup != window && ::IsWindowEnabled(popup)) ::SetActiveWindow(popup);
            }
            return 0;
        case WM_CLOSE:
            if (current) {
                if (Form* main = current->MainForm()) main->RequestClose();
                else current->Terminate();
            }
            return 0;
        default:
            return ::DefWindowProcW(window, message, wparam, lparam);
    }
}

}  // namespace gui
