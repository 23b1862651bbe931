#include "gui/control.hpp"

#include "gui/application.hpp"
#include "setuputil/wintext.hpp"

#include <exception>

namespace gui {

using setuputil::FromWinStr;
using setuputil::WinStr;

void Control::CreateWindowFor(Container* parent, const wchar_t* windowClass, DWORD style, DWORD exStyle, int left,
                              int top, int width, int height, const std::u16string& text) {
    const HWND parentWindow = parent ? parent->Handle() : nullptr;
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    const int id = parent ? parent->NextControlId() : 0;
    if (parent) style |= WS_CHILD;
    left_ = left; top_ = top; width_ = width; height_ = height;
    const HWND window = ::CreateWindowExW(exStyle, windowClass, WinStr(text), style, left, top, width, height,
                                          parentWindow, parent ? reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)) : nullptr,
                                          instance, this);
    // Toolkit windows already stored their handle on WM_NCCREATE.
    if (window_.get() != window) window_.reset(window);
    if (window && !Container::IsToolkitWindow(window))
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    if (parent && parent->Font()) SetFont(parent->Font());
}

void Control::SetBounds(int left, int top, int width, int height) {
    if (width < 0) width = 0;
    if (height < 0) height = 0;
    const bool resized = width != width_ || height != height_;
    left_ = left; top_ = top; width_ = width; height_ = height;
    if (Handle()) ::SetWindowPos(Handle(), nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    if (resized) Resized();
}

bool Control::Visible() const {
    return Handle() && (::GetWindowLongPtrW(Handle(), GWL_STYLE) & WS_VISIBLE) != 0;
}

void Control::SetVisible(bool visible) {
    if (Handle() && visible != Visible()) ::ShowWindow(Handle(), visible ? SW_SHOWNA : SW_HIDE);
}

bool Control::Enabled() const { return Handle() && ::IsWindowEnabled(Handle()); }

void Control::SetEnabled(bool enabled) {
    if (Handle()) ::EnableWindow(Handle(), enabled ? TRUE : FALSE);
}

void Control::SetText(const std::u16string& text) {
    if (Handle()) ::SetWindowTextW(Handle(), WinStr(text));
}

std::u16string Control::Text() const {
    if (!Handle()) return {};
    const int length = ::GetWindowTextLengthW(Handle());
    std::u16string text(static_cast<std::size_t>(length) + 1, u'\0');
    const int copied = ::GetWindowTextW(Handle(), reinterpret_cast<wchar_t*>(text.data()), length + 1);
    text.resize(copied > 0 ? static_cast<std::size_t>(copied) : 0);
    return text;
}

void Control::SetFont(HFONT font) {
    font_ = font;
    if (Handle()) ::SendMessageW(Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
}

void Control::Focus() {
    if (Handle()) ::SetFocus(Handle());
}

HBRUSH Control::Colour(HDC dc) {
    ::SetBkColor(dc, ::GetSysColor(COLOR_BTNFACE));
    return ::GetSysColorBrush(COLOR_BTNFACE);
}

// --- containers ---

namespace {
constexpr wchar_t kContainerClass[] = L"TallowinContainer";
}

const wchar_t* Container::ClassName() { return kContainerClass; }

void Container::RegisterClass(HINSTANCE instance) {
    WNDCLASSEXW info{};
    if (::GetClassInfoExW(instance, kContainerClass, &info)) return;
    info = {};
    info.cbSize = sizeof(info);
    info.style = CS_DBLCLKS;
    info.lpfnWndProc = &Container::WindowProc;
    info.hInstance = instance;
    info.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    info.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    info.lpszClassName = kContainerClass;
    ::RegisterClassExW(&info);
}

bool Container::IsToolkitWindow(HWND window) {
    wchar_t name[64] = {};
    return window && ::GetClassNameW(window, name, 64) > 0 && ::lstrcmpW(name, kContainerClass) == 0;
}

Container::~Container() = default;

HINSTANCE Container::Instance() const { return ::GetModuleHandleW(nullptr); }

int Container::NextControlId() { return parent_ ? parent_->NextControlId() : 0; }

void Container::CreateContainer(Container* parent, DWORD style, DWORD exStyle, int left, int top, int width,
                                int height, const std::u16string& text) {
    RegisterClass(Instance());
    parent_ = parent;
    CreateWindowFor(parent, kContainerClass, style | WS_CLIPCHILDREN, exStyle | WS_EX_CONTROLPARENT, left, top,
                    width, height, text);
}

void Container::AlignChildren() {
    for (Control* child : alignedLeft_) child->SetBounds(0, 0, child->Width(), Height());
}

bool Container::HandleMessage(UINT, WPARAM, LPARAM, LRESULT&) { return false; }

namespace {

Control* ControlOf(HWND window) {
    return window ? reinterpret_cast<Control*>(::GetWindowLongPtrW(window, GWLP_USERDATA)) : nullptr;
}

}  // namespace

LRESULT Container::Dispatch(UINT message, WPARAM wparam, LPARAM lparam) {
    LRESULT result = 0;
    if (HandleMessage(message, wparam, lparam, result)) return result;
    switch (message) {
        case WM_COMMAND:
            if (Control* child = ControlOf(reinterpret_cast<HWND>(lparam)); child && child != this) {
                child->Command(HIWORD(wparam));
                return 0;
            }
            break;
        case WM_NOTIFY: {
            auto* header = reinterpret_cast<NMHDR*>(lparam);
            if (Control* child = ControlOf(header->hwndFrom); child && child != this) return child->Notify(header);
            break;
        }
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN:
        case WM_CTLCOLOREDIT:
            if (Control* child = ControlOf(reinterpret_cast<HWND>(lparam)); child && child != this)
                return reinterpret_cast<LRESULT>(child->Colour(reinterpret_cast<HDC>(wparam)));
            break;
        default:
            break;
    }
    return ::DefWindowProcW(Handle(), message, wparam, lparam);
}

LRESULT CALLBACK Container::WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<Container*>(reinterpret_cast<CREATESTRUCTW*>(lparam)->lpCreateParams);
        ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(static_cast<Control*>(self)));
        // The object knows its handle from the first message on.
        if (self) self->window_.reset(window);
    }
    auto* self = static_cast<Container*>(ControlOf(window));
    if (message == WM_NCDESTROY) {
        ::SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        // The window is gone: the object must not destroy it again.
        if (self) self->window_.release();
        return ::DefWindowProcW(window, message, wparam, lparam);
    }
    if (!self) return ::DefWindowProcW(window, message, wparam, lparam);
    try {
        return self->Dispatch(message, wparam, lparam);
    } catch (...) {
        Application::ShowException(std::current_exception());
        return 0;
    }
}

void Panel::Create(Container& parent, int left, int top, int width, int height) {
    CreateContainer(&parent, WS_VISIBLE | WS_CLIPSIBLINGS, 0, left, top, width, height);
}

}  // namespace gui
