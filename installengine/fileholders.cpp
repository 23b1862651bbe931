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
using Shutdown = DWORD(WINAPI*)(DWORD, ULONG, RM_WRITE_STATUS_CALLBACK);

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

// One Restart Manager session with `path` registered: lists the programs
// holding it into `names` or, without `names`, asks them to close.  False
// where the system has no Restart Manager or a call fails.
bool InSession(const std::u16string& path, FileHolders* names) {
    HMODULE library = LoadRestartManager();
    if (!library) return false;
    const auto start = Proc<StartSession>(library, "RmStartSession");
    const auto add = Proc<RegisterResources>(library, "RmRegisterResources");
    const auto list = Proc<GetList>(library, "RmGetList");
    const auto shutdown = Proc<Shutdown>(library, "RmShutdown");
    const auto end = Proc<EndSession>(library, "RmEndSession");
    bool done = false;
    DWORD session = 0;
    WCHAR key[CCH_RM_SESSION_KEY + 1] = {};
    if (start && add && list && shutdown && end && start(&session, 0, key) == ERROR_SUCCESS) {
        LPCWSTR files[] = {setuputil::WinStr(path)};
        const bool added = add(session, 1, files, 0, nullptr, 0, nullptr) == ERROR_SUCCESS;
        if (added && !names) {
            // No force flag: a program that asks to keep running (unsaved
            // work the user keeps) stays, and the file with it.
            done = shutdown(session, 0, nullptr) == ERROR_SUCCESS;
        } else if (added) {
            RM_PROCESS_INFO holders[kMaxHolders] = {};
            UINT needed = 0, count = kMaxHolders;
            DWORD reasons = 0;
            // With more holders than room the list stays empty: the question then names none.
            done = list(session, &needed, &count, holders, &reasons) == ERROR_SUCCESS;
            names->closable = done && count > 0;
            for (UINT i = 0; done && i < count && i < kMaxHolders; ++i) {
                const RM_APP_TYPE type = holders[i].ApplicationType;
                if (type != RmMainWindow && type != RmOtherWindow && type != RmConsole) names->closable = false;
                holders[i].strAppName[CCH_RM_MAX_APP_NAME] = 0;
                if (holders[i].strAppName[0] != 0)
                    names->names.push_back(setuputil::FromWinStr(holders[i].strAppName));
            }
        }
        end(session);
    }
    ::FreeLibrary(library);
    return done;
}

}  // namespace

FileHolders ProgramsHoldingFile(const std::u16string& path) {
    FileHolders holders;
    InSession(path, &holders);
    return holders;
}

bool CloseProgramsHoldingFile(const std::u16string& path) { return InSession(path, nullptr); }

}  // namespace installengine
