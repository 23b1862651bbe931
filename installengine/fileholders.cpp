#include "installengine/fileholders.hpp"

#include "setuputil/wintext.hpp"

#include <windows.h>
#include <restartmanager.h>

namespace installengine {

namespace {

constexpr UINT kMaxHolders = 8;

using StartSession = DWORD(WINAPI*)(DWORD*, DWORD, WCHAR[]);
using RegisterResources = DWORD(WINAPI*)(DWORD, UINT, LPCWSTR[], UINT, RM_UNIQUE_PROCESS[], UINT, LPCWSTR[]);
using GetList = DWORD(WINAPI*)(DWORD, UINT*, UINT*, RM_PROCESS_INFO[], LPDWORD);
using EndSession = DWORD(WINAPI*)(DWORD);

template <class Function>
Function Proc(HMODULE library, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(::GetProcAddress(library, name)));
}

// The system's own copy only, never one beside the installer.
HMODULE LoadRestartManager() {
    wchar_t system[MAX_PATH] = {};
    const UINT length = ::GetSystemDirectoryW(system, MAX_PATH);
    if (length == 0 || length >= MAX_PATH - 16) return nullptr;
    return ::LoadLibraryW((std::wstring(system) + L"\\rstrtmgr.dll").c_str());
}

}  // namespace

std::vector<std::u16string> ProgramsHoldingFile(const std::u16string& path) {
    std::vector<std::u16string> names;
    HMODULE library = LoadRestartManager();
    if (!library) return names;
    const auto start = Proc<StartSession>(library, "RmStartSession");
    const auto add = Proc<RegisterResources>(library, "RmRegisterResources");
    const auto list = Proc<GetList>(library, "RmGetList");
    const auto end = Proc<EndSession>(library, "RmEndSession");
    DWORD session = 0;
    WCHAR key[CCH_RM_SESSION_KEY + 1] = {};
    if (start && add && list && end && start(&session, 0, key) == ERROR_SUCCESS) {
        LPCWSTR files[] = {setuputil::WinStr(path)};
        RM_PROCESS_INFO holders[kMaxHolders] = {};
        UINT needed = 0, count = kMaxHolders;
        DWORD reasons = 0;
        if (add(session, 1, files, 0, nullptr, 0, nullptr) == ERROR_SUCCESS) {
            // With more holders than room the list stays empty: the question then names none.
            const DWORD result = list(session, &needed, &count, holders, &reasons);
            if (result == ERROR_SUCCESS)
                for (UINT i = 0; i < count && i < kMaxHolders; ++i) {
                    holders[i].strAppName[CCH_RM_MAX_APP_NAME] = 0;
                    if (holders[i].strAppName[0] != 0) names.push_back(setuputil::FromWinStr(holders[i].strAppName));
                }
        }
        end(session);
    }
    ::FreeLibrary(library);
    return names;
}

}  // namespace installengine
