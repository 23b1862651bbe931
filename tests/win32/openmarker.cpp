// The program the ShellOpen test opens: it leaves the file "opened.txt" next
// to itself and ends.
//
// With arguments it is the stand-in for a prerequisite's installer and a
// vendor's program (the engine tests): --marker FILE appends a line to FILE
// (the --tag text, then " exists" or " missing" for the path --exists
// names), --setvalue KEY NAME VALUE writes a string value under
// HKEY_CURRENT_USER, and --exit CODE is its exit code.
#include <windows.h>
#include <shellapi.h>

#include <cwchar>
#include <string>

namespace {

int StandIn(int count, wchar_t** args) {
    std::wstring marker, line, exists;
    int code = 0;
    for (int i = 1; i < count; ++i) {
        const std::wstring arg = args[i];
        if (arg == L"--marker" && i + 1 < count) marker = args[++i];
        else if (arg == L"--tag" && i + 1 < count) line = args[++i];
        else if (arg == L"--exists" && i + 1 < count) exists = args[++i];
        else if (arg == L"--exit" && i + 1 < count) code = static_cast<int>(std::wcstoul(args[++i], nullptr, 10));
        else if (arg == L"--setvalue" && i + 3 < count) {
            HKEY key = nullptr;
            if (RegCreateKeyExW(HKEY_CURRENT_USER, args[i + 1], 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
                return 90;
            const std::wstring value = args[i + 3];
            RegSetValueExW(key, args[i + 2], 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                           static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
            RegCloseKey(key);
            i += 3;
        } else {
            return 91;
        }
    }
    if (!exists.empty()) line += GetFileAttributesW(exists.c_str()) != INVALID_FILE_ATTRIBUTES ? L" exists" : L" missing";
    if (!marker.empty()) {
        HANDLE file = CreateFileW(marker.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return 92;
        std::string bytes;
        for (wchar_t c : line) bytes += static_cast<char>(c < 0x80 ? c : '?');
        bytes += "\n";
        DWORD written = 0;
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(file);
    }
    return code;
}

}  // namespace

int main() {
    int count = 0;
    wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
    if (args && count > 1) {
        const int code = StandIn(count, args);
        LocalFree(args);
        return code;
    }
    if (args) LocalFree(args);
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return 1;
    wchar_t* slash = path + length;
    while (slash > path && slash[-1] != L'\\') --slash;
    const wchar_t name[] = L"opened.txt";
    const size_t count2 = sizeof(name) / sizeof(wchar_t);
    if (static_cast<size_t>(slash - path) + count2 > MAX_PATH) return 1;
    for (size_t i = 0; i < count2; ++i) slash[i] = name[i];
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    CloseHandle(file);
    return 0;
}
