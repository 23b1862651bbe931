#include "installengine/uninstallerfile.hpp"

#include "setuputil/codepage.hpp"
#include "setuputil/fileops.hpp"
#include "setuputil/pathrules.hpp"
#include "setuputil/platform.hpp"
#include "setuputil/shellfolders.hpp"
#include "setuputil/wintext.hpp"

#include <windows.h>

#include <initializer_list>
#include <string>
#include <utility>

namespace installengine {

using namespace setuputil;

namespace {

// How often the command processor tries the delete again after this
// program has ended, a second apart.
constexpr int kDeleteRetries = 9;
// The longest command line the command processor takes.
constexpr std::size_t kCommandLimit = 8191;

// The variables the command processor finds the two paths in.
constexpr char16_t kParkedVariable[] = u"TALLOWIN_PARKED";
constexpr char16_t kFolderVariable[] = u"TALLOWIN_FOLDER";

// This process's environment with `set` added (names of the same spelling
// replaced), as CreateProcessW takes a Unicode block.
std::u16string EnvironmentWith(std::initializer_list<std::pair<std::u16string, std::u16string>> set) {
    std::u16string block;
    if (wchar_t* own = ::GetEnvironmentStringsW()) {
        for (const wchar_t* entry = own; *entry != 0; entry += ::lstrlenW(entry) + 1) {
            const std::u16string text = FromWinStr(entry);
            bool replaced = false;
            for (const auto& [name, value] : set)
                replaced = replaced || UpperCaseW(text.substr(0, name.size() + 1)) == name + u"=";
            if (!replaced) block += text + u'\0';
        }
        ::FreeEnvironmentStringsW(own);
    }
    for (const auto& [name, value] : set) block += name + u"=" + value + u'\0';
    return block + u'\0';
}

// Starts the command processor, hidden, to delete `parked` and then the
// empty `folder` once this process has ended (see the header).  The paths
// reach it in environment variables, never in its command line: it expands
// each once, inside quotes, and reads no character of a path as its own
// (%, !, ^, &, blanks, any script).  False when it cannot be started.
bool DeleteAfterExit(const std::u16string& parked, const std::u16string& folder) {
    for (const std::u16string* path : {&parked, &folder})
        if (path->find(u'"') != std::u16string::npos || path->empty()) return false;
    wchar_t system[MAX_PATH] = {};
    const UINT length = ::GetSystemDirectoryW(system, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    const std::u16string processor = AddBackslash(FromWinStr(system)) + u"cmd.exe";
    const std::u16string file = u"\"%" + std::u16string(kParkedVariable) + u"%\"";
    // "set /p" returns when the pipe's writing end closes: at this
    // process's end.  ping is the command processor's one-second pause.
    // The retries are written out rather than looped: a "for" body holding
    // a bracketed block is not read alike by every command processor.
    const std::u16string del = u"del /f /q " + file + u" >nul 2>&1";
    std::u16string command = u"\"" + processor + u"\" /d /q /v:off /c \"set /p tallowin= & " + del;
    for (int i = 0; i < kDeleteRetries; ++i)
        command += u" & (if exist " + file + u" ping -n 2 127.0.0.1 >nul 2>&1 & " + del + u")";
    command += u" & rd \"%" + std::u16string(kFolderVariable) + u"%\" >nul 2>&1\"";
    if (command.size() > kCommandLimit) return false;
    std::u16string environment =
        EnvironmentWith({{kParkedVariable, parked}, {kFolderVariable, RemoveBackslash(folder)}});
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readend = nullptr, writeend = nullptr;
    if (!::CreatePipe(&readend, &writeend, &inherit, 0)) return false;
    // Only the reading end goes to the child; the writing end stays ours
    // alone and closes with this process.
    ::SetHandleInformation(writeend, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES | STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    startup.hStdInput = readend;
    PROCESS_INFORMATION process{};
    std::u16string line = command;  // CreateProcessW may write into it
    const BOOL started = ::CreateProcessW(WinStr(processor), reinterpret_cast<wchar_t*>(line.data()), nullptr, nullptr, TRUE,
                                          CREATE_NO_WINDOW | CREATE_NEW_PROCESS_GROUP | CREATE_UNICODE_ENVIRONMENT,
                                          environment.data(), WinStr(FromWinStr(system)), &startup, &process);
    ::CloseHandle(readend);
    if (!started) {
        ::CloseHandle(writeend);
        return false;
    }
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    // `writeend` is deliberately left open: its closing at exit is the signal.
    return true;
}

}  // namespace

std::u16string UninstallerBase(payload::InstallScope scope) {
    return scope == payload::InstallScope::User ? GetLocalAppDataFolder() : GetWindowsFolder();
}

std::u16string NewTemporaryFile(const std::u16string& folder) {
    if (IsWin2000OrLater()) {
        wchar_t name[MAX_PATH] = {};
        if (::GetTempFileNameW(WinStr(AddBackslash(folder)), L"tlw", 0, name) == 0) return {};
        return FromWinStr(name);
    }
    char name[MAX_PATH] = {};
    if (::GetTempFileNameA(WideToAnsi(AddBackslash(folder)).c_str(), "tlw", 0, name) == 0) return {};
    return AnsiToWide(name);
}

bool MoveOver(const std::u16string& from, const std::u16string& to) {
    if (IsWin2000OrLater())
        return ::MoveFileExW(WinStr(from), WinStr(to), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
    ::DeleteFileA(WideToAnsi(to).c_str());
    return ::MoveFileA(WideToAnsi(from).c_str(), WideToAnsi(to).c_str()) != 0;
}

bool RemoveUninstallerFile(const std::u16string& path, InstallHost& host, payload::InstallScope scope) {
    const auto log = [&host](const std::u16string& line) { host.Log(line); };
    if (path.empty() || !IsPlainFile(path)) return true;
    log(u"delete file: " + path);
    const std::u16string folder = path.substr(0, path.find_last_of(u'\\') + 1);
    if (RemoveFile(path)) {
        RemoveFolder(folder);
        return true;
    }
    // In use: the uninstall runs from it.
    const std::u16string parked = folder.empty() ? u"" : NewTemporaryFile(folder);
    if (folder.empty() || parked.empty() || !MoveOver(path, parked)) {
        if (!parked.empty()) RemoveFile(parked);
        log(u"Unable to delete the uninstaller " + path);
        return false;
    }
    if (scope == payload::InstallScope::User) {
        if (DeleteAfterExit(parked, folder)) log(u"delete after exit: " + parked);
        else log(u"Unable to delete the uninstaller " + parked);
        return true;
    }
    log(u"delete at restart: " + parked);
    if (IsWin2000OrLater()) {
        ::MoveFileExW(WinStr(parked), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
        ::MoveFileExW(WinStr(RemoveBackslash(folder)), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    }
    return true;
}

}  // namespace installengine
