#include "setuputil/fileops.hpp"

#include "setuputil/codepage.hpp"
#include "setuputil/fileops_backend.hpp"
#include "setuputil/pathrules.hpp"
#include "setuputil/platform.hpp"
#include "setuputil/widestr.hpp"
#include "setuputil/wintext.hpp"

#include <windows.h>

namespace setuputil {

namespace {

// First directory entry matching the path: true and its attributes, or
// false when nothing matches.  Callers keep patterns away from it.
bool FindFirstEntry(const std::u16string& path, DWORD& attributes) {
    HANDLE search;
    if (IsWin2000OrLater()) {
        WIN32_FIND_DATAW data;
        search = FindFirstFileW(WinStr(path), &data);
        attributes = data.dwFileAttributes;
    } else {
        WIN32_FIND_DATAA data;
        search = FindFirstFileA(WideToAnsi(path).c_str(), &data);
        attributes = data.dwFileAttributes;
    }
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    return true;
}

}  // namespace

bool IsAbsoluteFolder(const std::u16string& path) { return IsAbsoluteWindowsPath(path); }

bool FolderExists(const std::u16string& path) {
    const std::u16string p = RemoveBackslash(path);
    if (p.size() == 2 && p[1] == u':') return true;
    if (detail::HoldsPattern(p)) return false;
    DWORD attributes = 0;
    return FindFirstEntry(p, attributes) && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool RemoveFolder(const std::u16string& path) {
    if (IsWin2000OrLater()) return RemoveDirectoryW(WinStr(path)) != 0;
    return RemoveDirectoryA(WideToAnsi(path).c_str()) != 0;
}

bool IsPlainFile(const std::u16string& path) {
    if (IsDeviceName(WideToAnsi(path)) || detail::HoldsPattern(path)) return false;
    DWORD attributes = 0;
    return FindFirstEntry(path, attributes) && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool RemoveFile(const std::u16string& path) {
    if (IsWin2000OrLater()) return DeleteFileW(WinStr(path)) != 0;
    return DeleteFileA(WideToAnsi(path).c_str()) != 0;
}

void SetFileAttrs(const std::u16string& path, std::uint32_t attributes) {
    if (IsWin2000OrLater())
        SetFileAttributesW(WinStr(path), attributes);
    else
        SetFileAttributesA(WideToAnsi(path).c_str(), attributes);
}

namespace detail {

std::int64_t LastSeparatorPos(const std::u16string& path) { return LastPosW(u"\\", path); }

bool CreateOneFolder(const std::u16string& path) {
    if (IsWin2000OrLater()) return CreateDirectoryW(WinStr(path), nullptr) != 0;
    return CreateDirectoryA(WideToAnsi(path).c_str(), nullptr) != 0;
}

}  // namespace detail
}  // namespace setuputil
