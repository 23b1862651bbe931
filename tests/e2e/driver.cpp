#include "tests/e2e/driver.hpp"

#include <cstring>

#include <commctrl.h>

#include <cstdio>

namespace e2e {

Process::~Process() {
    if (info_.hProcess) {
        DWORD code = 0;
        if (!WaitExit(0, code)) Kill();
        ::CloseHandle(info_.hProcess);
        ::CloseHandle(info_.hThread);
    }
}

bool Process::Start(const std::wstring& exe, const std::wstring& arguments, bool waitIdle) {
    std::wstring line = L"\"" + exe + L"\"";
    if (!arguments.empty()) line += L" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    if (!::CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info_))
        return false;
    if (waitIdle) ::WaitForInputIdle(info_.hProcess, 10000);
    return true;
}

bool Process::WaitExit(DWORD ms, DWORD& code) {
    if (!info_.hProcess || ::WaitForSingleObject(info_.hProcess, ms) != WAIT_OBJECT_0) return false;
    ::GetExitCodeProcess(info_.hProcess, &code);
    return true;
}

void Process::Kill() {
    if (info_.hProcess) {
        ::TerminateProcess(info_.hProcess, 99);
        ::WaitForSingleObject(info_.hProcess, 5000);
    }
}

std::wstring TextOf(HWND window) {
    wchar_t buffer[4096] = {};
    ::SendMessageTimeoutW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG, 5000, nullptr);
    return buffer;
}

static std::wstring ClassOf(HWND window) {
    wchar_t name[128] = {};
    ::GetClassNameW(window, name, 128);
    return name;
}

