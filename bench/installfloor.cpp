// install_floor: the least an installer of a tree can do under Wine, for
// bench/install.sh's "floor" row.  It creates the tree's folders and files
// with their sizes (zero bytes written in 64 KiB blocks) and nothing else:
// no archive read, no decoding, no registry, no window.  Built with the
// Windows presets, never installed or shipped.
//
//   install_floor LIST FOLDER
//
// LIST is UTF-8 text, one file a line: its size in bytes, a blank and its
// path below FOLDER ("/" between the parts).  A file's folders are made
// when its folder is not the previous file's.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr DWORD kBlock = 65536;

std::wstring Wide(const std::string& text) {
    if (text.empty()) return {};
    const int count = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(count), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), count);
    return out;
}

bool ReadList(const std::wstring& path, std::string& out) {
    const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    char buffer[kBlock];
    DWORD got = 0;
    bool ok = true;
    while ((ok = ::ReadFile(file, buffer, sizeof buffer, &got, nullptr) != 0) && got > 0) out.append(buffer, got);
    ::CloseHandle(file);
    return ok;
}

// Makes `folder` and every folder above it that is missing.
bool MakeFolders(const std::wstring& folder) {
    for (std::size_t at = folder.find(L'\\', 3); at != std::wstring::npos; at = folder.find(L'\\', at + 1))
        ::CreateDirectoryW(folder.substr(0, at).c_str(), nullptr);
    return ::CreateDirectoryW(folder.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS;
}

bool WriteZeros(const std::wstring& path, unsigned long long size, const std::vector<char>& zeros) {
    const HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool ok = true;
    for (unsigned long long left = size; ok && left > 0;) {
        const DWORD want = left < kBlock ? static_cast<DWORD>(left) : kBlock;
        DWORD put = 0;
        ok = ::WriteFile(file, zeros.data(), want, &put, nullptr) && put == want;
        left -= want;
    }
    return ::CloseHandle(file) && ok;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        std::fputs("usage: install_floor LIST FOLDER\n", stderr);
        return 2;
    }
    std::string list;
    if (!ReadList(argv[1], list)) {
        std::fputs("install_floor: cannot read the list\n", stderr);
        return 1;
    }
    const std::wstring root = argv[2];
    const std::vector<char> zeros(kBlock, 0);
    std::wstring madefolder;
    std::size_t start = 0;
    while (start < list.size()) {
        std::size_t end = list.find('\n', start);
        if (end == std::string::npos) end = list.size();
        const std::string line = list.substr(start, end - start);
        start = end + 1;
        const std::size_t blank = line.find(' ');
        if (line.empty() || blank == std::string::npos) continue;
        const unsigned long long size = std::strtoull(line.c_str(), nullptr, 10);
        std::wstring path = root + L'\\' + Wide(line.substr(blank + 1));
        for (wchar_t& c : path)
            if (c == L'/') c = L'\\';
        const std::wstring folder = path.substr(0, path.rfind(L'\\'));
        if (folder != madefolder) {
            if (!MakeFolders(folder)) {
                std::fprintf(stderr, "install_floor: cannot make the folder of %s\n", line.c_str());
                return 1;
            }
            madefolder = folder;
        }
        if (!WriteZeros(path, size, zeros)) {
            std::fprintf(stderr, "install_floor: cannot write %s\n", line.c_str());
            return 1;
        }
    }
    return 0;
}
