// The demo's hands: drives the real installer and uninstaller of the sample
// product as a user would, and saves a screenshot of every page.
//
//   demo_driver install SETUP.exe SHOTS    welcome, license (ticked), default
//                                          folder, wait, finish (Run ticked)
//   demo_driver uninstall SHOTS            starts the program, then the
//                                          registered "UninstallString", Next,
//                                          Yes to the settings question, Finish
//   demo_driver refused SETUP.exe          expects the installer to refuse at
//                                          start-up: prints its error message,
//                                          presses OK, waits for the end and
//                                          its exit code 2
//   demo_driver destination SETUP.exe DIR  types DIR on the destination page:
//                                          expects Next to refuse it, prints
//                                          the message, then Cancel and Yes
//   demo_driver kept PRODUCT EXENAME       runs the uninstaller for EXENAME:
//                                          expects it to stop on its
//                                          installing page (the program
//                                          folder was refused), then Cancel
//
// SHOTS is a Windows path or a POSIX path (taken as one on Wine's Z: drive).
// Prints each step; exit code 0 when every step happened as expected.
#include "tests/e2e/driver.hpp"

#include <shellapi.h>

#include <cstdio>
#include <string>

namespace {

using namespace e2e;

constexpr DWORD kWait = 20000;
constexpr DWORD kWork = 180000;  // extraction, services, uninstall
constexpr wchar_t kProduct[] = L"Vantrell";
constexpr wchar_t kProgramWindow[] = L"Vantrell (2.1)";

std::wstring g_shots;
int g_shotcount = 0;

void Say(const std::wstring& text) {
    std::fwprintf(stdout, L"demo: %ls\n", text.c_str());
    std::fflush(stdout);
}

bool Fail(const std::wstring& text) {
    std::fwprintf(stderr, L"demo: FAILED: %ls\n", text.c_str());
    std::fflush(stderr);
    return false;
}

std::wstring WindowsPath(std::wstring path) {
    if (!path.empty() && path[0] == L'/') {
        for (auto& c : path)
            if (c == L'/') c = L'\\';
        path = L"Z:" + path;
    }
    return path;
}

void Shot(HWND window, const std::wstring& name) {
    if (g_shots.empty()) return;
    wchar_t number[8] = {};
    std::swprintf(number, 8, L"%02d-", ++g_shotcount);
    const std::wstring path = g_shots + L"\\" + number + name + L".bmp";
    if (SaveWindowShot(window, path))
        Say(L"screenshot " + path);
    else
        Say(L"no screenshot of " + name + L" (no X display?)");
}

struct Buttons {
    HWND back, next, cancel, finish;
};

Buttons FindButtons(HWND wizard) {
    return {FindChild(wizard, L"<  &Back", L"Button"), FindChild(wizard, L"&Next  >", L"Button"),
            FindChild(wizard, L"&Cancel", L"Button"), FindChild(wizard, L"&Finish", L"Button")};
}

// A visible label of the wizard with exactly this text.
bool WaitLabel(HWND wizard, const std::wstring& text, DWORD ms) {
    return WaitUntil([&] { return Visible(FindChild(wizard, text)); }, ms);
}

// A top-level window of any process with this caption.
HWND WaitAnyWindow(const wchar_t* caption, DWORD ms) {
    HWND found = nullptr;
    WaitUntil([&] { return (found = ::FindWindowW(nullptr, caption)) != nullptr && ::IsWindowVisible(found); }, ms);
    return found;
}

std::wstring MachineString(const wchar_t* key, const wchar_t* name) {
    HKEY handle = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_QUERY_VALUE, &handle) != ERROR_SUCCESS) return {};
    wchar_t value[2048] = {};
    DWORD size = sizeof(value) - sizeof(wchar_t), type = 0;
    const LONG result = ::RegQueryValueExW(handle, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    ::RegCloseKey(handle);
    return result == ERROR_SUCCESS && type == REG_SZ ? std::wstring(value) : std::wstring();
}

// An error box of the installer, if one is up: its text.
std::wstring ErrorShown(DWORD pid) {
    HWND box = WaitMessageBox(pid, L"Error", 0);
    return box ? MessageBoxText(box) : std::wstring();
}

