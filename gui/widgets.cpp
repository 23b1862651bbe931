#include "gui/widgets.hpp"

#include "setuputil/wintext.hpp"

#include <commctrl.h>

namespace gui {

using setuputil::WinStr;

// --- Label ---

void Label::Create(Container& parent, const std::u16string& text, int left, int top, int width, int height,
                   Options options) {
    options_ = options;
    const DWORD style = WS_VISIBLE | SS_NOPREFIX | (options.wordWrap ? SS_LEFT : SS_LEFTNOWORDWRAP);
    CreateWindowFor(&parent, L"STATIC", style, 0, left, top, width, height, text);
    AdjustSize();
}

void Label::SetText(const std::u16string& text) {
    Control::SetText(text);
    AdjustSize();
}

void Label::SetLabelFont(HFONT font) {
    SetFont(font);
    AdjustSize();
}

void Label::Resized() {
    if (!adjusting_) AdjustSize();
}

HBRUSH Label::Colour(HDC dc) {
    ::SetBkMode(dc, TRANSPARENT);
    return Control::Colour(dc);
}

void Label::AdjustSize() {
    if (!options_.autoSize || !Handle()) return;
    std::u16string text = Text();
    if (text.empty()) text = u" ";
    ClientDC dc(Handle());
    SelectedObject selected(dc.get(), Font());
    RECT box{0, 0, options_.wordWrap ? Width() : 0, 0};
    UINT format = DT_CALCRECT | DT_NOPREFIX | DT_EXPANDTABS | DT_LEFT;
    if (options_.wordWrap) format |= DT_WORDBREAK;
    ::DrawTextW(dc.get(), WinStr(text), -1, &box, format);
    adjusting_ = true;
    SetBounds(Left(), Top(), options_.wordWrap ? Width() : box.right - box.left, box.bottom - box.top);
    adjusting_ = false;
}

// --- Image ---

void Image::Create(Container& parent, HBITMAP bitmap, int left, int top, int width, int height) {
    bitmap_ = bitmap;
    CreateContainer(&parent, WS_VISIBLE, 0, left, top, width, height);
}

bool Image::HandleMessage(UINT message, WPARAM, LPARAM, LRESULT& result) {
    if (message == WM_ERASEBKGND) {
        result = 1;  // WM_PAINT covers the whole area
        return true;
    }
    if (message != WM_PAINT) return false;
    PAINTSTRUCT paint{};
    const HDC dc = ::BeginPaint(Handle(), &paint);
    RECT area{};
    ::GetClientRect(Handle(), &area);
    BITMAP info{};
    if (bitmap_ && ::GetObjectW(bitmap_, sizeof(info), &info)) {
        const HDC source = ::CreateCompatibleDC(dc);
        {
            SelectedObject selected(source, bitmap_);
            ::SetStretchBltMode(dc, HALFTONE);
            ::SetBrushOrgEx(dc, 0, 0, nullptr);
            ::StretchBlt(dc, 0, 0, area.right, area.bottom, source, 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
        }
        ::DeleteDC(source);
    } else {
        ::FillRect(dc, &area, ::GetSysColorBrush(COLOR_BTNSHADOW));
    }
    ::EndPaint(Handle(), &paint);
    result = 0;
    return true;
}

// --- Memo ---

void Memo::Create(Container& parent, int left, int top, int width, int height) {
    const DWORD style = WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_READONLY |
                        ES_AUTOVSCROLL | ES_AUTOHSCROLL | ES_NOHIDESEL;
    CreateWindowFor(&parent, L"EDIT", style, WS_EX_CLIENTEDGE, left, top, width, height);
}

void Memo::SetText(const std::u16string& text) {
    // The edit control breaks lines only at CR LF.
    std::u16string lines;
    lines.reserve(text.size() + text.size() / 32);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c == u'\r') {
            lines.push_back(u'\r');
            lines.push_back(u'\n');
            if (i + 1 < text.size() && text[i + 1] == u'\n') ++i;
        } else if (c == u'\n') {
            lines.push_back(u'\r');
            lines.push_back(u'\n');
        } else {
            lines.push_back(c);
        }
    }
    Control::SetText(lines);
}

