#include "installengine/shortcutplaces.hpp"

#include "installengine/uninstallguard.hpp"
#include "setuputil/wintext.hpp"

#include <windows.h>
#include <shlobj.h>

#include <initializer_list>

namespace installengine {

using setuputil::FromWinStr;

namespace {

bool IsSpecialFolder(const std::u16string& folder, std::initializer_list<int> csidls) {
    for (int csidl : csidls) {
        wchar_t buffer[MAX_PATH] = {};
        if (::SHGetSpecialFolderPathW(nullptr, buffer, csidl, FALSE) && buffer[0] != 0 &&
            IsSamePlace(folder, FromWinStr(buffer)))
            return true;
    }
    return false;
}

}  // namespace

bool IsBelowPrograms(const std::u16string& folder) {
    for (int csidl : {CSIDL_PROGRAMS, CSIDL_COMMON_PROGRAMS}) {
        wchar_t buffer[MAX_PATH] = {};
        if (::SHGetSpecialFolderPathW(nullptr, buffer, csidl, FALSE) && buffer[0] != 0) {
            const std::u16string programs = FromWinStr(buffer);
            if (IsInside(folder, programs) && !IsSamePlace(folder, programs)) return true;
        }
    }
    return false;
}

bool IsShortcutPlace(const std::u16string& folder, const InstallRecord& record) {
    if (!record.groupfolder.empty() && IsSamePlace(folder, record.groupfolder) && IsBelowPrograms(folder)) return true;
    return IsSpecialFolder(folder, {CSIDL_PROGRAMS, CSIDL_COMMON_PROGRAMS, CSIDL_STARTMENU, CSIDL_COMMON_STARTMENU,
                                    CSIDL_DESKTOPDIRECTORY, CSIDL_COMMON_DESKTOPDIRECTORY});
}

}  // namespace installengine
