#include "installengine/treedelete.hpp"

#include "setuputil/codepage.hpp"
#include "setuputil/fileops.hpp"
#include "setuputil/platform.hpp"
#include "setuputil/wintext.hpp"

#include <shellapi.h>

namespace installengine {

namespace {

constexpr FILEOP_FLAGS kQuietDelete = FOF_NOCONFIRMATION | FOF_SILENT;  // 0x14

}  // namespace

bool DeleteFolderTree(HWND owner, const std::u16string& path) {
    // The shell expands a pattern into every match: never one here.
    if (path.empty() || path.find_first_of(u"*?") != std::u16string::npos) return false;
    if (!setuputil::FolderExists(path)) return true;
    int result = 0;
    BOOL aborted = FALSE;
    if (setuputil::IsWin2000OrLater()) {
        std::u16string list = path;
        list.push_back(u'\0');  // the second zero comes from c_str()
        SHFILEOPSTRUCTW operation{};
        operation.hwnd = owner;
        operation.wFunc = FO_DELETE;
        operation.pFrom = setuputil::WinStr(list);
        operation.fFlags = kQuietDelete;
        result = ::SHFileOperationW(&operation);
        aborted = operation.fAnyOperationsAborted;
    } else {
        std::string list = setuputil::WideToAnsi(path);
        list.push_back('\0');
        SHFILEOPSTRUCTA operation{};
        operation.hwnd = owner;
        operation.wFunc = FO_DELETE;
        operation.pFrom = list.c_str();
        operation.fFlags = kQuietDelete;
        result = ::SHFileOperationA(&operation);
        aborted = operation.fAnyOperationsAborted;
    }
    // The shell can answer 0 and still leave part of the tree behind.
    return result == 0 && !aborted && !setuputil::FolderExists(path);
}

}  // namespace installengine
