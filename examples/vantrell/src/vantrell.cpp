// Vantrell, the sample product's main program: one window that says how it
// was started and counts its starts in a settings file below the user's
// application-data folder, where it also notes the document or link it was
// last opened with (its .vtr files and vantrell: links).
//
// Its title is "Vantrell (" + edition + ")", the form an installer looks for
// when it asks a running copy to close; WM_CLOSE ends it at once, so the
// program folder can be replaced or removed right after.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>
#include <cwchar>

namespace {

constexpr wchar_t kClassName[] = L"VantrellMainWindow";

// The settings file: <AppData>\Vantrell\settings.ini (the folder the
// uninstaller offers to delete).  Empty when there is no AppData folder.
bool SettingsFile(wchar_t (&path)[MAX_PATH]) {
    wchar_t appdata[MAX_PATH] = {};
    if (!SHGetSpecialFolderPathW(nullptr, appdata, CSIDL_APPDATA, TRUE)) return false;
    wchar_t folder[MAX_PATH] = {};
    if (swprintf(folder, MAX_PATH, L"%ls\\Vantrell", appdata) < 0) return false;
    CreateDirectoryW(folder, nullptr);
    return swprintf(path, MAX_PATH, L"%ls\\settings.ini", folder) >= 0;
}

// Reads, increments and writes back the start count; 0 when it cannot.
UINT CountStart() {
    wchar_t path[MAX_PATH] = {};
    if (!SettingsFile(path)) return 0;
    const UINT starts = GetPrivateProfileIntW(L"Vantrell", L"Starts", 0, path) + 1;
    wchar_t text[16] = {};
    swprintf(text, 16, L"%u", starts);
    return WritePrivateProfileStringW(L"Vantrell", L"Starts", text, path) ? starts : 0;
}

// The first argument that is no switch: a document or a link the shell
// opened with this program; noted as "Opened" in the settings file.
void NoteOpened(LPCWSTR commandline) {
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(commandline, &count);
    if (!argv) return;
    wchar_t path[MAX_PATH] = {};
    for (int i = 1; i < count; ++i)
        if (argv[i][0] != L'-' && argv[i][0] != L'/' && SettingsFile(path)) {
            WritePrivateProfileStringW(L"Vantrell", L"Opened", argv[i], path);
            break;
        }
    LocalFree(argv);
}

struct Window {
    wchar_t message[256] = {};
};

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_CREATE: {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
        return 0;
    }
    case WM_PAINT: {
        PAINTSTRUCT paint{};
        HDC dc = BeginPaint(window, &paint);
        const auto* state = reinterpret_cast<const Window*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        RECT box{};
        GetClientRect(window, &box);
        InflateRect(&box, -16, -16);
        SetBkMode(dc, TRANSPARENT);
        SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
        if (state) DrawTextW(dc, state->message, -1, &box, DT_WORDBREAK | DT_NOPREFIX);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(window, message, wparam, lparam);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR arguments, int show) {
    // "-safe" is the argument of the safe-mode shortcut.
    const bool safe = arguments != nullptr && wcsstr(arguments, L"-safe") != nullptr;
    const wchar_t* edition = safe ? L"safe mode" : L"2.1";

    Window state;
    const UINT starts = CountStart();
    NoteOpened(GetCommandLineW());
    swprintf(state.message, 256, L"Vantrell %ls is running.\n\nStarted %u time(s) on this account.\n\nClose this "
                                 L"window to end the program.",
             safe ? L"(safe mode)" : L"2.1", starts);

    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = kClassName;
    if (!RegisterClassW(&windowClass)) return 1;

    wchar_t title[64] = {};
    swprintf(title, 64, L"Vantrell (%ls)", edition);
    HWND window = CreateWindowExW(0, kClassName, title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 420, 200,
                                  nullptr, nullptr, instance, &state);
    if (!window) return 1;
    ShowWindow(window, show);
    UpdateWindow(window);

    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
