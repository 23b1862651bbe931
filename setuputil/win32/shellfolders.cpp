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

// FOLDERID_UserProgramFiles, asked through SHGetKnownFolderPath where
// shell32 has it (looked up, so the program still starts on platforms
// without it); "" otherwise.
std::u16string UserProgramFilesKnownFolder() {
    static const GUID kUserProgramFiles = {0x5cd7aee2, 0x2219, 0x4a67, {0xb8, 0x5d, 0x6c, 0x9c, 0xe1, 0x56, 0x60, 0xcb}};
    constexpr DWORD kDontVerify = 0x00004000;  // KF_FLAG_DONT_VERIFY: the path, made or not
    using KnownFolderPath = HRESULT(WINAPI*)(const GUID&, DWORD, HANDLE, PWSTR*);
    HMODULE shell = ::GetModuleHandleW(L"shell32.dll");
    const auto query = shell ? reinterpret_cast<KnownFolderPath>(
                                   reinterpret_cast<void (*)()>(::GetProcAddress(shell, "SHGetKnownFolderPath")))
                             : nullptr;
    PWSTR path = nullptr;
    if (!query || FAILED(query(kUserProgramFiles, kDontVerify, nullptr, &path)) || !path) return {};
    const std::u16string folder = FromWinStr(path);
    ::CoTaskMemFree(path);
    return folder;
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

std::u16string GetLocalAppDataFolder() {
    if (IsWin2000OrLater()) return ShellFolder(CSIDL_LOCAL_APPDATA);
    return ShellFolderValue("Local AppData", "");
}

std::u16string GetUserProgramsFolder() {
    std::u16string folder = UserProgramFilesKnownFolder();
    if (!folder.empty()) return folder;
    folder = GetLocalAppDataFolder();
    if (folder.empty()) return {};
    return folder + u"\\Programs";
}

}  // namespace setuputil
