#include "gui/form.hpp"

#include "gui/application.hpp"
#include "gui/widgets.hpp"
#include "setuputil/wintext.hpp"

namespace gui {

int ScreenDpi() {
    // Windows 10 answers the DPI the process is aware of directly; older
    // systems through the screen's device context.
    using GetDpiForSystemFn = UINT(WINAPI*)();
    if (const HMODULE user = ::GetModuleHandleW(L"user32.dll")) {
        if (auto fn = reinterpret_cast<GetDpiForSystemFn>(
                reinterpret_cast<void*>(::GetProcAddress(user, "GetDpiForSystem")))) {
            const UINT dpi = fn();
            if (dpi >= 48) return static_cast<int>(dpi);
        }
    }
    const HDC screen = ::GetDC(nullptr);
    const int dpi = screen ? ::GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen) ::ReleaseDC(nullptr, screen);
    return dpi >= 48 ? dpi : 96;
}

FontHandle CreateFormFont(const Scaler& scale, bool bold, const std::u16string& face) {
    LOGFONTW font{};
    font.lfHeight = -scale(11);
    font.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfQuality = DEFAULT_QUALITY;
    ::lstrcpynW(font.lfFaceName, setuputil::WinStr(face), LF_FACESIZE);
    return FontHandle(::CreateFontIndirectW(&font));
}

void Form::CreateForm(HWND owner, const std::u16string& caption, int clientWidth, int clientHeight,
                      const std::u16string& fontface) {
    scale_ = Scaler{ScreenDpi()};
    ownFont_ = CreateFormFont(scale_, false, fontface);
    boldFont_ = CreateFormFont(scale_, true, fontface);
    // A dialog border without system menu: no close box, no minimise or
    // maximise box, not sizeable by the user.
    const DWORD style = WS_POPUP | WS_CAPTION | WS_CLIPCHILDREN;
    const DWORD exStyle = WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE;
    RECT frame{0, 0, scale_(clientWidth), scale_(clientHeight)};
    ::AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    RegisterClass(Instance());
    CreateWindowFor(nullptr, ClassName(), style, exStyle | WS_EX_CONTROLPARENT, 0, 0, frame.right - frame.left,
                    frame.bottom - frame.top, caption);
    if (Handle() && owner) ::SetWindowLongPtrW(Handle(), GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(owner));
    SetFont(ownFont_.get());
}

int Form::ClientWidth() const {
    RECT area{};
    if (Handle()) ::GetClientRect(Handle(), &area);
    return area.right;
}

int Form::ClientHeight() const {
    RECT area{};
    if (Handle()) ::GetClientRect(Handle(), &area);
    return area.bottom;
}

void Form::CentreOnScreen() {
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    SetBounds(work.left + (work.right - work.left - Width()) / 2, work.top + (work.bottom - work.top - Height()) / 2,
              Width(), Height());
}

void Form::CentreOn(HWND other) {
    RECT box{};
    if (!other || !::GetWindowRect(other, &box)) return CentreOnScreen();
    SetBounds(box.left + (box.right - box.left - Width()) / 2, box.top + (box.bottom - box.top - Height()) / 2,
              Width(), Height());
}

void Form::ShowForm() {
    if (!Handle()) return;
    if (!shown_) {
        shown_ = true;
        if (onShow) onShow();
    }
    ::ShowWindow(Handle(), SW_SHOW);
    ::SetForegroundWindow(Handle());
}

void Form::Close() {
    if (onClose) onClose();
    if (modal_) {
        if (modalResult_ == kResultNone) modalResult_ = kResultCancel;
        return;
    }
    if (Handle()) ::ShowWindow(Handle(), SW_HIDE);
    Application* application = Application::Current();
    if (application && application->MainForm() == this) application->Terminate();
}

void Form::RequestClose() {
    if (onCloseQuery && !onCloseQuery()) return;
    Close();
}

int Form::ShowModal() {
    if (!Handle() || modal_) return kResultCancel;
    const HWND owner = ::GetWindow(Handle(), GW_OWNER);
    Application* application = Application::Current();
    modal_ = true;
    modalResult_ = kResultNone;
    if (owner) ::EnableWindow(owner, FALSE);
    ShowForm();
    MSG message{};
    while (modalResult_ == kResultNone && !(application && application->Terminated())) {
        const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) {
            // Keep the quit request for the main loop.
            ::PostQuitMessage(static_cast<int>(message.wParam));
            break;
        }
        if (got < 0) break;
        Application::DispatchOne(message);
    }
    // Enable the owner before hiding, so the activation goes back to it.
    if (owner) ::EnableWindow(owner, TRUE);
    ::ShowWindow(Handle(), SW_HIDE);
    if (owner) ::SetActiveWindow(owner);
    modal_ = false;
    return modalResult_ == kResultNone ? kResultCancel : modalResult_;
}

namespace {

struct IdSearch {
    int id;
    HWND found;
};

BOOL CALLBACK VisitForId(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<IdSearch*>(data);
    if (::GetDlgCtrlID(window) != search->id) return TRUE;
    search->found = window;
    return FALSE;
}

}  // namespace

Control* Form::FindById(int id) const {
    IdSearch search{id, nullptr};
    ::EnumChildWindows(Handle(), &VisitForId, reinterpret_cast<LPARAM>(&search));
    if (!search.found || IsToolkitWindow(search.found)) return nullptr;
    return reinterpret_cast<Control*>(::GetWindowLongPtrW(search.found, GWLP_USERDATA));
}

bool Form::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam, LRESULT& result) {
    switch (message) {
        case WM_SIZE:
            if (onResize) onResize();
            return false;
        case WM_CLOSE:
            RequestClose();
            result = 0;
            return true;
        case DM_GETDEFID:
            if (defaultButton_ && defaultButton_->Handle()) {
                result = MAKELRESULT(defaultButton_->Id(), DC_HASDEFID);
                return true;
            }
            return false;
        case WM_COMMAND: {
            // The dialog manager sends Enter, Escape and mnemonics to the
            // form itself, naming the button by identifier only when the
            // button is not a direct child.
            if (lparam != 0) return false;
            const int id = LOWORD(wparam);
            Control* target = nullptr;
            if (id == IDOK) target = defaultButton_;
            else if (id == IDCANCEL) target = cancelButton_;
            else target = FindById(id);
            if (target && target->Enabled() && target->Visible()) target->Command(BN_CLICKED);
            result = 0;
            return true;
        }
        default:
            return false;
    }
}

}  // namespace gui
