#include "setuputil/shellopen.hpp"

#include "setuputil/codepage.hpp"
#include "setuputil/platform.hpp"
#include "setuputil/wintext.hpp"

#include <windows.h>
#include <shellapi.h>

namespace setuputil {

void ShellOpen(const std::u16string& path) {
    if (IsWin2000OrLater())
        ShellExecuteW(nullptr, nullptr, WinStr(path), nullptr, nullptr, SW_SHOW);
    else
        ShellExecuteA(nullptr, nullptr, WideToAnsi(path).c_str(), nullptr, nullptr, SW_SHOW);
}

}  // namespace setuputil
