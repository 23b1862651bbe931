#include "setuputil/shellopen.hpp"

#include <windows.h>
#include <shellapi.h>

namespace setuputil {

void ShellOpen(const std::string& path) {
    ShellExecuteA(nullptr, nullptr, path.c_str(), nullptr, nullptr, SW_SHOW);
}

}  // namespace setuputil
