// The program the ShellOpen test opens: it leaves the file "opened.txt" next
// to itself and ends.
#include <windows.h>

int main() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return 1;
    wchar_t* slash = path + length;
    while (slash > path && slash[-1] != L'\\') --slash;
    const wchar_t name[] = L"opened.txt";
    const size_t count = sizeof(name) / sizeof(wchar_t);
    if (static_cast<size_t>(slash - path) + count > MAX_PATH) return 1;
    for (size_t i = 0; i < count; ++i) slash[i] = name[i];
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 1;
    CloseHandle(file);
    return 0;
}
