#include "setuputil/platform.hpp"

#include "setuputil/codepage.hpp"
#include "setuputil/wintext.hpp"

#include <windows.h>
#include <shellapi.h>

#include <vector>

namespace setuputil {

bool IsWin2000OrLater() {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof(info);  // 148: the 8-bit record
    static_assert(sizeof(OSVERSIONINFOA) == 148);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    GetVersionExA(&info);
#pragma GCC diagnostic pop
    return info.dwMajorVersion >= 5;
}

namespace {

// The 8-bit split of older platforms: runs of characters up to 32 separate
// arguments; double quotes group blanks and are dropped; a lone pair of quotes
// where an argument would begin is skipped.
std::vector<std::string> SplitAnsiCommandLine(const char* line) {
    std::vector<std::string> args;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(line ? line : "");
    for (;;) {
        while (*p != 0 && *p <= 32) ++p;
        while (p[0] == '"' && p[1] == '"') {
            p += 2;
            while (*p != 0 && *p <= 32) ++p;
        }
        if (*p == 0) break;
        std::string arg;
        while (*p > 32) {
            if (*p == '"') {
                ++p;
                while (*p != 0 && *p != '"') arg.push_back(static_cast<char>(*p++));
                if (*p == '"') ++p;
            } else {
                arg.push_back(static_cast<char>(*p++));
            }
        }
        args.push_back(arg);
    }
    return args;
}

}  // namespace

std::u16string GetParamW(std::int32_t index) {
    if (!IsWin2000OrLater()) {
        if (index < 0) return {};
        if (index == 0) {
            char path[MAX_PATH + 1] = {};
            GetModuleFileNameA(nullptr, path, MAX_PATH);
            return AnsiToWide(path);
        }
        const std::vector<std::string> args = SplitAnsiCommandLine(GetCommandLineA());
        if (static_cast<std::size_t>(index) >= args.size()) return {};
        return AnsiToWide(args[static_cast<std::size_t>(index)]);
    }
    if (index <= 0) {
        wchar_t path[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, path, MAX_PATH);
        return FromWinStr(path);
    }
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    if (argv == nullptr) return {};
    std::u16string result;
    if (index < count) result = FromWinStr(argv[index]);
    GlobalFree(argv);
    return result;
}

std::int32_t ParamCount() {
    if (!IsWin2000OrLater()) return static_cast<std::int32_t>(SplitAnsiCommandLine(GetCommandLineA()).size());
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    if (argv == nullptr) return 1;
    GlobalFree(argv);
    return count < 1 ? 1 : count;
}

}  // namespace setuputil
