// Driving a GUI program in another process the way a user would: find its
// windows by caption, its controls by text, read texts and states, press
// buttons, answer message boxes.  Every wait is bounded; a window that does
// not turn up fails the test instead of hanging it.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

namespace e2e {

class Process {
public:
    Process() = default;
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    ~Process();
    // Starts `exe` with `arguments` (already quoted as needed) and, with
    // `waitIdle`, waits until it waits for input (a program that runs
    // without a window never does).
    bool Start(const std::wstring& exe, const std::wstring& arguments, bool waitIdle = true);
    DWORD Id() const { return info_.dwProcessId; }
    // True when the process ended within `ms`; its exit code in `code`.
    bool WaitExit(DWORD ms, DWORD& code);
    void Kill();

private:
    PROCESS_INFORMATION info_{};
};

// A visible top-level window of process `pid` whose caption is `caption`
// (and, when given, whose class is `windowClass`); waits up to `ms`.
HWND WaitTopWindow(DWORD pid, const std::wstring& caption, DWORD ms, const wchar_t* windowClass = nullptr);
// A message box (#32770) of the process with this caption.
HWND WaitMessageBox(DWORD pid, const std::wstring& caption, DWORD ms = 10000);
// Any visible top-level window of the process, or null.
HWND AnyVisibleWindow(DWORD pid);
// True when the process shows no window of `caption` for `ms`.
bool NoTopWindow(DWORD pid, const std::wstring& caption, DWORD ms);

// A descendant of `parent` whose text is exactly `text` (first in Z order
// walk), or null; with `windowClass`, only of that class.
HWND FindChild(HWND parent, const std::wstring& text, const wchar_t* windowClass = nullptr);
// Every descendant of `parent` of the class.
std::vector<HWND> ChildrenOfClass(HWND parent, const wchar_t* windowClass);
std::wstring TextOf(HWND window);
// The message text of a message box.
std::wstring MessageBoxText(HWND box);

bool Visible(HWND window);
bool Enabled(HWND window);
bool Checked(HWND checkbox);

// BM_CLICK and wait until the program has handled it.
void Click(HWND button);
// BM_CLICK without waiting: for clicks that open a modal window.
void PostClick(HWND button);

// Tree views in another process (same bitness): text of an item, the
// selected item, its parent, its children, and selection.
std::wstring TreeItemText(HWND tree, HTREEITEM item);
HTREEITEM TreeSelection(HWND tree);
HTREEITEM TreeParent(HWND tree, HTREEITEM item);
std::vector<HTREEITEM> TreeChildren(HWND tree, HTREEITEM item);
HTREEITEM TreeRoot(HWND tree);
void TreeSelect(HWND tree, HTREEITEM item);

// Saves what the screen shows of the window as a 24-bit bitmap file.
bool SaveWindowShot(HWND window, const std::wstring& path);

// Wait until `condition` holds or `ms` pass; answers the last value.
template <class F>
bool WaitUntil(F condition, DWORD ms) {
    const DWORD start = ::GetTickCount();
    for (;;) {
        if (condition()) return true;
        if (::GetTickCount() - start >= ms) return condition();
        ::Sleep(20);
    }
}

// The folder of the running driver program, where the Windows build also
// put setup.exe and the sample programs.
std::wstring ProgramFolder();

// The uninstaller of the product whose program is `exename`, where the
// install writes it: "<Windows>\Tallowin\<name without .exe>-uninstall.exe".
std::wstring ProductUninstaller(const std::wstring& exename);

}  // namespace e2e
