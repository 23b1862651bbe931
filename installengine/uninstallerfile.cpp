#include "installengine/uninstallerfile.hpp"

#include "setuputil/codepage.hpp"
#include "setuputil/fileops.hpp"
#include "setuputil/pathrules.hpp"
#include "setuputil/platform.hpp"
#include "setuputil/shellfolders.hpp"
#include "setuputil/wintext.hpp"

#include <windows.h>

#include <string>

namespace installengine {

using namespace setuputil;

namespace {

// How often the command processor tries the delete again after this
// program has ended, a second apart.
constexpr int kDeleteRetries = 9;
// The longest command line the command processor takes.
constexpr std::size_t kCommandLimit = 8191;

// Starts the command processor, hidden, to delete `parked` and then the
// empty `folder` once this process has ended (see the header).  False when
// it cannot be started, or the paths hold a character its command line
// would not take literally.
bool DeleteAfterExit(const std::u16string& parked, const std::u16string& folder) {
    for (const std::u16string* path : {&parked, &folder})
        if (path->find_first_of(u"%\"") != std::u16string::npos || path->empty()) return false;
    wchar_t system[MAX_PATH] = {};
    const UINT length = ::GetSystemDirectoryW(system, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    const std::u16string processor = AddBackslash(FromWinStr(system)) + u"cmd.exe";
    const std::u16string file = u"\"" + parked + u"\"";
    // "set /p" returns when the pipe's writing end closes: at this
    // process's end.  ping is the command processor's one-second pause.
    // The retries are written out rather than looped: a "for" body holding
    // a bracketed block is not read alike by every command processor.
    const std::u16string del = u"del /f /q " + file + u" >nul 2>&1";
    std::u16string command = u"\"" + processor + u"\" /d /q /v:off /c \"set /p tallowin= & " + del;
    for (int i = 0; i < kDeleteRetries; ++i)
        command += u" & (if exist " + file + u" ping -n 2 127.0.0.1 >nul 2>&1 & " + del + u")";
    command += u" & rd \"" + RemoveBackslash(folder) + u"\" >nul 2>&1\"";
    if (command.size() > kCommandLimit) return false;
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
                                          CREATE_NO_WINDOW | CREATE_NEW_PROCESS_GROUP, nullptr,
                                          WinStr(FromWinStr(system)), &startup, &process);
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
