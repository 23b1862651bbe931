#include "setuputil/shellfolders.hpp"

#include "setuputil/codepage.hpp"
#include "setuputil/platform.hpp"
#include "setuputil/registry.hpp"
#include "setuputil/wintext.hpp"

#include <windows.h>
#include <shlobj.h>

namespace setuputil {

namespace {

constexpr const char* kShellFolders = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

std::u16string ShellFolder(int csidl) {
    wchar_t path[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathW(nullptr, path, csidl, TRUE)) return {};
    path[MAX_PATH - 1] = 0;
    return FromWinStr(path);
}

std::u16string ShellFolderValue(const char* value, const std::string& fallback) {
    return AnsiToWide(ReadUserRegString(kShellFolders, value, fallback));
}

}  // namespace

std::u16string GetDesktopFolder() {
    if (IsWin2000OrLater()) return ShellFolder(CSIDL_DESKTOPDIRECTORY);
    return ShellFolderValue("Desktop", "");
}

std::u16string GetAppDataFolder() {
    if (IsWin2000OrLater()) return ShellFolder(CSIDL_APPDATA);
    return ShellFolderValue("AppData", "");
}

std::u16string GetStartMenuFolder() {
    if (IsWin2000OrLater()) return ShellFolder(CSIDL_STARTMENU);
    return ShellFolderValue("Start Menu", "");
}

std::u16string GetProgramsFolder() {
    if (IsWin2000OrLater()) return ShellFolder(CSIDL_PROGRAMS);
    return ShellFolderValue("Programs", WideToAnsi(GetWindowsFolder() + u"\\Start Menu\\Programs"));
}

std::u16string GetWindowsFolder() {
    if (IsWin2000OrLater()) return ShellFolder(CSIDL_WINDOWS);
    char path[512] = {};
    const UINT length = GetWindowsDirectoryA(path, sizeof(path));
    if (length == 0 || length >= sizeof(path)) return {};
    return AnsiToWide(path);
}

std::u16string GetProgramFilesFolder() {
    if (IsWin2000OrLater()) return ShellFolder(CSIDL_PROGRAM_FILES);
    return AnsiToWide(
        ReadMachineRegString("Software\\Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir", "c:\\program files\\"));
}

}  // namespace setuputil
