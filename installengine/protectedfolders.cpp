#include "installengine/protectedfolders.hpp"

#include "installengine/uninstallguard.hpp"
#include "setuputil/wintext.hpp"

#include <windows.h>
#include <shlobj.h>

namespace installengine {

namespace {

std::u16string LongForm(const std::u16string& path) {
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
    return list;
}

bool IsRemovableFolderHere(const std::u16string& path) {
    const std::vector<std::u16string> guarded = ProtectedFolders();
    if (!IsRemovableFolder(path, guarded)) return false;
    const std::u16string full = LongForm(path);
    return full.empty() || IsRemovableFolder(full, guarded);
}

}  // namespace installengine
