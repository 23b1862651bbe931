// The sample product's background service, "VantrellService".
//
// Started by the service control manager it connects through
// StartServiceCtrlDispatcher, reports itself running and keeps a heartbeat
// file next to its program (vantrelld.status: the number of minutes it has
// run), and stops on the stop or shutdown request.  Started by hand it just
// exits with an error code.
#include <windows.h>

#include <cstdio>
#include <cwchar>

namespace {

wchar_t g_name[] = L"VantrellService";
SERVICE_STATUS_HANDLE g_status = nullptr;
HANDLE g_stop = nullptr;

void Report(DWORD state) {
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    SetServiceStatus(g_status, &status);
}

DWORD WINAPI Control(DWORD control, DWORD, LPVOID, LPVOID) {
    if (control == SERVICE_CONTROL_STOP || control == SERVICE_CONTROL_SHUTDOWN) {
        Report(SERVICE_STOP_PENDING);
        SetEvent(g_stop);
    }
    return NO_ERROR;
}

// The status file: vantrelld.status beside the program.
bool StatusPath(wchar_t (&path)[MAX_PATH]) {
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    wchar_t* dot = wcsrchr(path, L'.');
    if (!dot || static_cast<size_t>(dot - path) + 8 > MAX_PATH) return false;
    wcscpy(dot, L".status");
    return true;
}

void WriteStatus(const wchar_t* path, unsigned minutes) {
    char text[64] = {};
    const int size = snprintf(text, sizeof(text), "running for %u minute(s)\r\n", minutes);
    HANDLE file = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(file, text, static_cast<DWORD>(size), &written, nullptr);
    CloseHandle(file);
}

void WINAPI ServiceMain(DWORD, LPWSTR*) {
    g_status = RegisterServiceCtrlHandlerExW(g_name, Control, nullptr);
    if (!g_status) return;
    g_stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!g_stop) {
        Report(SERVICE_STOPPED);
        return;
    }
    Report(SERVICE_RUNNING);
    wchar_t path[MAX_PATH] = {};
    const bool status = StatusPath(path);
    for (unsigned minutes = 0;; ++minutes) {
        if (status) WriteStatus(path, minutes);
        if (WaitForSingleObject(g_stop, 60000) != WAIT_TIMEOUT) break;
    }
    // The file goes with the service, so the program folder holds only
    // what was installed once the service has stopped.
    if (status) DeleteFileW(path);
    CloseHandle(g_stop);
    Report(SERVICE_STOPPED);
}

}  // namespace

int main() {
    const SERVICE_TABLE_ENTRYW table[] = {{g_name, ServiceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherW(table) ? 0 : 1;
}
