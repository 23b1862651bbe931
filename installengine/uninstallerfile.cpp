#include "installengine/uninstallerfile.hpp"

#include "setuputil/codepage.hpp"
#include "setuputil/fileops.hpp"
#include "setuputil/pathrules.hpp"
#include "setuputil/platform.hpp"
#include "setuputil/wintext.hpp"

#include <windows.h>

namespace installengine {

using namespace setuputil;

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

bool RemoveUninstallerFile(const std::u16string& path, InstallHost& host) {
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
    log(u"delete at restart: " + parked);
    if (IsWin2000OrLater()) {
        ::MoveFileExW(WinStr(parked), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
        ::MoveFileExW(WinStr(RemoveBackslash(folder)), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    }
    return true;
}

}  // namespace installengine
