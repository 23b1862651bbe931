#include "installengine/protectedfolders.hpp"

#include "installengine/uninstallguard.hpp"
#include "setuputil/shellfolders.hpp"
#include "setuputil/wintext.hpp"

#include <windows.h>
#include <shlobj.h>

namespace installengine {

namespace {

// The path with its short (8.3) names spelled out; empty when it has none
// to spell out or the system cannot tell.  A short name the system makes
// always holds a '~': without one the walk (a directory search per level)
// would only give the same path.
std::u16string LongForm(const std::u16string& path) {
    if (path.find(u'~') == std::u16string::npos) return u"";
    wchar_t buffer[MAX_PATH * 4] = {};
    const DWORD n = ::GetLongPathNameW(setuputil::WinStr(path), buffer, MAX_PATH * 4);
    if (n == 0 || n >= MAX_PATH * 4) return u"";
    return setuputil::FromWinStr(buffer);
}

void AddWithLongForm(std::vector<std::u16string>& list, const std::u16string& path) {
    if (path.empty()) return;
    list.push_back(path);
    const std::u16string full = LongForm(path);
    if (!full.empty() && full != path) list.push_back(full);
}

// A string value of HKEY_LOCAL_MACHINE in the 64-bit view (the only view
// on 32-bit Windows), with environment references expanded; empty when
// missing.
std::u16string MachineValue64(const wchar_t* key, const wchar_t* name) {
    HKEY handle = nullptr;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &handle) != ERROR_SUCCESS)
        return u"";
    wchar_t value[MAX_PATH * 2] = {};
    DWORD size = sizeof(value) - sizeof(wchar_t), type = 0;
    const LONG result = ::RegQueryValueExW(handle, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    ::RegCloseKey(handle);
    if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return u"";
    wchar_t expanded[MAX_PATH * 2] = {};
    const DWORD n = ::ExpandEnvironmentStringsW(value, expanded, MAX_PATH * 2);
    if (n == 0 || n > MAX_PATH * 2) return u"";
    return setuputil::FromWinStr(expanded);
}

std::u16string EnvironmentValue(const wchar_t* name) {
    wchar_t value[MAX_PATH * 2] = {};
    const DWORD n = ::GetEnvironmentVariableW(name, value, MAX_PATH * 2);
    if (n == 0 || n >= MAX_PATH * 2) return u"";
    return setuputil::FromWinStr(value);
}

std::u16string ParentOf(std::u16string path) {
    while (!path.empty() && (path.back() == u'\\' || path.back() == u'/')) path.pop_back();
    const std::size_t slash = path.find_last_of(u"\\/");
    return slash == std::u16string::npos ? u"" : path.substr(0, slash);
}

}  // namespace

std::vector<std::u16string> ProtectedFolders() {
    std::vector<std::u16string> list;
    // Every CSIDL the shell knows lies below 0x40; ids it does not know, or
    // folders that do not exist, simply answer nothing.
    for (int csidl = 0; csidl < 0x40; ++csidl) {
        wchar_t buffer[MAX_PATH] = {};
        if (::SHGetSpecialFolderPathW(nullptr, buffer, csidl, FALSE) && buffer[0] != 0)
            AddWithLongForm(list, setuputil::FromWinStr(buffer));
    }
    wchar_t buffer[MAX_PATH] = {};
    if (::GetWindowsDirectoryW(buffer, MAX_PATH) != 0) AddWithLongForm(list, setuputil::FromWinStr(buffer));
    buffer[0] = 0;
    if (::GetSystemDirectoryW(buffer, MAX_PATH) != 0) AddWithLongForm(list, setuputil::FromWinStr(buffer));
    buffer[0] = 0;
    if (::GetTempPathW(MAX_PATH, buffer) != 0) AddWithLongForm(list, setuputil::FromWinStr(buffer));
    // The user's own Programs folder (no CSIDL names it), which holds every
    // per-user product's folder.
    AddWithLongForm(list, setuputil::GetUserProgramsFolder());

    // A 32-bit program on 64-bit Windows gets "Program Files (x86)" for
    // every Program Files folder above; the 64-bit ones come from the
    // registry's 64-bit view and the environment.
    constexpr wchar_t kCurrentVersion[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
    for (const wchar_t* name : {L"ProgramFilesDir", L"CommonFilesDir", L"ProgramW6432Dir", L"CommonW6432Dir",
                                L"ProgramFilesDir (x86)", L"CommonFilesDir (x86)"})
        AddWithLongForm(list, MachineValue64(kCurrentVersion, name));
    for (const wchar_t* name : {L"ProgramW6432", L"CommonProgramW6432", L"ProgramFiles", L"CommonProgramFiles",
                                L"ProgramFiles(x86)", L"CommonProgramFiles(x86)", L"ProgramData", L"SystemRoot"})
        AddWithLongForm(list, EnvironmentValue(name));
    // The folder that holds every user's profile.
    AddWithLongForm(list, MachineValue64(L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList",
                                         L"ProfilesDirectory"));
    buffer[0] = 0;
    if (::SHGetSpecialFolderPathW(nullptr, buffer, CSIDL_PROFILE, FALSE) && buffer[0] != 0)
        AddWithLongForm(list, ParentOf(setuputil::FromWinStr(buffer)));
    // Every drive's root.
    wchar_t drives[26 * 4 + 1] = {};
    const DWORD n = ::GetLogicalDriveStringsW(26 * 4, drives);
    if (n != 0 && n <= 26 * 4)
        for (const wchar_t* drive = drives; *drive != 0; drive += ::lstrlenW(drive) + 1)
            list.push_back(setuputil::FromWinStr(drive));
    return list;
}

bool IsRemovableFolderHere(const std::u16string& path) {
    const std::vector<std::u16string> guarded = ProtectedFolders();
    if (!IsRemovableFolder(path, guarded)) return false;
    const std::u16string full = LongForm(path);
    return full.empty() || IsRemovableFolder(full, guarded);
}

}  // namespace installengine
