#include "setuputil/windowsearch.hpp"

#include "setuputil/codepage.hpp"
#include "setuputil/wildcard.hpp"

#include <windows.h>

namespace setuputil {

namespace {

std::string LowerAsciiLetters(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// Called back by EnumWindows on this thread; nothing may be thrown through
// the platform's frames, so an allocation failure just ends the walk.
BOOL CALLBACK VisitWindow(HWND window, LPARAM data) {
    auto* info = reinterpret_cast<twindowinfo*>(data);
    try {
        char title[256] = {};
        const int length = GetWindowTextA(window, title, 256);
        if (length <= 0) return TRUE;
        const std::u16string text = AnsiToWide(LowerAsciiLetters(std::string(title, static_cast<std::size_t>(length))));
        if (!MatchWildcard(AnsiToWide(info->pattern), text)) return TRUE;
        info->window = window;
        return FALSE;
    } catch (...) {
        return FALSE;
    }
}

}  // namespace

WindowHandle FindWindowByTitle(const std::string& pattern) {
    if (pattern.empty()) return nullptr;
    twindowinfo info;
    info.pattern = LowerAsciiLetters(pattern);  // once, not per window
    EnumWindows(VisitWindow, reinterpret_cast<LPARAM>(&info));
    return info.window;
}

bool SendCloseRequest(WindowHandle window, std::uint32_t timeoutMs) {
    if (window == nullptr) return false;
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(window, WM_CLOSE, 0, 0, SMTO_NORMAL | SMTO_ABORTIFHUNG, timeoutMs, &result) != 0;
}

}  // namespace setuputil