namespace {

struct TopSearch {
    DWORD pid;
    const std::wstring* caption;
    const wchar_t* windowClass;
    HWND found;
};

BOOL CALLBACK VisitTop(HWND window, LPARAM data) {
    auto* s = reinterpret_cast<TopSearch*>(data);
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    if (pid != s->pid || !::IsWindowVisible(window)) return TRUE;
    if (s->windowClass && _wcsicmp(ClassOf(window).c_str(), s->windowClass) != 0) return TRUE;
    wchar_t title[512] = {};
    ::GetWindowTextW(window, title, 512);
    if (s->caption && *s->caption != title) return TRUE;
    s->found = window;
    return FALSE;
}

HWND FindTop(DWORD pid, const std::wstring& caption, const wchar_t* windowClass) {
    TopSearch search{pid, &caption, windowClass, nullptr};
    ::EnumWindows(&VisitTop, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

}  // namespace

HWND AnyVisibleWindow(DWORD pid) {
    TopSearch search{pid, nullptr, nullptr, nullptr};
    ::EnumWindows(&VisitTop, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitTopWindow(DWORD pid, const std::wstring& caption, DWORD ms, const wchar_t* windowClass) {
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindTop(pid, caption, windowClass)) != nullptr; }, ms);
    return found;
}

HWND WaitMessageBox(DWORD pid, const std::wstring& caption, DWORD ms) {
    return WaitTopWindow(pid, caption, ms, L"#32770");
}

bool NoTopWindow(DWORD pid, const std::wstring& caption, DWORD ms) {
    return !WaitUntil([&] { return FindTop(pid, caption, nullptr) != nullptr; }, ms);
}

namespace {

struct ChildSearch {
    const std::wstring* text;
    const wchar_t* windowClass;
    std::vector<HWND> found;
    bool all;
};

BOOL CALLBACK VisitChild(HWND window, LPARAM data) {
    auto* s = reinterpret_cast<ChildSearch*>(data);
    if (s->windowClass && _wcsicmp(ClassOf(window).c_str(), s->windowClass) != 0) return TRUE;
    if (s->text && TextOf(window) != *s->text) return TRUE;
    s->found.push_back(window);
    return s->all ? TRUE : FALSE;
}

}  // namespace

HWND FindChild(HWND parent, const std::wstring& text, const wchar_t* windowClass) {
    ChildSearch search{&text, windowClass, {}, false};
    ::EnumChildWindows(parent, &VisitChild, reinterpret_cast<LPARAM>(&search));
    return search.found.empty() ? nullptr : search.found.front();
}

std::vector<HWND> ChildrenOfClass(HWND parent, const wchar_t* windowClass) {
    ChildSearch search{nullptr, windowClass, {}, true};
    ::EnumChildWindows(parent, &VisitChild, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::wstring MessageBoxText(HWND box) {
    // The message is the static control with the dialog's text identifier.
    if (HWND text = ::GetDlgItem(box, 0xFFFF)) return TextOf(text);
    for (HWND child : ChildrenOfClass(box, L"Static"))
        if (!TextOf(child).empty()) return TextOf(child);
    return {};
}

bool Visible(HWND window) { return window && ::IsWindowVisible(window); }
bool Enabled(HWND window) { return window && ::IsWindowEnabled(window); }
bool Checked(HWND checkbox) { return ::SendMessageW(checkbox, BM_GETCHECK, 0, 0) == BST_CHECKED; }

void Click(HWND button) { ::SendMessageTimeoutW(button, BM_CLICK, 0, 0, SMTO_NORMAL, 10000, nullptr); }
void PostClick(HWND button) { ::PostMessageW(button, BM_CLICK, 0, 0); }

std::wstring TreeItemText(HWND tree, HTREEITEM item) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(tree, &pid);
    HANDLE process = ::OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (!process) return {};
    constexpr SIZE_T kTextUnits = 512;
    const SIZE_T size = sizeof(TVITEMW) + kTextUnits * sizeof(wchar_t);
    auto* remote = static_cast<BYTE*>(::VirtualAllocEx(process, nullptr, size, MEM_COMMIT, PAGE_READWRITE));
    std::wstring text;
    if (remote) {
        TVITEMW item_data{};
        item_data.mask = TVIF_TEXT;
        item_data.hItem = item;
        item_data.pszText = reinterpret_cast<LPWSTR>(remote + sizeof(TVITEMW));
        item_data.cchTextMax = kTextUnits;
        ::WriteProcessMemory(process, remote, &item_data, sizeof(item_data), nullptr);
        ::SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(remote));
        wchar_t buffer[kTextUnits] = {};
        ::ReadProcessMemory(process, remote + sizeof(TVITEMW), buffer, sizeof(buffer) - sizeof(wchar_t), nullptr);
        text = buffer;
        ::VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    }
    ::CloseHandle(process);
    return text;
}

HTREEITEM TreeSelection(HWND tree) {
    return reinterpret_cast<HTREEITEM>(::SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
}
HTREEITEM TreeParent(HWND tree, HTREEITEM item) {
    return reinterpret_cast<HTREEITEM>(::SendMessageW(tree, TVM_GETNEXTITEM, TVGN_PARENT, reinterpret_cast<LPARAM>(item)));
}
HTREEITEM TreeRoot(HWND tree) {
    return reinterpret_cast<HTREEITEM>(::SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
}
std::vector<HTREEITEM> TreeChildren(HWND tree, HTREEITEM item) {
    std::vector<HTREEITEM> children;
    for (auto child = reinterpret_cast<HTREEITEM>(::SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CHILD,
                                                                 reinterpret_cast<LPARAM>(item)));
         child; child = reinterpret_cast<HTREEITEM>(::SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXT,
                                                                   reinterpret_cast<LPARAM>(child))))
        children.push_back(child);
    return children;
}
void TreeSelect(HWND tree, HTREEITEM item) {
    ::SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
}

bool SaveWindowShot(HWND window, const std::wstring& path) {
    RECT box{};
    if (!::GetWindowRect(window, &box)) return false;
    const int width = box.right - box.left, height = box.bottom - box.top;
    if (width <= 0 || height <= 0) return false;
    ::RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    ::Sleep(200);
    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool saved = false;
    if (bitmap) {
        HGDIOBJ old = ::SelectObject(memory, bitmap);
        ::BitBlt(memory, 0, 0, width, height, screen, box.left, box.top, SRCCOPY);
        ::SelectObject(memory, old);
        const DWORD rowBytes = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
        // A capture of one colour means the screen was not drawn (no X
        // server, or a desktop still on the null driver): not a screenshot.
        const auto* pixels = static_cast<const unsigned char*>(bits);
        bool uniform = true;
        for (int y = 0; uniform && y < height; ++y)
            for (int x = 0; uniform && x < width; ++x)
                uniform = std::memcmp(pixels + y * rowBytes + x * 3, pixels, 3) == 0;
        BITMAPFILEHEADER file{};
        file.bfType = 0x4D42;
        file.bfOffBits = sizeof(file) + sizeof(info.bmiHeader);
        file.bfSize = file.bfOffBits + rowBytes * height;
        if (FILE* out = uniform ? nullptr : _wfopen(path.c_str(), L"wb")) {
            saved = fwrite(&file, sizeof(file), 1, out) == 1 &&
                    fwrite(&info.bmiHeader, sizeof(info.bmiHeader), 1, out) == 1 &&
                    fwrite(bits, rowBytes * height, 1, out) == 1;
            fclose(out);
        }
        ::DeleteObject(bitmap);
    }
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    return saved;
}

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH] = {};
    ::GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring text = path;
    return text.substr(0, text.find_last_of(L'\\'));
}

std::wstring ProductUninstaller(const std::wstring& exename) {
    wchar_t windows[MAX_PATH] = {};
    ::GetWindowsDirectoryW(windows, MAX_PATH);
    std::wstring stem = exename;
    if (stem.size() > 4 && ::lstrcmpiW(stem.c_str() + stem.size() - 4, L".exe") == 0) stem.resize(stem.size() - 4);
    return std::wstring(windows) + L"\\Tallowin\\" + stem + L"-uninstall.exe";
}

}  // namespace e2e