HBRUSH Memo::Colour(HDC dc) {
    // Read-only edits ask for the static colour; the license reads better
    // on the window colour, like any document.
    ::SetBkColor(dc, ::GetSysColor(COLOR_WINDOW));
    ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
    return ::GetSysColorBrush(COLOR_WINDOW);
}

// --- Edit ---

void Edit::Create(Container& parent, const std::u16string& text, int left, int top, int width, int height) {
    CreateWindowFor(&parent, L"EDIT", WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, left, top, width,
                    height, text);
}

HBRUSH Edit::Colour(HDC dc) {
    ::SetBkColor(dc, ::GetSysColor(COLOR_WINDOW));
    ::SetTextColor(dc, ::GetSysColor(COLOR_WINDOWTEXT));
    return ::GetSysColorBrush(COLOR_WINDOW);
}

// --- Button ---

void Button::Create(Container& parent, const std::u16string& caption, int left, int top, int width, int height,
                    bool isDefault) {
    CreateWindowFor(&parent, L"BUTTON", WS_VISIBLE | WS_TABSTOP | (isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON), 0,
                    left, top, width, height, caption);
}

int Button::Id() const { return Handle() ? ::GetDlgCtrlID(Handle()) : 0; }

void Button::Command(WORD code) {
    if (code == BN_CLICKED && onClick && Enabled()) onClick();
}

// --- CheckBox ---

void CheckBox::Create(Container& parent, const std::u16string& caption, int left, int top, int width, int height,
                      bool checked) {
    CreateWindowFor(&parent, L"BUTTON", WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX, 0, left, top, width, height,
                    caption);
    SetChecked(checked);
}

bool CheckBox::Checked() const {
    return Handle() && ::SendMessageW(Handle(), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void CheckBox::SetChecked(bool checked) {
    if (Handle()) ::SendMessageW(Handle(), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

void CheckBox::Command(WORD code) {
    if (code == BN_CLICKED && onClick) onClick();
}

// --- ProgressBar ---

void ProgressBar::Create(Container& parent, int left, int top, int width, int height, int minimum, int maximum) {
    CreateWindowFor(&parent, PROGRESS_CLASSW, WS_VISIBLE, 0, left, top, width, height);
    ::SendMessageW(Handle(), PBM_SETRANGE32, static_cast<WPARAM>(minimum), static_cast<LPARAM>(maximum));
}

void ProgressBar::SetPosition(int position) {
    if (Handle()) ::SendMessageW(Handle(), PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

int ProgressBar::Position() const {
    return Handle() ? static_cast<int>(::SendMessageW(Handle(), PBM_GETPOS, 0, 0)) : 0;
}

// --- PageControl ---

void PageControl::Create(Container& parent, int left, int top, int width, int height, int frameWidth) {
    frame_ = frameWidth;
    CreateContainer(&parent, WS_VISIBLE | WS_CLIPSIBLINGS, 0, left, top, width, height);
}

void PageControl::AddPage(Panel& page) {
    page.Create(*this, frame_, frame_, Width() - 2 * frame_, Height() - 2 * frame_);
    page.SetVisible(pages_.empty());
    if (pages_.empty()) active_ = &page;
    pages_.push_back(&page);
}

void PageControl::SetActivePage(Panel& page) {
    if (active_ == &page) return;
    // Show the new page before hiding the old one, so the area never
    // flashes empty; a page that held the focus gives it up.
    page.Show();
    if (active_) {
        const HWND focus = ::GetFocus();
        if (focus && ::IsChild(active_->Handle(), focus)) ::SetFocus(page.Handle());
        active_->Hide();
    }
    active_ = &page;
}

void PageControl::Resized() {
    for (Panel* page : pages_) page->SetBounds(frame_, frame_, Width() - 2 * frame_, Height() - 2 * frame_);
}

bool PageControl::HandleMessage(UINT message, WPARAM, LPARAM, LRESULT& result) {
    if (message != WM_PAINT) return false;
    PAINTSTRUCT paint{};
    const HDC dc = ::BeginPaint(Handle(), &paint);
    RECT area{};
    ::GetClientRect(Handle(), &area);
    ::DrawEdge(dc, &area, EDGE_RAISED, BF_RECT);
    ::EndPaint(Handle(), &paint);
    result = 0;
    return true;
}

}  // namespace gui
