#include "setuputil/shellopen.hpp"

#include "setuputil/codepage.hpp"
#include "setuputil/platform.hpp"
#include "setuputil/wintext.hpp"

#include <windows.h>
#include <exdisp.h>
#include <shldisp.h>
#include <shlguid.h>
#include <shlobj.h>
#include <shellapi.h>

// shellapi.h's macro would rename IShellDispatch2's method.
#undef ShellExecute

namespace setuputil {

namespace {
// winerror.h's ERROR_ELEVATION_REQUIRED, which the headers of an older
// target leave out.
constexpr DWORD kErrorElevationRequired = 740;
// shlguid.h's SID_STopLevelBrowser, the service that hands out the desktop
// window's shell browser.  The program's COM identifiers are the headers'
// own (__uuidof) or written here, not libuuid's, whose objects are not
// cut into sections a link can drop one by one (0.5 KB of the 64-bit stub).
constexpr GUID kTopLevelBrowserService = {0x4c96be40, 0x915c, 0x11cf, {0x99, 0xd3, 0x00, 0xaa, 0x00, 0x4a, 0xe8, 0x37}};
}  // namespace

void ShellOpen(const std::u16string& path) {
    if (IsWin2000OrLater())
        ShellExecuteW(nullptr, nullptr, WinStr(path), nullptr, nullptr, SW_SHOW);
    else
        ShellExecuteA(nullptr, nullptr, WideToAnsi(path).c_str(), nullptr, nullptr, SW_SHOW);
}

bool RunProgram(const std::u16string& program, const std::u16string& arguments, const std::u16string& folder,
                bool hidden, bool wait, unsigned long* exitcode) {
    std::u16string line = u"\"" + program + u"\"";
    if (!arguments.empty()) line += u" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = static_cast<WORD>(hidden ? SW_HIDE : SW_SHOWNORMAL);
    PROCESS_INFORMATION process{};
    // CreateProcessW may write into the command line: it gets a copy.
    if (!::CreateProcessW(WinStr(program), reinterpret_cast<wchar_t*>(&line[0]), nullptr, nullptr, FALSE, 0, nullptr,
                          folder.empty() ? nullptr : WinStr(folder), &startup, &process)) {
        if (::GetLastError() != kErrorElevationRequired) return false;
        // A program whose manifest asks for administrator rights, started
        // from a process without them: the shell asks the user for consent.
        SHELLEXECUTEINFOW info{};
        info.cbSize = sizeof(info);
        info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
        info.lpFile = WinStr(program);
        info.lpParameters = arguments.empty() ? nullptr : WinStr(arguments);
        info.lpDirectory = folder.empty() ? nullptr : WinStr(folder);
        info.nShow = hidden ? SW_HIDE : SW_SHOWNORMAL;
        if (!::ShellExecuteExW(&info) || !info.hProcess) return false;
        process.hProcess = info.hProcess;
        process.hThread = nullptr;
    }
    if (process.hThread) ::CloseHandle(process.hThread);
    bool ok = true;
    if (wait) {
        DWORD code = 0;
        ok = ::WaitForSingleObject(process.hProcess, INFINITE) == WAIT_OBJECT_0 &&
             ::GetExitCodeProcess(process.hProcess, &code);
        if (exitcode) *exitcode = code;
    }
    ::CloseHandle(process.hProcess);
    return ok;
}

bool IsProcessElevated() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    const bool elevated =
        ::GetTokenInformation(token, TokenElevation, &elevation, sizeof(elevation), &size) && elevation.TokenIsElevated;
    ::CloseHandle(token);
    return elevated;
}

namespace {

template <typename Interface>
struct ComRef {
    Interface* p = nullptr;
    ~ComRef() {
        if (p) p->Release();
    }
    Interface** out() { return &p; }
};

// The desktop shell's own ShellExecute: the program starts in Explorer's
// process, with its token.  False when any step is missing.
bool DesktopShellExecute(const std::u16string& program, const std::u16string& arguments, const std::u16string& folder,
                         bool hidden) {
    ComRef<IShellWindows> windows;
    if (FAILED(::CoCreateInstance(__uuidof(ShellWindows), nullptr, CLSCTX_LOCAL_SERVER, __uuidof(IShellWindows),
                                  reinterpret_cast<void**>(windows.out()))))
        return false;
    VARIANT location{}, root{};
    location.vt = VT_I4;
    location.lVal = CSIDL_DESKTOP;
    root.vt = VT_EMPTY;
    long hwnd = 0;
    ComRef<IDispatch> desktop;
    if (windows.p->FindWindowSW(&location, &root, SWC_DESKTOP, &hwnd, SWFO_NEEDDISPATCH, desktop.out()) != S_OK ||
        !desktop.p)
        return false;
    ComRef<IServiceProvider> provider;
    ComRef<IShellBrowser> browser;
    ComRef<IShellView> view;
    ComRef<IDispatch> background;
    ComRef<IShellFolderViewDual> folderview;
    ComRef<IDispatch> application;
    ComRef<IShellDispatch2> shell;
    if (FAILED(desktop.p->QueryInterface(__uuidof(IServiceProvider), reinterpret_cast<void**>(provider.out()))) ||
        FAILED(provider.p->QueryService(kTopLevelBrowserService, __uuidof(IShellBrowser), reinterpret_cast<void**>(browser.out()))) ||
        FAILED(browser.p->QueryActiveShellView(view.out())) ||
        FAILED(view.p->GetItemObject(SVGIO_BACKGROUND, __uuidof(IDispatch), reinterpret_cast<void**>(background.out()))) ||
        FAILED(background.p->QueryInterface(__uuidof(IShellFolderViewDual), reinterpret_cast<void**>(folderview.out()))) ||
        FAILED(folderview.p->get_Application(application.out())) ||
        FAILED(application.p->QueryInterface(__uuidof(IShellDispatch2), reinterpret_cast<void**>(shell.out()))))
        return false;
    BSTR file = ::SysAllocString(WinStr(program));
    VARIANT args{}, dir{}, operation{}, show{};
    args.vt = VT_BSTR;
    args.bstrVal = ::SysAllocString(WinStr(arguments));
    dir.vt = VT_BSTR;
    dir.bstrVal = ::SysAllocString(WinStr(folder));
    operation.vt = VT_BSTR;
    operation.bstrVal = ::SysAllocString(L"open");
    show.vt = VT_I4;
    show.lVal = hidden ? SW_HIDE : SW_SHOWNORMAL;
    const bool ok = file && args.bstrVal && dir.bstrVal && operation.bstrVal &&
                    SUCCEEDED(shell.p->ShellExecute(file, args, dir, operation, show));
    ::SysFreeString(file);
    ::VariantClear(&args);
    ::VariantClear(&dir);
    ::VariantClear(&operation);
    return ok;
}

}  // namespace

bool ShellExecuteAsDesktopUser(const std::u16string& program, const std::u16string& arguments,
                               const std::u16string& folder, bool hidden) {
    const HRESULT init = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const bool started = DesktopShellExecute(program, arguments, folder, hidden);
    if (SUCCEEDED(init)) ::CoUninitialize();
    return started;
}

StartedAs RunAsSignedInUser(const std::u16string& program, const std::u16string& arguments,
                            const std::u16string& folder, bool hidden) {
    const bool elevated = IsProcessElevated();
    if (elevated && ShellExecuteAsDesktopUser(program, arguments, folder, hidden)) return StartedAs::User;
    if (!RunProgram(program, arguments, folder, hidden, false, nullptr)) return StartedAs::NotStarted;
    return elevated ? StartedAs::Elevated : StartedAs::User;
}

}  // namespace setuputil