bool Install(const std::wstring& installer) {
    Process setup;
    if (!setup.Start(installer, L"")) return Fail(L"cannot start " + installer);
    HWND wizard = WaitTopWindow(setup.Id(), std::wstring(kProduct) + L" Installer - Tallowin", kWait);
    if (!wizard) return Fail(L"no installer window; " + ErrorShown(setup.Id()));
    const Buttons b = FindButtons(wizard);
    if (!b.next || !b.finish) return Fail(L"the wizard's buttons are missing");
    Say(L"welcome page");
    Shot(wizard, L"install-welcome");
    Click(b.next);

    HWND agree = FindChild(wizard, L"I have read and agree to the terms of the license agreement.", L"Button");
    if (!WaitLabel(wizard, L"License Agreement", kWait) || !agree) return Fail(L"no license page");
    Say(L"license page: Next is " + std::wstring(Enabled(b.next) ? L"enabled" : L"disabled") + L" before the tick");
    Click(agree);
    if (!Enabled(b.next)) return Fail(L"Next stays disabled after the agreement");
    Shot(wizard, L"install-license");
    Click(b.next);

    if (!WaitLabel(wizard, L"Install Vantrell to:", kWait)) return Fail(L"no destination page");
    std::wstring destination;
    for (HWND edit : ChildrenOfClass(wizard, L"Edit"))
        if (Visible(edit)) destination = TextOf(edit);
    Say(L"destination page: " + destination);
    Shot(wizard, L"install-destination");
    Click(b.next);

    Say(L"installing...");
    if (WaitLabel(wizard, L"Installation in Progress", 2000)) Shot(wizard, L"install-progress");
    if (!WaitUntil([&] { return Visible(FindChild(wizard, L"Installation Completed!")) || !ErrorShown(setup.Id()).empty(); },
                   kWork))
        return Fail(L"the installation did not finish");
    if (const std::wstring error = ErrorShown(setup.Id()); !error.empty()) return Fail(L"the installer says: " + error);
    HWND launch = FindChild(wizard, L"Run Vantrell.", L"Button");
    Say(L"finish page; Run Vantrell is " + std::wstring(launch && Checked(launch) ? L"ticked" : L"not ticked"));
    Shot(wizard, L"install-finish");
    Click(b.finish);
    DWORD code = 1;
    if (!setup.WaitExit(kWait, code)) return Fail(L"the installer did not end");

    HWND program = WaitAnyWindow(kProgramWindow, kWait);
    if (!program) return Fail(L"the installed program did not start");
    Say(L"the installed program runs: window \"" + TextOf(program) + L"\"");
    Shot(program, L"program-window");
    return true;
}

bool Uninstall() {
    const std::wstring appPaths = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\vantrell.exe";
    const std::wstring command =
        MachineString(L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vantrell", L"UninstallString");
    if (command.empty()) return Fail(L"no UninstallString registered for Vantrell");
    Say(L"UninstallString: " + command);

    // A running copy, as a user would have it open: the uninstaller asks it to close.
    Process program;
    const std::wstring programPath = MachineString(appPaths.c_str(), nullptr);
    if (!programPath.empty() && program.Start(programPath, L"")) {
        if (WaitAnyWindow(kProgramWindow, kWait)) Say(L"started " + programPath + L" so that the uninstaller closes it");
    }

    int argc = 0;
    LPWSTR* argv = ::CommandLineToArgvW(command.c_str(), &argc);
    if (!argv || argc < 1) return Fail(L"cannot read the UninstallString");
    std::wstring arguments;
    for (int i = 1; i < argc; ++i) arguments += (i > 1 ? L" " : L"") + std::wstring(argv[i]);
    const std::wstring exe = argv[0];
    ::LocalFree(argv);

    Process uninstaller;
    if (!uninstaller.Start(exe, arguments)) return Fail(L"cannot start " + exe);
    HWND wizard = WaitTopWindow(uninstaller.Id(), std::wstring(kProduct) + L" Uninstaller - Tallowin", kWait);
    if (!wizard) return Fail(L"no uninstaller window; " + ErrorShown(uninstaller.Id()));
    const Buttons b = FindButtons(wizard);
    Say(L"uninstall welcome page");
    Shot(wizard, L"uninstall-welcome");
    // The sequence runs inside the Next handler and asks its question from there.
    PostClick(b.next);

    HWND done = nullptr;
    HWND question = nullptr;
    WaitUntil([&] {
        if (Visible(FindChild(wizard, L"Uninstall Complete!"))) return done = wizard, true;
        return (question = WaitMessageBox(uninstaller.Id(), L"Confirm", 0)) != nullptr;
    }, kWork);
    if (question) {
        Say(L"question: " + MessageBoxText(question) + L" -> Yes");
        Shot(question, L"uninstall-settings-question");
        HWND yes = FindChild(question, L"&Yes", L"Button");
        if (!yes) return Fail(L"the question has no Yes button");
        PostClick(yes);
    }
    if (!done && !WaitLabel(wizard, L"Uninstall Complete!", kWork)) return Fail(L"the uninstall did not finish");
    Say(L"uninstall finish page");
    Shot(wizard, L"uninstall-finish");
    Click(b.finish);
    DWORD code = 1;
    if (!uninstaller.WaitExit(kWait, code)) return Fail(L"the uninstaller did not end");
    if (program.Id() != 0) {
        if (!program.WaitExit(kWait, code)) return Fail(L"the running program was not closed");
        Say(L"the running program was asked to close and ended");
    }
    return true;
}

bool Refused(const std::wstring& installer) {
    Process setup;
    if (!setup.Start(installer, L"")) return Fail(L"cannot start " + installer);
    HWND box = WaitMessageBox(setup.Id(), L"Error", kWait);
    if (!box) return Fail(L"no start-up error from " + installer);
    Say(L"start-up error: " + MessageBoxText(box));
    PostClick(FindChild(box, L"OK", L"Button"));
    DWORD code = 0;
    if (!setup.WaitExit(kWait, code)) return Fail(L"the installer did not end after its error");
    // Nothing was changed: the code scripts read for a refusal.
    if (code != 2) return Fail(L"exit code " + std::to_wstring(code) + L" after a start-up error, not 2");
    Say(L"exit code 2");
    return true;
}

// Cancel, Yes to the question, and the program's end.
bool CancelWithYes(Process& program, HWND cancel, const std::wstring& name) {
    PostClick(cancel);
    HWND question = WaitMessageBox(program.Id(), L"Warning", kWait);
    if (!question) return Fail(L"Cancel asked nothing");
    PostClick(FindChild(question, L"&Yes", L"Button"));
    DWORD code = 1;
    if (!program.WaitExit(kWait, code)) return Fail(name + L" did not end");
    return true;
}

bool RefusedDestination(const std::wstring& installer, const std::wstring& typed) {
    Process setup;
    if (!setup.Start(installer, L"")) return Fail(L"cannot start " + installer);
    HWND wizard = WaitTopWindow(setup.Id(), std::wstring(kProduct) + L" Installer - Tallowin", kWait);
    if (!wizard) return Fail(L"no installer window; " + ErrorShown(setup.Id()));
    const Buttons b = FindButtons(wizard);
    Click(b.next);
    HWND agree = FindChild(wizard, L"I have read and agree to the terms of the license agreement.", L"Button");
    if (agree && Visible(agree)) {
        Click(agree);
        Click(b.next);
    }
    if (!WaitLabel(wizard, L"Install Vantrell to:", kWait)) return Fail(L"no destination page");
    HWND installpath = nullptr;
    for (HWND edit : ChildrenOfClass(wizard, L"Edit"))
        if (Visible(edit)) installpath = edit;
    if (!installpath) return Fail(L"no destination box");
    ::SendMessageW(installpath, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(typed.c_str()));
    PostClick(b.next);
    HWND box = WaitMessageBox(setup.Id(), L"Error", kWait);
    if (!box) return Fail(L"Next accepted " + typed);
    Say(L"destination refused: " + MessageBoxText(box));
    PostClick(FindChild(box, L"OK", L"Button"));
    if (!WaitLabel(wizard, L"Install Vantrell to:", kWait)) return Fail(L"the destination page did not stay");
    return CancelWithYes(setup, b.cancel, L"the installer");
}

bool KeptUninstall(const std::wstring& product, const std::wstring& exename) {
    Process uninstaller;
    if (!uninstaller.Start(ProductUninstaller(exename), L"-ui " + exename))
        return Fail(L"cannot start the uninstaller");
    HWND wizard = WaitTopWindow(uninstaller.Id(), product + L" Uninstaller - Tallowin", kWait);
    if (!wizard) return Fail(L"no uninstaller window; " + ErrorShown(uninstaller.Id()));
    const Buttons b = FindButtons(wizard);
    PostClick(b.next);
    if (!WaitLabel(wizard, L"Performing Uninstall", kWait)) return Fail(L"the uninstall did not start");
    // The sequence runs inside the Next handler: the wizard answers again
    // once it has ended.
    DWORD_PTR ignored = 0;
    if (!WaitUntil([&] { return ::SendMessageTimeoutW(wizard, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 200, &ignored) != 0; },
                   kWork))
        return Fail(L"the uninstall did not end");
    ::Sleep(1000);
    if (Visible(FindChild(wizard, L"Uninstall Complete!"))) return Fail(L"the uninstall went on to its end");
    Say(L"uninstall stopped on its installing page");
    return CancelWithYes(uninstaller, b.cancel, L"the uninstaller");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if (mode == L"install" && argc >= 3) {
        if (argc > 3) g_shots = WindowsPath(argv[3]);
        if (!g_shots.empty()) ::CreateDirectoryW(g_shots.c_str(), nullptr);
        g_shotcount = 0;
        return Install(WindowsPath(argv[2])) ? 0 : 1;
    }
    if (mode == L"uninstall") {
        if (argc > 2) g_shots = WindowsPath(argv[2]);
        if (!g_shots.empty()) ::CreateDirectoryW(g_shots.c_str(), nullptr);
        g_shotcount = 10;  // after the install's pictures
        return Uninstall() ? 0 : 1;
    }
    if (mode == L"refused" && argc >= 3) return Refused(WindowsPath(argv[2])) ? 0 : 1;
    if (mode == L"destination" && argc >= 4) return RefusedDestination(WindowsPath(argv[2]), argv[3]) ? 0 : 1;
    if (mode == L"kept" && argc >= 4) return KeptUninstall(argv[2], argv[3]) ? 0 : 1;
    std::fwprintf(stderr, L"usage: demo_driver install SETUP.exe [SHOTS] | uninstall [SHOTS] | refused SETUP.exe | "
                          L"destination SETUP.exe DIR | kept PRODUCT EXENAME\n");
    return 2;
}
